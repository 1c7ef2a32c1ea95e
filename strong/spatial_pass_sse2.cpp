// The spatial pass's row kernels with SSE2: the scalar versions' operations
// in the same order, four columns at a time, the last w mod 4 by the scalar
// versions.
#include <emmintrin.h>

#include "strong/spatial_pass.h"

void column_sums_sse2(const float* const rows[5], int w, float* sum, float* sq) {
  const int main = w & ~3;
  for (int x = 0; x < main; x += 4) {
    __m128 s = _mm_setzero_ps(), q = _mm_setzero_ps();
    for (int k = 0; k < 5; ++k) {
      const __m128 v = _mm_loadu_ps(rows[k] + x);
      s = _mm_add_ps(s, v);
      q = _mm_add_ps(q, _mm_mul_ps(v, v));
    }
    _mm_storeu_ps(sum + x, s);
    _mm_storeu_ps(sq + x, q);
  }
  if (main < w) {
    const float* const tail[5] = {rows[0] + main, rows[1] + main, rows[2] + main, rows[3] + main,
                                  rows[4] + main};
    column_sums_ref(tail, w - main, sum + main, sq + main);
  }
}

void lee_row_sse2(const float* sum, const float* sq, const float* here, const float* weight, int w,
                  float noise, float* out) {
  const int main = w & ~3;
  const __m128 inv_area = _mm_set1_ps(1.0f / 25.0f), vn = _mm_set1_ps(noise);
  for (int x = 0; x < main; x += 4) {
    __m128 s = _mm_setzero_ps(), q = _mm_setzero_ps();
    for (int k = 0; k < 5; ++k) {
      s = _mm_add_ps(s, _mm_loadu_ps(sum + x + k));
      q = _mm_add_ps(q, _mm_loadu_ps(sq + x + k));
    }
    const __m128 m = _mm_mul_ps(s, inv_area);
    const __m128 v = _mm_sub_ps(_mm_mul_ps(q, inv_area), _mm_mul_ps(m, m));
    const __m128 left = _mm_div_ps(vn, _mm_loadu_ps(weight + x));
    // Where v <= left the quotient is dropped (it may be 0/0 there).
    const __m128 gain = _mm_and_ps(_mm_cmpgt_ps(v, left), _mm_div_ps(_mm_sub_ps(v, left), v));
    const __m128 d = _mm_sub_ps(_mm_loadu_ps(here + x), m);
    _mm_storeu_ps(out + x, _mm_add_ps(m, _mm_mul_ps(gain, d)));
  }
  if (main < w) lee_row_ref(sum + main, sq + main, here + main, weight + main, w - main, noise, out + main);
}
