// Block-noise reduction, SSE2 version. Frames at least 48 pixels wide are
// filtered from planar rows and shared difference images (see the planar path
// below); narrower ones one quad (eight samples) per vector.
#include <emmintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "prefilter/prefilter.h"
#include "prefilter/prefilter_internal.h"
#include "prefilter/quad_sse2.h"

using namespace prefilter_detail;

namespace {

inline int16_t clamp16(int v) { return strength_to_int16(v); }

// Correction from the saturated sum A of accepted offsets and -n (count):
// A / n exactly in single precision (n taken as 1 when nothing was
// accepted, A then being 0), plus one half, truncated, saturated.
inline __m128i mean_offset(__m128i acc, __m128i count) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i n = _mm_max_epi16(_mm_sub_epi16(zero, count), _mm_set1_epi16(1));
  // Sign-extend A, zero-extend n, divide exactly in single precision.
  const __m128 acc_lo = _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpacklo_epi16(acc, acc), 16));
  const __m128 acc_hi = _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpackhi_epi16(acc, acc), 16));
  const __m128 n_lo = _mm_cvtepi32_ps(_mm_unpacklo_epi16(n, zero));
  const __m128 n_hi = _mm_cvtepi32_ps(_mm_unpackhi_epi16(n, zero));
  const __m128 half = _mm_set1_ps(0.5f);
  const __m128i d_lo = _mm_cvttps_epi32(_mm_add_ps(_mm_div_ps(acc_lo, n_lo), half));
  const __m128i d_hi = _mm_cvttps_epi32(_mm_add_ps(_mm_div_ps(acc_hi, n_hi), half));
  return _mm_packs_epi32(d_lo, d_hi);
}

// ---- Quad path (narrow frames) ----
// Window position (i, j), i and j from -2 to 2, in the 25-vector scratch.
constexpr int win_at(int i, int j) { return (i + 2) * 5 + (j + 2); }

__m128i block_nr_delta_quad(const __m128i win[25], __m128i diff_limit, __m128i sum_limit) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i centre = win[win_at(0, 0)];
  // count holds -n: each accepted candidate adds its all-ones mask.
  __m128i count =
      _mm_and_si128(_mm_cmpgt_epi16(diff_limit, zero), _mm_cmpgt_epi16(sum_limit, zero));
  __m128i acc = zero;
#pragma GCC unroll 3
  for (int ci = -1; ci <= 1; ++ci) {
#pragma GCC unroll 3
    for (int cj = -1; cj <= 1; ++cj) {
      if (ci == 0 && cj == 0) continue;
      __m128i peak = zero, sum = zero;
#pragma GCC unroll 3
      for (int di = -1; di <= 1; ++di) {
#pragma GCC unroll 3
        for (int dj = -1; dj <= 1; ++dj) {
          if (di == 0 && dj == 0) continue;
          // |d| is symmetric: with the operands in window order, the compiler
          // shares each difference between candidates c and -c.
          const int p = win_at(di, dj), q = win_at(ci + di, cj + dj);
          const __m128i d = p < q ? absdiff_sat(win[p], win[q]) : absdiff_sat(win[q], win[p]);
          peak = _mm_max_epi16(peak, d);
          sum = _mm_adds_epi16(sum, d);
        }
      }
      const __m128i ok =
          _mm_and_si128(_mm_cmpgt_epi16(diff_limit, peak), _mm_cmpgt_epi16(sum_limit, sum));
      acc = _mm_adds_epi16(acc, _mm_and_si128(ok, _mm_subs_epi16(win[win_at(ci, cj)], centre)));
      count = _mm_add_epi16(count, ok);
    }
  }
  return mean_offset(acc, count);
}

