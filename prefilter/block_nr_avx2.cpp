// Block-noise reduction, AVX2 version: frames are filtered from planar rows
// and shared difference images (see the planar path below); frames too narrow
// for a strip (under 48 pixels) go to the SSE2 version. Both give the scalar
// version's results.
// Every function here is local, so no AVX2 code can stand in for an inline
// function of another file: the few shared details are repeated below, and
// from the shared header only the out-of-line copy_unfiltered is used.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "prefilter/prefilter.h"
#include "prefilter/prefilter_internal.h"

namespace {

inline int16_t clamp16(int v) {
  return static_cast<int16_t>(v > 32767 ? 32767 : (v < -32768 ? -32768 : v));
}

// |a - b| saturated to 32767.
inline __m256i absdiff_sat(__m256i a, __m256i b) {
  return _mm256_max_epi16(_mm256_subs_epi16(a, b), _mm256_subs_epi16(b, a));
}

// Correction from the saturated sum A of accepted offsets and -n (count):
// A / n exactly in single precision (n taken as 1 when nothing was
// accepted, A then being 0), plus one half, truncated, saturated.
inline __m256i mean_offset(__m256i acc, __m256i count) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i n = _mm256_max_epi16(_mm256_sub_epi16(zero, count), _mm256_set1_epi16(1));
  // Sign-extend A, zero-extend n, divide exactly; unpacking and packing both
  // work per 128-bit half, so the lanes come back in order.
  const __m256 acc_lo = _mm256_cvtepi32_ps(_mm256_srai_epi32(_mm256_unpacklo_epi16(acc, acc), 16));
  const __m256 acc_hi = _mm256_cvtepi32_ps(_mm256_srai_epi32(_mm256_unpackhi_epi16(acc, acc), 16));
  const __m256 n_lo = _mm256_cvtepi32_ps(_mm256_unpacklo_epi16(n, zero));
  const __m256 n_hi = _mm256_cvtepi32_ps(_mm256_unpackhi_epi16(n, zero));
  const __m256 half = _mm256_set1_ps(0.5f);
  const __m256i d_lo = _mm256_cvttps_epi32(_mm256_add_ps(_mm256_div_ps(acc_lo, n_lo), half));
  const __m256i d_hi = _mm256_cvttps_epi32(_mm256_add_ps(_mm256_div_ps(acc_hi, n_hi), half));
  return _mm256_packs_epi32(d_lo, d_hi);
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

constexpr int lanes = 16;
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

inline __m256i ld(const int16_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
inline void st(int16_t* p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }

// Calls f(i) for i = from, from + 16, ..., the last call moved back to end at
// to (to - from >= 16); overlapping calls give the same values.
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

// Pairs 0 .. n - 1 of a row into the six planes of a slot. Sixteen pairs are
// six vectors of 8 dwords (y cb), (cr y'), (cb' cr') repeating; blends and a
// permutation gather each dword stream, packing splits it into two planes.
template <int N>
void split_row(int16_t* s, int slot, const PIXEL_YC* row, int n) {
  const __m256i gather[3] = {_mm256_setr_epi32(0, 3, 6, 1, 4, 7, 2, 5),
                             _mm256_setr_epi32(1, 4, 7, 2, 5, 0, 3, 6),
                             _mm256_setr_epi32(2, 5, 0, 3, 6, 1, 4, 7)};
  const __m256i low = _mm256_set1_epi32(0xffff);
  int16_t* plane0 = s + in_row(slot, 0, 0);
  for_vectors(0, N ? N : n, [&](int i) {
    const __m256i* p = reinterpret_cast<const __m256i*>(row + 2 * i);
    __m256i dw[3][2];
#pragma GCC unroll 2
    for (int half = 0; half < 2; ++half) {
      const __m256i a = _mm256_loadu_si256(p + 3 * half), b = _mm256_loadu_si256(p + 3 * half + 1),
                    c = _mm256_loadu_si256(p + 3 * half + 2);
      dw[0][half] = _mm256_permutevar8x32_epi32(
          _mm256_blend_epi32(_mm256_blend_epi32(a, b, 0x92), c, 0x24), gather[0]);
      dw[1][half] = _mm256_permutevar8x32_epi32(
          _mm256_blend_epi32(_mm256_blend_epi32(a, b, 0x24), c, 0x49), gather[1]);
      dw[2][half] = _mm256_permutevar8x32_epi32(
          _mm256_blend_epi32(_mm256_blend_epi32(a, b, 0x49), c, 0x92), gather[2]);
    }
#pragma GCC unroll 3
    for (int m = 0; m < 3; ++m) {
      // packus works per 128-bit half: reorder the 64-bit quarters afterwards.
      const __m256i lo =
          _mm256_packus_epi32(_mm256_and_si256(dw[m][0], low), _mm256_and_si256(dw[m][1], low));
      const __m256i hi =
          _mm256_packus_epi32(_mm256_srli_epi32(dw[m][0], 16), _mm256_srli_epi32(dw[m][1], 16));
      st(plane0 + 2 * m * row_len + i, _mm256_permute4x64_epi64(lo, 0xd8));
      st(plane0 + (2 * m + 1) * row_len + i, _mm256_permute4x64_epi64(hi, 0xd8));
    }
  });
}

// Sixteen result pairs from the six planes (order as in the input slots)
// back into pixels at `at`.
inline void store_pairs(PIXEL_YC* at, const __m256i planes[6]) {
  const __m256i scatter[3] = {_mm256_setr_epi32(0, 3, 6, 1, 4, 7, 2, 5),
                              _mm256_setr_epi32(5, 0, 3, 6, 1, 4, 7, 2),
                              _mm256_setr_epi32(2, 5, 0, 3, 6, 1, 4, 7)};
  __m256i dw[3][2];
#pragma GCC unroll 3
  for (int m = 0; m < 3; ++m) {
    const __m256i lo = planes[2 * m], hi = planes[2 * m + 1];
    const __m256i u0 = _mm256_unpacklo_epi16(lo, hi), u1 = _mm256_unpackhi_epi16(lo, hi);
    dw[m][0] = _mm256_permute2x128_si256(u0, u1, 0x20);
    dw[m][1] = _mm256_permute2x128_si256(u0, u1, 0x31);
  }
  __m256i* p = reinterpret_cast<__m256i*>(at);
#pragma GCC unroll 2
  for (int half = 0; half < 2; ++half) {
    const __m256i t0 = _mm256_permutevar8x32_epi32(dw[0][half], scatter[0]);
    const __m256i t1 = _mm256_permutevar8x32_epi32(dw[1][half], scatter[1]);
    const __m256i t2 = _mm256_permutevar8x32_epi32(dw[2][half], scatter[2]);
    _mm256_storeu_si256(p + 3 * half,
                        _mm256_blend_epi32(_mm256_blend_epi32(t0, t1, 0x92), t2, 0x24));
    _mm256_storeu_si256(p + 3 * half + 1,
                        _mm256_blend_epi32(_mm256_blend_epi32(t1, t0, 0x92), t2, 0x49));
    _mm256_storeu_si256(p + 3 * half + 2,
                        _mm256_blend_epi32(_mm256_blend_epi32(t2, t0, 0x24), t1, 0x49));
  }
}

struct limit_vectors {
  __m256i luma_d, luma_s, skin_d, skin_s, chroma_d, chroma_s, skin_on;
  __m256i flag;  // added to middle luma differences, see image_row
};

// The A vectors of component comp at pairs i .. i + 15, direction by
// direction; the eight share their input vectors, loaded once each.
template <bool F, int comp>
__attribute__((always_inline)) inline void diff_vectors(int16_t* base, const int16_t* in,
                                                        const int16_t* in_next, int i,
                                                        __m256i luma_d, __m256i skin_d,
                                                        __m256i chroma_d, __m256i flag) {
  const __m256i big = _mm256_set1_epi16(32767);
  const auto put = [&](int d, int par, __m256i a, __m256i b) __attribute__((always_inline)) {
    const __m256i v = absdiff_sat(a, b);
    int16_t* diff = base + img_row(0, comp, d, kind_a, par) + i;
    if (comp != 0) {
      st(diff, _mm256_blendv_epi8(big, v, _mm256_cmpgt_epi16(chroma_d, v)));
    } else if (F) {
      const __m256i medium = _mm256_andnot_si256(_mm256_cmpgt_epi16(skin_d, v), flag);
      st(diff,
         _mm256_blendv_epi8(big, _mm256_adds_epi16(v, medium), _mm256_cmpgt_epi16(luma_d, v)));
    } else {
      st(diff, v);
    }
  };
  const int16_t* row0 = in + in_row(0, 0, comp) + i;  // pixel 2i, this row
  const int16_t* row1 = in + in_row(0, 1, comp) + i;  // pixel 2i + 1
  const int16_t* next0 = in_next + in_row(0, 0, comp) + i;
  const int16_t* next1 = in_next + in_row(0, 1, comp) + i;
  const __m256i a0 = ld(row0), a1 = ld(row1);
  put(0, 0, a0, a1);  // (0, 1)
  put(0, 1, a1, ld(row0 + 1));
  const __m256i b0 = ld(next0), b1 = ld(next1);
  put(2, 0, a0, b0);  // (1, 0)
  put(2, 1, a1, b1);
  put(1, 0, a0, ld(next1 - 1));  // (1, -1)
  put(1, 1, a1, b0);
  put(3, 0, a0, b1);  // (1, 1)
  put(3, 1, a1, ld(next0 + 1));
}

// Difference images of the row in a slot (input rows in that slot and the
// next): all A first, then H and M from A at pixels x - 1, x, x + 1, so that
// no load waits for a store it straddles. Chroma has one difference limit,
// so its A carries the limit test as a penalty instead of a maximum: A
// itself when below the limit, else 32767, which no ring sum below the sum
// limit survives (see candidate). With flags (F, for luma limits D <= 256
// and L <= 2047) luma needs no M either: A below D / 4 stays, A from D / 4
// to D - 1 gets 2048 added, A of D or more becomes 32767. A ring sum then
// holds the sum of its A below D in bits 0-10 (at most 8 * 255), the count
// of middle ones above, and saturates when one reached D.
template <int N, bool F>
void image_row(int16_t* s, int slot, int n, const limit_vectors& lim) {
  const int len = N ? N : n;
  int16_t* base = s + slot * (img_row(1, 0, 0, 0, 0) - img_row(0, 0, 0, 0, 0));
  const int16_t* in = s + slot * (in_row(1, 0, 0) - in_row(0, 0, 0));
  const int16_t* in_next = s + ((slot + 1) & 3) * (in_row(1, 0, 0) - in_row(0, 0, 0));
  // Limits as values: the compiler cannot keep them in registers through the
  // stores otherwise.
  const __m256i luma_d = lim.luma_d, skin_d = lim.skin_d, chroma_d = lim.chroma_d,
                flag = lim.flag;
  for_vectors(0, len, [&](int i) __attribute__((always_inline)) {
    diff_vectors<F, 0>(base, in, in_next, i, luma_d, skin_d, chroma_d, flag);
  });
  for_vectors(0, len, [&](int i) __attribute__((always_inline)) {
    diff_vectors<F, 1>(base, in, in_next, i, luma_d, skin_d, chroma_d, flag);
  });
  for_vectors(0, len, [&](int i) __attribute__((always_inline)) {
    diff_vectors<F, 2>(base, in, in_next, i, luma_d, skin_d, chroma_d, flag);
  });
  // Saturating sums (and maxima) of non-negative values do not depend on
  // their order: both parities share the sum of their two middle terms.
#pragma GCC unroll 3
  for (int comp = 0; comp < 3; ++comp)
#pragma GCC unroll 4
    for (int d = 0; d < dirs; ++d) {
      const int16_t* a0 = base + img_row(0, comp, d, kind_a, 0);
      const int16_t* a1 = base + img_row(0, comp, d, kind_a, 1);
      int16_t* sum = base + img_row(0, comp, d, kind_h, 0);
      int16_t* peak = base + img_row(0, comp, d, kind_m, 0);
      constexpr int odd = img_row(0, 0, 0, 0, 1) - img_row(0, 0, 0, 0, 0);
      // Chroma's even samples never read the odd sums of the vertical
      // direction.
      const bool odd_sums = comp == 0 || d != 2;
      for_vectors(0, len, [&](int i) {
        const __m256i v0 = ld(a0 + i), v1 = ld(a1 + i);
        const __m256i vl = ld(a1 + i - 1), vr = ld(a0 + i + 1);
        const __m256i mid = _mm256_adds_epi16(v0, v1);
        st(sum + i, _mm256_adds_epi16(mid, vl));
        if (odd_sums) st(sum + odd + i, _mm256_adds_epi16(mid, vr));
        if (comp == 0 && !F) {
          const __m256i top = _mm256_max_epi16(v0, v1);
          st(peak + i, _mm256_max_epi16(top, vl));
          st(peak + odd + i, _mm256_max_epi16(top, vr));
        }
      });
    }
  if (!F) return;
  // Flagged luma needs no M: its M rows take the ring sums of the row above,
  // whose sums of the rows above and below it are complete now. Every ring
  // sum serves two candidates, c and -c.
  constexpr int stride = img_row(1, 0, 0, 0, 0) - img_row(0, 0, 0, 0, 0);
  constexpr int odd = img_row(0, 0, 0, 0, 1) - img_row(0, 0, 0, 0, 0);
  int16_t* up = s + ((slot + 3) & 3) * stride;
  const int16_t* up2 = s + ((slot + 2) & 3) * stride;
#pragma GCC unroll 4
  for (int d = 0; d < dirs; ++d) {
    const int16_t* h_above = up2 + img_row(0, 0, d, kind_h, 0);
    const int16_t* h_below = base + img_row(0, 0, d, kind_h, 0);
    const int16_t* a0 = up + img_row(0, 0, d, kind_a, 0);
    const int16_t* a1 = up + img_row(0, 0, d, kind_a, 1);
    int16_t* ring = up + img_row(0, 0, d, kind_m, 0);
    for_vectors(0, len, [&](int i) {
      st(ring + i, _mm256_adds_epi16(_mm256_adds_epi16(ld(h_above + i), ld(h_below + i)),
                                     _mm256_adds_epi16(ld(a1 + i - 1), ld(a1 + i))));
      st(ring + odd + i,
         _mm256_adds_epi16(_mm256_adds_epi16(ld(h_above + odd + i), ld(h_below + odd + i)),
                           _mm256_adds_epi16(ld(a0 + i), ld(a0 + i + 1))));
    });
  }
}

// Candidate (ci, cj) of the plane (par, comp) samples at pairs i .. i + 15 of
// row k (slot K): the ring test and, when accepted, W(c) - W(0, 0) into acc.
// Chroma's penalised differences make the ring sum reach the sum limit as
// soon as one difference reaches the difference limit, so the sum test alone
// decides (a sum limit of 0 or less rejects every ring either way).
template <bool F, int K, int comp, int par, int ci, int cj>
__attribute__((always_inline)) inline void candidate(const int16_t* s, int i, __m256i centre,
                                                     __m256i diff_limit, __m256i sum_limit,
                                                     __m256i sum_mask, __m256i& acc,
                                                     __m256i& count) {
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
  const __m256i a_left =
      ld(s + img_row(mid, comp, d, kind_a, pair_par(par + qj - 1)) + pair_off(par + qj - 1) + i);
  const __m256i a_right =
      ld(s + img_row(mid, comp, d, kind_a, pair_par(par + qj + 1)) + pair_off(par + qj + 1) + i);
  __m256i ok;
  if (comp == 0 && F) {  // ring sums ready in the M rows (see image_row)
    const __m256i sum =
        ld(s + img_row(mid, 0, d, kind_m, pair_par(par + qj)) + pair_off(par + qj) + i);
    ok = _mm256_cmpgt_epi16(sum_limit, _mm256_and_si256(sum, sum_mask));
  } else {
    const __m256i sum = _mm256_adds_epi16(_mm256_adds_epi16(ld(h_above), ld(h_below)),
                                          _mm256_adds_epi16(a_left, a_right));
    ok = _mm256_cmpgt_epi16(sum_limit, sum);
  }
  if (comp == 0 && !F) {
    const __m256i peak = _mm256_max_epi16(_mm256_max_epi16(ld(h_above + hm), ld(h_below + hm)),
                                          _mm256_max_epi16(a_left, a_right));
    ok = _mm256_and_si256(ok, _mm256_cmpgt_epi16(diff_limit, peak));
  }
  const __m256i w =
      ld(s + in_row((K + ci + 4) & 3, pair_par(par + cj), comp) + pair_off(par + cj) + i);
  acc = _mm256_adds_epi16(acc, _mm256_and_si256(ok, _mm256_subs_epi16(w, centre)));
  count = _mm256_add_epi16(count, ok);
}

// Corrections of the plane (par, comp) samples at pairs i .. i + 15 of row k.
template <bool F, int K, int comp, int par>
__attribute__((always_inline)) inline __m256i plane_delta(const int16_t* s, int i,
                                                          __m256i diff_limit, __m256i sum_limit,
                                                          __m256i sum_mask) {
  const __m256i centre = ld(s + in_row(K, par, comp) + i);
  // count holds -n: each accepted candidate adds its all-ones mask. The
  // centre counts always: when its limits reject it they reject every ring,
  // A stays 0 and so does A / 1.
  __m256i count = _mm256_set1_epi16(-1);
  __m256i acc = _mm256_setzero_si256();
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
void filter_row(const int16_t* s, int n, const limit_vectors& lim_ref, PIXEL_YC* out) {
  const limit_vectors lim = lim_ref;  // in registers through the stores
  for_vectors(1, (N ? N : n) - 1, [&](int i) __attribute__((always_inline)) {
    const __m256i y = ld(s + in_row(K, 0, 0) + i), cb = ld(s + in_row(K, 0, 1) + i),
                  cr = ld(s + in_row(K, 0, 2) + i);
    // Skin tone of the pair's first pixel: 1400 < y < 3000, -50 < cr < 600,
    // -680 < cb < 280.
    const __m256i skin_y = _mm256_and_si256(_mm256_cmpgt_epi16(y, _mm256_set1_epi16(1400)),
                                            _mm256_cmpgt_epi16(_mm256_set1_epi16(3000), y));
    const __m256i skin_cr = _mm256_and_si256(_mm256_cmpgt_epi16(cr, _mm256_set1_epi16(-50)),
                                             _mm256_cmpgt_epi16(_mm256_set1_epi16(600), cr));
    const __m256i skin_cb = _mm256_and_si256(_mm256_cmpgt_epi16(cb, _mm256_set1_epi16(-680)),
                                             _mm256_cmpgt_epi16(_mm256_set1_epi16(280), cb));
    const __m256i skin =
        _mm256_and_si256(_mm256_and_si256(skin_y, lim.skin_on), _mm256_and_si256(skin_cr, skin_cb));
    const __m256i luma_d = _mm256_blendv_epi8(lim.luma_d, lim.skin_d, skin);
    const __m256i luma_s = _mm256_blendv_epi8(lim.luma_s, lim.skin_s, skin);
    // Flagged ring sums: skin lanes compare them whole (any middle
    // difference rejects), the others only their bits 0-10.
    const __m256i mask = _mm256_or_si256(skin, _mm256_set1_epi16(2047));
    __m256i res[6];
    res[0] = _mm256_adds_epi16(y, plane_delta<F, K, 0, 0>(s, i, luma_d, luma_s, mask));
    res[3] = _mm256_adds_epi16(ld(s + in_row(K, 1, 0) + i),
                               plane_delta<F, K, 0, 1>(s, i, luma_d, luma_s, mask));
    // The odd pixel's chroma takes the even pixel's correction.
    const __m256i d_cb = plane_delta<F, K, 1, 0>(s, i, lim.chroma_d, lim.chroma_s, mask);
    res[1] = _mm256_adds_epi16(cb, d_cb);
    res[4] = _mm256_adds_epi16(ld(s + in_row(K, 1, 1) + i), d_cb);
    const __m256i d_cr = plane_delta<F, K, 2, 0>(s, i, lim.chroma_d, lim.chroma_s, mask);
    res[2] = _mm256_adds_epi16(cr, d_cr);
    res[5] = _mm256_adds_epi16(ld(s + in_row(K, 1, 2) + i), d_cr);
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
#pragma GCC unroll 10
        for (int b = 0; b < (N ? N : n) * 12; b += 64) {
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
  lim.luma_d = _mm256_set1_epi16(d);
  lim.luma_s = _mm256_set1_epi16(l);
  lim.skin_d = _mm256_set1_epi16(static_cast<int16_t>(d / 4));
  lim.skin_s = _mm256_set1_epi16(static_cast<int16_t>(l / 4));
  lim.chroma_d = _mm256_set1_epi16(cd);
  lim.chroma_s = _mm256_set1_epi16(cl);
  lim.skin_on = _mm256_set1_epi16(anime != 1 ? -1 : 0);
  lim.flag = _mm256_set1_epi16(2048);
  const bool flags = d <= 256 && l <= 2047;

  alignas(32) int16_t s[scratch_len];
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

void block_nr_rows_avx2(const FILTER_PROC_INFO* fpip, const PIXEL_YC* src, int field_step,
                        int diff_limit, int sum_limit, int y_begin, int y_end, uint8_t anime) {
  if (fpip->w >= 48)
    planar_rows(fpip, src, field_step, diff_limit, sum_limit, y_begin, y_end, anime);
  else  // too narrow for a strip: the SSE2 version's quads
    block_nr_rows_sse2(fpip, src, field_step, diff_limit, sum_limit, y_begin, y_end, anime);
}
