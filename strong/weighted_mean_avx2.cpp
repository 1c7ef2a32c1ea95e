// The weighted temporal mean's accumulation with AVX2: the scalar version's
// operations in the same order, eight columns at a time (four where a row
// holds fewer).
#include <immintrin.h>

#include "strong/weighted_mean.h"

void accumulate_avx2(const float* cur, int cur_pitch, const float* comp, int bw, int bh,
                     float offset, float block, float low, float high, float* acc,
                     float* weight) {
  const __m256 vb = _mm256_set1_ps(block), vh = _mm256_set1_ps(high);
  const __m256 vo = _mm256_set1_ps(offset), span = _mm256_set1_ps(high - low);
  const __m256 zero = _mm256_setzero_ps(), one = _mm256_set1_ps(1.0f);
  const int wide = bw & ~7;
  for (int y = 0; y < bh; ++y, cur += cur_pitch, comp += bw, acc += bw, weight += bw) {
    for (int x = 0; x < wide; x += 8) {
      const __m256 c = _mm256_sub_ps(_mm256_loadu_ps(comp + x), vo);
      const __m256 d = _mm256_sub_ps(c, _mm256_loadu_ps(cur + x));
      const __m256 q = _mm256_div_ps(_mm256_sub_ps(vh, _mm256_mul_ps(d, d)), span);
      const __m256 r = _mm256_min_ps(_mm256_max_ps(q, zero), one);
      const __m256 w = _mm256_mul_ps(vb, r);
      _mm256_storeu_ps(acc + x, _mm256_add_ps(_mm256_loadu_ps(acc + x), _mm256_mul_ps(w, c)));
      _mm256_storeu_ps(weight + x, _mm256_add_ps(_mm256_loadu_ps(weight + x), w));
    }
    if (wide < bw)  // four columns: a row of the SSE2 version
      accumulate_sse2(cur + wide, cur_pitch, comp + wide, bw - wide, 1, offset, block, low, high,
                      acc + wide, weight + wide);
  }
}