void quad_rows(const FILTER_PROC_INFO* fpip, const PIXEL_YC* src, int field_step, int diff_limit,
               int sum_limit, int y_begin, int y_end, uint8_t anime) {
  const int w = fpip->w;
  const int pitch = fpip->max_w;
  const block_nr_limits lim = make_block_nr_limits(diff_limit, sum_limit);
  // Limit vectors for the four skin-tone combinations of the quad's two pixel
  // pairs (bit 0: pair x, x+1; bit 1: pair x+2, x+3).
  __m128i diff_vec[4], sum_vec[4];
  for (int s = 0; s < 4; ++s) {
    const int16_t d0 = (s & 1) ? lim.skin_diff : lim.luma_diff;
    const int16_t d2 = (s & 2) ? lim.skin_diff : lim.luma_diff;
    const int16_t s0 = (s & 1) ? lim.skin_sum : lim.luma_sum;
    const int16_t s2 = (s & 2) ? lim.skin_sum : lim.luma_sum;
    const int16_t cd = lim.chroma_diff, cs = lim.chroma_sum;
    diff_vec[s] = _mm_setr_epi16(d0, cd, cd, d0, d2, cd, cd, d2);
    sum_vec[s] = _mm_setr_epi16(s0, cs, cs, s0, s2, cs, cs, s2);
  }
  const int first = block_nr_first_row(field_step);
  const int end = block_nr_end_row(fpip->h, field_step);
  copy_unfiltered(src, fpip->ycp_edit, pitch, w, y_begin, y_end, first, end);
  for (int y = y_begin > first ? y_begin : first; y < y_end && y < end; ++y) {
    const PIXEL_YC* in = src + static_cast<ptrdiff_t>(y) * pitch;
    PIXEL_YC* out = fpip->ycp_edit + static_cast<ptrdiff_t>(y) * pitch;
    const PIXEL_YC* rows[5];
    for (int i = 0; i < 5; ++i) rows[i] = in + static_cast<ptrdiff_t>((i - 2) * field_step) * pitch;
    for (int x = 2; x <= w - 6; x += 4) {
      __m128i win[25];
      for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 5; ++j) win[i * 5 + j] = load_quad(rows[i] + x + j - 2);
      int skin = 0;
      if (anime != 1) skin = (is_skin_tone(in[x]) ? 1 : 0) | (is_skin_tone(in[x + 2]) ? 2 : 0);
      const __m128i delta = block_nr_delta_quad(win, diff_vec[skin], sum_vec[skin]);
      __m128i d_first, d_second, s_first, s_second;
      spread_quad(delta, &d_first, &d_second);
      load_pixels4(in + x, &s_first, &s_second);
      store_pixels4(out + x, _mm_adds_epi16(s_first, d_first), _mm_adds_epi16(s_second, d_second));
    }
  }
}

// ---- Planar path ----
//
// A strip of n pixel pairs of each input row is split into six planes: plane
// (par, comp) holds component comp of pixel 2i + par at index i. Per
// direction c of (0,1), (1,-1), (1,0), (1,1) the difference image
// A(q) = |I(q) - I(q + c)| gives the ring differences of candidate c around p
// and of candidate -c around p - c, for every sample alike. Its horizontal
// 3-sums H (and 3-maxima M) then give each ring: sum H(row - 1) + H(row + 1)
// + A(pixel - 1) + A(pixel + 1), maximum alike. Saturating sums of
// non-negative values do not depend on their order, so they equal the
// scalar ring sums; image_row says how the difference limit is folded into
// the sums so that most rings need no maximum.
//
// Rows step by the field step; k counts the rows of one field of the band.
// Input and image rows live in four slots (row k in slot k & 3): the output
// row k needs input rows k - 1 .. k + 1 and image rows k - 2 .. k + 1, and
// image row k + 1 is built from input rows k + 1 and k + 2. The whole
// scratch (about 28 KiB) stays on the stack and in the first-level cache.

constexpr int lanes = 8;
constexpr int strip_pairs = 46;  // output pairs of a full strip
constexpr int pad = 4;           // room for reads one pair beyond a row
constexpr int row_len = strip_pairs + 2 + 2 * pad;
constexpr int slots = 4;
constexpr int prefetch_rows = 4;  // rows ahead of the strip to fetch
constexpr int dirs = 4;
enum { kind_a = 0, kind_h = 1, kind_m = 2 };

