// The spatial pass's row kernels with AVX2: the scalar versions' operations
// in the same order, eight columns at a time, the last w mod 8 by the SSE2
// versions.
#include <immintrin.h>

#include "strong/spatial_pass.h"

void column_sums_avx2(const float* const rows[5], int w, float* sum, float* sq) {
  const int main = w & ~7;
  for (int x = 0; x < main; x += 8) {
    __m256 s = _mm256_setzero_ps(), q = _mm256_setzero_ps();
    for (int k = 0; k < 5; ++k) {
      const __m256 v = _mm256_loadu_ps(rows[k] + x);
      s = _mm256_add_ps(s, v);
      q = _mm256_add_ps(q, _mm256_mul_ps(v, v));
    }
    _mm256_storeu_ps(sum + x, s);
    _mm256_storeu_ps(sq + x, q);
  }
  if (main < w) {
    const float* const tail[5] = {rows[0] + main, rows[1] + main, rows[2] + main, rows[3] + main,
                                  rows[4] + main};
    column_sums_sse2(tail, w - main, sum + main, sq + main);
  }
}

void lee_row_avx2(const float* sum, const float* sq, const float* here, const float* weight, int w,
                  float noise, float* out) {
  const int main = w & ~7;
  const __m256 inv_area = _mm256_set1_ps(1.0f / 25.0f), vn = _mm256_set1_ps(noise);
  for (int x = 0; x < main; x += 8) {
    __m256 s = _mm256_setzero_ps(), q = _mm256_setzero_ps();
    for (int k = 0; k < 5; ++k) {
      s = _mm256_add_ps(s, _mm256_loadu_ps(sum + x + k));
      q = _mm256_add_ps(q, _mm256_loadu_ps(sq + x + k));
    }
    const __m256 m = _mm256_mul_ps(s, inv_area);
    const __m256 v = _mm256_sub_ps(_mm256_mul_ps(q, inv_area), _mm256_mul_ps(m, m));
    const __m256 left = _mm256_div_ps(vn, _mm256_loadu_ps(weight + x));
    // Where v <= left the quotient is dropped (it may be 0/0 there).
    const __m256 gain = _mm256_and_ps(_mm256_cmp_ps(v, left, _CMP_GT_OQ),
                                      _mm256_div_ps(_mm256_sub_ps(v, left), v));
    const __m256 d = _mm256_sub_ps(_mm256_loadu_ps(here + x), m);
    _mm256_storeu_ps(out + x, _mm256_add_ps(m, _mm256_mul_ps(gain, d)));
  }
  if (main < w)
    lee_row_sse2(sum + main, sq + main, here + main, weight + main, w - main, noise, out + main);
}
