// Interpolation passes and the weighted temporal sums with SSE2 (the scalar
// versions' operations in the same order, four columns at a time).
#include <emmintrin.h>

#include "strong/strong.h"

void interp_rows_sse2(const float* src, int pitch, int rows, int bw, const float taps[4],
                      float* dst) {
  const __m128 t0 = _mm_set1_ps(taps[0]), t1 = _mm_set1_ps(taps[1]);
  const __m128 t2 = _mm_set1_ps(taps[2]), t3 = _mm_set1_ps(taps[3]);
  for (int r = 0; r < rows; ++r, src += pitch, dst += bw)
    for (int i = 0; i < bw; i += 4) {
      const __m128 a = _mm_add_ps(_mm_mul_ps(t0, _mm_loadu_ps(src + i - 1)),
                                  _mm_mul_ps(t1, _mm_loadu_ps(src + i)));
      const __m128 b = _mm_add_ps(_mm_mul_ps(t2, _mm_loadu_ps(src + i + 1)),
                                  _mm_mul_ps(t3, _mm_loadu_ps(src + i + 2)));
      _mm_storeu_ps(dst + i, _mm_add_ps(a, b));
    }
}

void interp_columns_sse2(const float* src, int bw, int bh, const float taps[4], float* out) {
  const __m128 t0 = _mm_set1_ps(taps[0]), t1 = _mm_set1_ps(taps[1]);
  const __m128 t2 = _mm_set1_ps(taps[2]), t3 = _mm_set1_ps(taps[3]);
  for (int r = 0; r < bh; ++r, src += bw, out += bw)
    for (int i = 0; i < bw; i += 4) {
      const __m128 a = _mm_add_ps(_mm_mul_ps(t0, _mm_loadu_ps(src + i)),
                                  _mm_mul_ps(t1, _mm_loadu_ps(src + i + bw)));
      const __m128 b = _mm_add_ps(_mm_mul_ps(t2, _mm_loadu_ps(src + i + 2 * bw)),
                                  _mm_mul_ps(t3, _mm_loadu_ps(src + i + 3 * bw)));
      _mm_storeu_ps(out + i, _mm_add_ps(a, b));
    }
}

float block_sq_diff_sse2(const float* cur, int cur_pitch, const float* comp, int bw, int bh) {
  __m128 sum = _mm_setzero_ps();
  for (int y = 0; y < bh; ++y, cur += cur_pitch, comp += bw)
    for (int x = 0; x < bw; x += 4) {
      const __m128 d = _mm_sub_ps(_mm_loadu_ps(comp + x), _mm_loadu_ps(cur + x));
      sum = _mm_add_ps(sum, _mm_mul_ps(d, d));
    }
  float s[4];
  _mm_storeu_ps(s, sum);
  return (s[0] + s[1]) + (s[2] + s[3]);
}

void accumulate_sse2(const float* cur, int cur_pitch, const float* comp, int bw, int bh,
                     float block, float low, float high, float* acc, float* weight) {
  const __m128 vb = _mm_set1_ps(block), vh = _mm_set1_ps(high);
  const __m128 span = _mm_set1_ps(high - low);
  const __m128 zero = _mm_setzero_ps(), one = _mm_set1_ps(1.0f);
  for (int y = 0; y < bh; ++y, cur += cur_pitch, comp += bw, acc += bw, weight += bw)
    for (int x = 0; x < bw; x += 4) {
      const __m128 c = _mm_loadu_ps(comp + x);
      const __m128 d = _mm_sub_ps(c, _mm_loadu_ps(cur + x));
      const __m128 q = _mm_div_ps(_mm_sub_ps(vh, _mm_mul_ps(d, d)), span);
      const __m128 r = _mm_min_ps(_mm_max_ps(q, zero), one);
      const __m128 w = _mm_mul_ps(vb, r);
      _mm_storeu_ps(acc + x, _mm_add_ps(_mm_loadu_ps(acc + x), _mm_mul_ps(w, c)));
      _mm_storeu_ps(weight + x, _mm_add_ps(_mm_loadu_ps(weight + x), w));
    }
}