// Per slot: luma A, H, M and chroma A, H (see image_row) of four directions,
// two parities each.
constexpr int img_slot_rows = dirs * 3 * 2 + 2 * dirs * 2 * 2;
constexpr int img_rows_at = slots * 6 * row_len;
constexpr int scratch_len = img_rows_at + slots * img_slot_rows * row_len;

constexpr int in_row(int slot, int par, int comp) {
  return (slot * 6 + par * 3 + comp) * row_len + pad;
}
constexpr int img_row(int slot, int comp, int dir, int kind, int par) {
  return img_rows_at +
         (slot * img_slot_rows +
          (comp == 0 ? (dir * 3 + kind) * 2
                     : dirs * 3 * 2 + (((comp - 1) * dirs + dir) * 2 + kind) * 2) +
          par) *
             row_len +
         pad;
}

// Pixel 2i + v (v = -2 .. 3) lies in plane parity pair_par(v) at index
// i + pair_off(v).
constexpr int pair_par(int v) { return v & 1; }
constexpr int pair_off(int v) { return (v + 2) / 2 - 1; }

constexpr int dir_i[dirs] = {0, 1, 1, 1};
constexpr int dir_j[dirs] = {1, -1, 0, 1};
// The direction serving candidate (ci, cj), as itself or as its opposite.
constexpr int dir_of(int ci, int cj) {
  int d = 0;
  for (int k = 0; k < dirs; ++k)
    if ((dir_i[k] == ci && dir_j[k] == cj) || (dir_i[k] == -ci && dir_j[k] == -cj)) d = k;
  return d;
}

inline __m128i ld(const int16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void st(int16_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// Calls f(i) for i = from, from + 8, ..., the last call moved back to end at
// to (to - from >= 8); overlapping calls give the same values.
template <class F>
inline void for_vectors(int from, int to, F f) {
  if ((to - from) % lanes == 0) {  // the full strips: a plain loop to unroll
#pragma GCC unroll 4
    for (int i = from; i < to; i += lanes) f(i);
    return;
  }
  for (int i = from;; i += lanes) {
    if (i > to - lanes) i = to - lanes;
    f(i);
    if (i == to - lanes) break;
  }
}

// Pairs 0 .. n - 1 of a row into the six planes of a slot. Four pairs are
// three vectors of 4 dwords (y cb), (cr y'), (cb' cr') repeating; shuffles
// gather each dword stream, sign extension and packing split it into two
// planes.
template <int N>
void split_row(int16_t* s, int slot, const PIXEL_YC* row, int n) {
  int16_t* plane0 = s + in_row(slot, 0, 0);
  for_vectors(0, N ? N : n, [&](int i) {
    const float* p = reinterpret_cast<const float*>(row + 2 * i);
    __m128i dw[3][2];
    for (int half = 0; half < 2; ++half) {
      const __m128 a = _mm_loadu_ps(p + 12 * half), b = _mm_loadu_ps(p + 12 * half + 4),
                   c = _mm_loadu_ps(p + 12 * half + 8);
      // Streams: 0 = a0 a3 b2 c1, 1 = a1 b0 b3 c2, 2 = a2 b1 c0 c3.
      const __m128 b2c1 = _mm_shuffle_ps(b, c, _MM_SHUFFLE(1, 1, 2, 2));
      const __m128 a1b0 = _mm_shuffle_ps(a, b, _MM_SHUFFLE(0, 0, 1, 1));
      const __m128 b3c2 = _mm_shuffle_ps(b, c, _MM_SHUFFLE(2, 2, 3, 3));
      const __m128 a2b1 = _mm_shuffle_ps(a, b, _MM_SHUFFLE(1, 1, 2, 2));
      dw[0][half] = _mm_castps_si128(_mm_shuffle_ps(a, b2c1, _MM_SHUFFLE(2, 0, 3, 0)));
      dw[1][half] = _mm_castps_si128(_mm_shuffle_ps(a1b0, b3c2, _MM_SHUFFLE(2, 0, 2, 0)));
      dw[2][half] = _mm_castps_si128(_mm_shuffle_ps(a2b1, c, _MM_SHUFFLE(3, 0, 2, 0)));
    }
    for (int m = 0; m < 3; ++m) {
      const __m128i lo = _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(dw[m][0], 16), 16),
                                         _mm_srai_epi32(_mm_slli_epi32(dw[m][1], 16), 16));
      const __m128i hi =
          _mm_packs_epi32(_mm_srai_epi32(dw[m][0], 16), _mm_srai_epi32(dw[m][1], 16));
      st(plane0 + 2 * m * row_len + i, lo);
      st(plane0 + (2 * m + 1) * row_len + i, hi);
    }
  });
}

