// The interpolation passes with SSE2 (the scalar versions' operations in the
// same order, four columns at a time).
#include <emmintrin.h>

#include "strong/interpolate.h"

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
