// Block-noise reduction, SSE2 version. Frames at least 48 pixels wide are
// filtered from planar rows and shared difference images (the planar path of
// block_nr_planar.h over eight-lane vectors); narrower ones one quad (eight
// samples) per vector.
#include <emmintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "prefilter/prefilter.h"
#include "prefilter/prefilter_internal.h"
#include "prefilter/quad_sse2.h"

using namespace prefilter_detail;

namespace {

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

// The planar path's vector: eight 16-bit lanes.
struct vec_sse2 {
  static constexpr int lanes = 8;
  typedef __m128i reg;
  static reg ld(const int16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
  static void st(int16_t* p, reg v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
  static reg set1(int16_t v) { return _mm_set1_epi16(v); }
  static reg zero() { return _mm_setzero_si128(); }
  static reg add(reg a, reg b) { return _mm_add_epi16(a, b); }
  static reg adds(reg a, reg b) { return _mm_adds_epi16(a, b); }
  static reg subs(reg a, reg b) { return _mm_subs_epi16(a, b); }
  static reg max(reg a, reg b) { return _mm_max_epi16(a, b); }
  static reg cmpgt(reg a, reg b) { return _mm_cmpgt_epi16(a, b); }
  static reg bit_and(reg a, reg b) { return _mm_and_si128(a, b); }
  static reg bit_or(reg a, reg b) { return _mm_or_si128(a, b); }
  static reg andnot(reg a, reg b) { return _mm_andnot_si128(a, b); }
  static reg select(reg mask, reg yes, reg no) {
    return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
  }
  static reg mean_offset(reg acc, reg count) { return ::mean_offset(acc, count); }
  template <int N>
  static void split_row(int16_t* s, int slot, const PIXEL_YC* row, int n);
  static void store_pairs(PIXEL_YC* at, const reg planes[6]);
};

#include "prefilter/block_nr_planar.h"

// Pairs 0 .. n - 1 of a row into the six planes of a slot. Four pairs are
// three vectors of 4 dwords (y cb), (cr y'), (cb' cr') repeating; shuffles
// gather each dword stream, sign extension and packing split it into two
// planes.
template <int N>
void vec_sse2::split_row(int16_t* s, int slot, const PIXEL_YC* row, int n) {
  int16_t* plane0 = s + in_row(slot, 0, 0);
  for_vectors<vec_sse2>(0, N ? N : n, [&](int i) {
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
      vec_sse2::st(plane0 + 2 * m * row_len + i, lo);
      vec_sse2::st(plane0 + (2 * m + 1) * row_len + i, hi);
    }
  });
}

// Eight result pairs from the six planes (order as in the input slots)
// back into pixels at `at`.
inline void vec_sse2::store_pairs(PIXEL_YC* at, const __m128i planes[6]) {
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

}  // namespace

void block_nr_rows_sse2(const FILTER_PROC_INFO* fpip, const PIXEL_YC* src, int field_step,
                        int diff_limit, int sum_limit, int y_begin, int y_end, uint8_t anime) {
  if (fpip->w >= 48)
    planar_rows<vec_sse2>(fpip, src, field_step, diff_limit, sum_limit, y_begin, y_end, anime);
  else
    quad_rows(fpip, src, field_step, diff_limit, sum_limit, y_begin, y_end, anime);
}