// Eight result pairs from the six planes (order as in the input slots)
// back into pixels at `at`.
inline void store_pairs(PIXEL_YC* at, const __m128i planes[6]) {
  __m128 dw[3][2];
  for (int m = 0; m < 3; ++m) {
    const __m128i lo = planes[2 * m], hi = planes[2 * m + 1];
    dw[m][0] = _mm_castsi128_ps(_mm_unpacklo_epi16(lo, hi));
    dw[m][1] = _mm_castsi128_ps(_mm_unpackhi_epi16(lo, hi));
  }
  float* p = reinterpret_cast<float*>(at);
  for (int half = 0; half < 2; ++half) {
    const __m128 d0 = dw[0][half], d1 = dw[1][half], d2 = dw[2][half];
    // Output dwords: d0_0 d1_0 d2_0 d0_1 | d1_1 d2_1 d0_2 d1_2 | d2_2 d0_3 d1_3 d2_3.
    const __m128 a =
        _mm_shuffle_ps(_mm_shuffle_ps(d0, d1, _MM_SHUFFLE(0, 0, 0, 0)),
                       _mm_shuffle_ps(d2, d0, _MM_SHUFFLE(1, 1, 0, 0)), _MM_SHUFFLE(2, 0, 2, 0));
    const __m128 b =
        _mm_shuffle_ps(_mm_shuffle_ps(d1, d2, _MM_SHUFFLE(1, 1, 1, 1)),
                       _mm_shuffle_ps(d0, d1, _MM_SHUFFLE(2, 2, 2, 2)), _MM_SHUFFLE(2, 0, 2, 0));
    const __m128 c =
        _mm_shuffle_ps(_mm_shuffle_ps(d2, d0, _MM_SHUFFLE(3, 3, 2, 2)),
                       _mm_shuffle_ps(d1, d2, _MM_SHUFFLE(3, 3, 3, 3)), _MM_SHUFFLE(2, 0, 2, 0));
    _mm_storeu_ps(p + 12 * half, a);
    _mm_storeu_ps(p + 12 * half + 4, b);
    _mm_storeu_ps(p + 12 * half + 8, c);
  }
}

struct limit_vectors {
  __m128i luma_d, luma_s, skin_d, skin_s, chroma_d, chroma_s, chroma_penalty, skin_on;
  __m128i flag;  // added to middle luma differences, see image_row
};

