// Block-noise reduction, SSE2 version: one quad (eight samples) per vector.
#include <emmintrin.h>

#include "prefilter/prefilter.h"
#include "prefilter/prefilter_internal.h"
#include "prefilter/quad_sse2.h"

using namespace prefilter_detail;

namespace {

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

}  // namespace

void block_nr_rows_sse2(const FILTER_PROC_INFO* fpip, const PIXEL_YC* src, int field_step,
                        int diff_limit, int sum_limit, int y_begin, int y_end, uint8_t anime) {
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
  for (int y = y_begin; y < y_end; ++y) {
    const PIXEL_YC* in = src + static_cast<ptrdiff_t>(y) * pitch;
    PIXEL_YC* out = fpip->ycp_edit + static_cast<ptrdiff_t>(y) * pitch;
    if (y < first || y >= end) {
      copy_pixels(out, in, w);
      continue;
    }
    const PIXEL_YC* rows[5];
    for (int i = 0; i < 5; ++i) rows[i] = in + static_cast<ptrdiff_t>((i - 2) * field_step) * pitch;
    copy_pixels(out, in, 2);
    copy_pixels(out + w - 2, in + w - 2, 2);
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
