// The weighted temporal mean's block sums with SSE2 (the scalar versions'
// operations in the same order, four columns at a time).
#include <emmintrin.h>

#include "strong/weighted_mean.h"

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