// Difference images of the row in a slot (input rows in that slot and the
// next): all A first, then H and M from A at pixels x - 1, x, x + 1, so that
// no load waits for a store it straddles. Chroma has one difference limit,
// so its A carries the limit test as a penalty instead of a maximum: A
// itself when below the limit, else at least the sum limit (see candidate).
// With flags (F, for luma limits D <= 256 and L <= 2047) luma needs no M
// either: A below D / 4 stays, A from D / 4 to D - 1 gets 2048 added, A of D
// or more becomes 32767. A ring sum then holds the sum of its A below D in
// bits 0-10 (at most 8 * 255), the count of middle ones above, and saturates
// when one reached D.
template <int N, bool F>
void image_row(int16_t* s, int slot, int n, const limit_vectors& lim) {
  const int len = N ? N : n;
  int16_t* base = s + slot * (img_row(1, 0, 0, 0, 0) - img_row(0, 0, 0, 0, 0));
  const int16_t* in = s + slot * (in_row(1, 0, 0) - in_row(0, 0, 0));
  const int16_t* in_next = s + ((slot + 1) & 3) * (in_row(1, 0, 0) - in_row(0, 0, 0));
#pragma GCC unroll 3
  for (int comp = 0; comp < 3; ++comp)
#pragma GCC unroll 4
    for (int d = 0; d < dirs; ++d)
#pragma GCC unroll 2
      for (int par = 0; par < 2; ++par) {
        const int16_t* a = in + in_row(0, par, comp);
        const int16_t* b = (dir_i[d] ? in_next : in) + in_row(0, pair_par(par + dir_j[d]), comp) +
                           pair_off(par + dir_j[d]);
        int16_t* diff = base + img_row(0, comp, d, kind_a, par);
        for_vectors(0, len, [&](int i) {
          const __m128i v = absdiff_sat(ld(a + i), ld(b + i));
          if (comp != 0) {
            st(diff + i, _mm_adds_epi16(v, _mm_andnot_si128(_mm_cmpgt_epi16(lim.chroma_d, v),
                                                            lim.chroma_penalty)));
          } else if (F) {
            const __m128i medium = _mm_andnot_si128(_mm_cmpgt_epi16(lim.skin_d, v), lim.flag);
            const __m128i large =
                _mm_andnot_si128(_mm_cmpgt_epi16(lim.luma_d, v), _mm_set1_epi16(32767));
            st(diff + i, _mm_or_si128(_mm_adds_epi16(v, medium), large));
          } else {
            st(diff + i, v);
          }
        });
      }
#pragma GCC unroll 3
  for (int comp = 0; comp < 3; ++comp)
#pragma GCC unroll 4
    for (int d = 0; d < dirs; ++d)
#pragma GCC unroll 2
      for (int par = 0; par < 2; ++par) {
        const int16_t* l =
            base + img_row(0, comp, d, kind_a, pair_par(par - 1)) + pair_off(par - 1);
        const int16_t* c = base + img_row(0, comp, d, kind_a, par);
        const int16_t* r =
            base + img_row(0, comp, d, kind_a, pair_par(par + 1)) + pair_off(par + 1);
        int16_t* sum = base + img_row(0, comp, d, kind_h, par);
        int16_t* peak = base + img_row(0, comp, d, kind_m, par);
        for_vectors(0, len, [&](int i) {
          const __m128i vl = ld(l + i), vc = ld(c + i), vr = ld(r + i);
          st(sum + i, _mm_adds_epi16(_mm_adds_epi16(vl, vc), vr));
          if (comp == 0 && !F) st(peak + i, _mm_max_epi16(_mm_max_epi16(vl, vc), vr));
        });
      }
}

