// The interpolation passes with AVX2: the scalar versions' operations in the
// same order, eight columns at a time (four where a row holds fewer).
#include <immintrin.h>

#include "strong/interpolate.h"

void interp_rows_avx2(const float* src, int pitch, int rows, int bw, const float taps[4],
                      float* dst) {
  const __m256 t0 = _mm256_set1_ps(taps[0]), t1 = _mm256_set1_ps(taps[1]);
  const __m256 t2 = _mm256_set1_ps(taps[2]), t3 = _mm256_set1_ps(taps[3]);
  const int wide = bw & ~7;
  for (int r = 0; r < rows; ++r, src += pitch, dst += bw) {
    for (int i = 0; i < wide; i += 8) {
      const __m256 a = _mm256_add_ps(_mm256_mul_ps(t0, _mm256_loadu_ps(src + i - 1)),
                                     _mm256_mul_ps(t1, _mm256_loadu_ps(src + i)));
      const __m256 b = _mm256_add_ps(_mm256_mul_ps(t2, _mm256_loadu_ps(src + i + 1)),
                                     _mm256_mul_ps(t3, _mm256_loadu_ps(src + i + 2)));
      _mm256_storeu_ps(dst + i, _mm256_add_ps(a, b));
    }
    if (wide < bw) interp_rows_sse2(src + wide, pitch, 1, bw - wide, taps, dst + wide);
  }
}

void interp_columns_avx2(const float* src, int bw, int bh, const float taps[4], float* out) {
  const __m256 t0 = _mm256_set1_ps(taps[0]), t1 = _mm256_set1_ps(taps[1]);
  const __m256 t2 = _mm256_set1_ps(taps[2]), t3 = _mm256_set1_ps(taps[3]);
  const int wide = bw & ~7;
  for (int r = 0; r < bh; ++r, src += bw, out += bw) {
    for (int i = 0; i < wide; i += 8) {
      const __m256 a = _mm256_add_ps(_mm256_mul_ps(t0, _mm256_loadu_ps(src + i)),
                                     _mm256_mul_ps(t1, _mm256_loadu_ps(src + i + bw)));
      const __m256 b = _mm256_add_ps(_mm256_mul_ps(t2, _mm256_loadu_ps(src + i + 2 * bw)),
                                     _mm256_mul_ps(t3, _mm256_loadu_ps(src + i + 3 * bw)));
      _mm256_storeu_ps(out + i, _mm256_add_ps(a, b));
    }
    for (int i = wide; i < bw; i += 4) {
      const __m128 u0 = _mm256_castps256_ps128(t0), u1 = _mm256_castps256_ps128(t1);
      const __m128 u2 = _mm256_castps256_ps128(t2), u3 = _mm256_castps256_ps128(t3);
      const __m128 a = _mm_add_ps(_mm_mul_ps(u0, _mm_loadu_ps(src + i)),
                                  _mm_mul_ps(u1, _mm_loadu_ps(src + i + bw)));
      const __m128 b = _mm_add_ps(_mm_mul_ps(u2, _mm_loadu_ps(src + i + 2 * bw)),
                                  _mm_mul_ps(u3, _mm_loadu_ps(src + i + 3 * bw)));
      _mm_storeu_ps(out + i, _mm_add_ps(a, b));
    }
  }
}