// Candidate (ci, cj) of the plane (par, comp) samples at pairs i .. i + 7 of
// row k (slot K): the ring test and, when accepted, W(c) - W(0, 0) into acc.
// Chroma's penalised differences make the ring sum reach the sum limit as
// soon as one difference reaches the difference limit, so the sum test alone
// decides (a sum limit of 0 or less rejects every ring either way).
template <bool F, int K, int comp, int par, int ci, int cj>
inline void candidate(const int16_t* s, int i, __m128i centre, __m128i diff_limit,
                      __m128i sum_limit, __m128i sum_mask, __m128i& acc, __m128i& count) {
  constexpr int d = dir_of(ci, cj);
  constexpr bool forward = dir_i[d] == ci && dir_j[d] == cj;
  // The ring's centre: p for c itself, p + c for the opposite direction.
  constexpr int qi = forward ? 0 : ci, qj = forward ? 0 : cj;
  constexpr int above = (K + qi + 3) & 3, mid = (K + qi + 4) & 3, below = (K + qi + 5) & 3;
  constexpr int hm = img_row(0, comp, d, kind_m, 0) - img_row(0, comp, d, kind_h, 0);
  const int16_t* h_above =
      s + img_row(above, comp, d, kind_h, pair_par(par + qj)) + pair_off(par + qj) + i;
  const int16_t* h_below =
      s + img_row(below, comp, d, kind_h, pair_par(par + qj)) + pair_off(par + qj) + i;
  const __m128i a_left =
      ld(s + img_row(mid, comp, d, kind_a, pair_par(par + qj - 1)) + pair_off(par + qj - 1) + i);
  const __m128i a_right =
      ld(s + img_row(mid, comp, d, kind_a, pair_par(par + qj + 1)) + pair_off(par + qj + 1) + i);
  const __m128i sum =
      _mm_adds_epi16(_mm_adds_epi16(ld(h_above), ld(h_below)), _mm_adds_epi16(a_left, a_right));
  __m128i ok = _mm_cmpgt_epi16(sum_limit, comp == 0 && F ? _mm_and_si128(sum, sum_mask) : sum);
  if (comp == 0 && !F) {
    const __m128i peak = _mm_max_epi16(_mm_max_epi16(ld(h_above + hm), ld(h_below + hm)),
                                       _mm_max_epi16(a_left, a_right));
    ok = _mm_and_si128(ok, _mm_cmpgt_epi16(diff_limit, peak));
  }
  const __m128i w =
      ld(s + in_row((K + ci + 4) & 3, pair_par(par + cj), comp) + pair_off(par + cj) + i);
  acc = _mm_adds_epi16(acc, _mm_and_si128(ok, _mm_subs_epi16(w, centre)));
  count = _mm_add_epi16(count, ok);
}

// Corrections of the plane (par, comp) samples at pairs i .. i + 7 of row k.
template <bool F, int K, int comp, int par>
inline __m128i plane_delta(const int16_t* s, int i, __m128i diff_limit, __m128i sum_limit,
                           __m128i sum_mask) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i centre = ld(s + in_row(K, par, comp) + i);
  // count holds -n: each accepted candidate adds its all-ones mask.
  __m128i count =
      _mm_and_si128(_mm_cmpgt_epi16(diff_limit, zero), _mm_cmpgt_epi16(sum_limit, zero));
  __m128i acc = zero;
  candidate<F, K, comp, par, -1, -1>(s, i, centre, diff_limit, sum_limit, sum_mask, acc, count);
  candidate<F, K, comp, par, -1, 0>(s, i, centre, diff_limit, sum_limit, sum_mask, acc, count);
  candidate<F, K, comp, par, -1, 1>(s, i, centre, diff_limit, sum_limit, sum_mask, acc, count);
  candidate<F, K, comp, par, 0, -1>(s, i, centre, diff_limit, sum_limit, sum_mask, acc, count);
  candidate<F, K, comp, par, 0, 1>(s, i, centre, diff_limit, sum_limit, sum_mask, acc, count);
  candidate<F, K, comp, par, 1, -1>(s, i, centre, diff_limit, sum_limit, sum_mask, acc, count);
  candidate<F, K, comp, par, 1, 0>(s, i, centre, diff_limit, sum_limit, sum_mask, acc, count);
  candidate<F, K, comp, par, 1, 1>(s, i, centre, diff_limit, sum_limit, sum_mask, acc, count);
  return mean_offset(acc, count);
}

// Filters row k (slot K) of the strip into the output row (at pair 0 of
// the strip).
template <int N, bool F, int K>
void filter_row(const int16_t* s, int n, const limit_vectors& lim, PIXEL_YC* out) {
  for_vectors(1, (N ? N : n) - 1, [&](int i) {
    const __m128i y = ld(s + in_row(K, 0, 0) + i), cb = ld(s + in_row(K, 0, 1) + i),
                  cr = ld(s + in_row(K, 0, 2) + i);
    // Skin tone of the pair's first pixel: 1400 < y < 3000, -50 < cr < 600,
    // -680 < cb < 280.
    const __m128i skin_y = _mm_and_si128(_mm_cmpgt_epi16(y, _mm_set1_epi16(1400)),
                                         _mm_cmpgt_epi16(_mm_set1_epi16(3000), y));
    const __m128i skin_cr = _mm_and_si128(_mm_cmpgt_epi16(cr, _mm_set1_epi16(-50)),
                                          _mm_cmpgt_epi16(_mm_set1_epi16(600), cr));
    const __m128i skin_cb = _mm_and_si128(_mm_cmpgt_epi16(cb, _mm_set1_epi16(-680)),
                                          _mm_cmpgt_epi16(_mm_set1_epi16(280), cb));
    const __m128i skin =
        _mm_and_si128(_mm_and_si128(skin_y, lim.skin_on), _mm_and_si128(skin_cr, skin_cb));
    const __m128i luma_d =
        _mm_or_si128(_mm_and_si128(skin, lim.skin_d), _mm_andnot_si128(skin, lim.luma_d));
    const __m128i luma_s =
        _mm_or_si128(_mm_and_si128(skin, lim.skin_s), _mm_andnot_si128(skin, lim.luma_s));
    // Flagged ring sums: skin lanes compare them whole (any middle
    // difference rejects), the others only their bits 0-10.
    const __m128i mask = _mm_or_si128(skin, _mm_set1_epi16(2047));
    __m128i res[6];
    res[0] = _mm_adds_epi16(y, plane_delta<F, K, 0, 0>(s, i, luma_d, luma_s, mask));
    res[3] = _mm_adds_epi16(ld(s + in_row(K, 1, 0) + i),
                            plane_delta<F, K, 0, 1>(s, i, luma_d, luma_s, mask));
    // The odd pixel's chroma takes the even pixel's correction.
    const __m128i d_cb = plane_delta<F, K, 1, 0>(s, i, lim.chroma_d, lim.chroma_s, mask);
    res[1] = _mm_adds_epi16(cb, d_cb);
    res[4] = _mm_adds_epi16(ld(s + in_row(K, 1, 1) + i), d_cb);
    const __m128i d_cr = plane_delta<F, K, 2, 0>(s, i, lim.chroma_d, lim.chroma_s, mask);
    res[2] = _mm_adds_epi16(cr, d_cr);
    res[5] = _mm_adds_epi16(ld(s + in_row(K, 1, 2) + i), d_cr);
    store_pairs(out + 2 * i, res);
  });
}

// Rows [lo, hi) of the strip whose n input pairs start at in0 (output at
// out0), field by field; N is n when known at compile time, else 0.
template <int N, bool F>
void filter_strip(int16_t* s, int n, const PIXEL_YC* in0, PIXEL_YC* out0, ptrdiff_t pitch,
                  int field_step, int lo, int hi, const limit_vectors& lim) {
  for (int phase = 0; phase < field_step && lo + phase < hi; ++phase) {
    const auto row = [&](int k) {
      return static_cast<ptrdiff_t>(lo + phase + k * field_step) * pitch;
    };
    // Input rows -2 .. 2 and image rows -2 .. 0 first; then per row k the
    // image row k + 1, the output row k and the input row k + 3 (so that no
    // row is read right after it was written).
    for (int k = -2; k <= 2; ++k) {
      split_row<N>(s, (k + 4) & 3, in0 + row(k), n);
      if (k >= -1 && k <= 1) image_row<N, F>(s, (k + 3) & 3, n, lim);
    }
    for (int k = 0;; ++k) {
      image_row<N, F>(s, (k + 1) & 3, n, lim);
      switch (k & 3) {
        case 0:
          filter_row<N, F, 0>(s, n, lim, out0 + row(k));
          break;
        case 1:
          filter_row<N, F, 1>(s, n, lim, out0 + row(k));
          break;
        case 2:
          filter_row<N, F, 2>(s, n, lim, out0 + row(k));
          break;
        default:
          filter_row<N, F, 3>(s, n, lim, out0 + row(k));
          break;
      }
      if (lo + phase + (k + 1) * field_step >= hi) break;
      // A strip walks down the frame: fetch its input and output lines a few
      // rows ahead, which the processor does not guess by itself.
      const int ahead = k + 1 + prefetch_rows;
      if (lo + phase + ahead * field_step < hi) {
        const char* next_in = reinterpret_cast<const char*>(in0 + row(ahead + 2));
        const char* next_out = reinterpret_cast<const char*>(out0 + row(ahead));
        for (int b = 0; b < n * 12; b += 64) {
          _mm_prefetch(next_in + b, _MM_HINT_T0);
          _mm_prefetch(next_out + b, _MM_HINT_T0);
        }
      }
      split_row<N>(s, (k + 3) & 3, in0 + row(k + 3), n);
    }
  }
}

void planar_rows(const FILTER_PROC_INFO* fpip, const PIXEL_YC* src, int field_step, int diff_limit,
                 int sum_limit, int y_begin, int y_end, uint8_t anime) {
  const int w = fpip->w;
  const ptrdiff_t pitch = fpip->max_w;
  const int first = 2 * field_step, end = fpip->h - 2 * field_step;
  copy_unfiltered(src, fpip->ycp_edit, pitch, w, y_begin, y_end, first, end);
  const int lo = y_begin > first ? y_begin : first, hi = y_end < end ? y_end : end;
  if (lo >= hi) return;

  const int16_t d = clamp16(diff_limit), l = clamp16(sum_limit);
  const int16_t cd = static_cast<int16_t>(d / 2), cl = static_cast<int16_t>(l / 2);
  limit_vectors lim;
  lim.luma_d = _mm_set1_epi16(d);
  lim.luma_s = _mm_set1_epi16(l);
  lim.skin_d = _mm_set1_epi16(static_cast<int16_t>(d / 4));
  lim.skin_s = _mm_set1_epi16(static_cast<int16_t>(l / 4));
  lim.chroma_d = _mm_set1_epi16(cd);
  lim.chroma_s = _mm_set1_epi16(cl);
  lim.chroma_penalty = _mm_set1_epi16(cl > 0 ? cl : 0);
  lim.skin_on = _mm_set1_epi16(anime != 1 ? -1 : 0);
  lim.flag = _mm_set1_epi16(2048);
  const bool flags = d <= 256 && l <= 2047;

  alignas(16) int16_t s[scratch_len];
  std::memset(s, 0, sizeof s);
  // Strips of pairs 1 .. w / 2 - 2 (pixels 2 .. w - 3), the last one moved
  // back to end at the row's end; a strip reads one pair on either side.
  const int pairs = w / 2;
  const int strip = pairs - 2 < strip_pairs ? pairs - 2 : strip_pairs, n = strip + 2;
  for (int p0 = 1;; p0 += strip) {
    if (p0 > pairs - 1 - strip) p0 = pairs - 1 - strip;
    const PIXEL_YC* in0 = src + 2 * (p0 - 1);
    PIXEL_YC* out0 = fpip->ycp_edit + 2 * (p0 - 1);
    if (strip == strip_pairs && flags)
      filter_strip<strip_pairs + 2, true>(s, n, in0, out0, pitch, field_step, lo, hi, lim);
    else if (strip == strip_pairs)
      filter_strip<strip_pairs + 2, false>(s, n, in0, out0, pitch, field_step, lo, hi, lim);
    else
      filter_strip<0, false>(s, n, in0, out0, pitch, field_step, lo, hi, lim);
    if (p0 == pairs - 1 - strip) break;
  }
}

}  // namespace

void block_nr_rows_sse2(const FILTER_PROC_INFO* fpip, const PIXEL_YC* src, int field_step,
                        int diff_limit, int sum_limit, int y_begin, int y_end, uint8_t anime) {
  if (fpip->w >= 48)
    planar_rows(fpip, src, field_step, diff_limit, sum_limit, y_begin, y_end, anime);
  else
    quad_rows(fpip, src, field_step, diff_limit, sum_limit, y_begin, y_end, anime);
}
