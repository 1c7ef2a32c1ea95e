// SSE2 ring store of four-lane group buffers: four rows are transposed into the
// four lines' groups.
#include <emmintrin.h>

#include "analysis/ring_store.h"

void ring_store_x4_sse2(const float* src, int rows, float* dst, ptrdiff_t line_stride,
                        ptrdiff_t group_stride) {
  for (int g = 0; g < rows / 4; ++g) {
    __m128 r0 = _mm_load_ps(src + 16 * g);
    __m128 r1 = _mm_load_ps(src + 16 * g + 4);
    __m128 r2 = _mm_load_ps(src + 16 * g + 8);
    __m128 r3 = _mm_load_ps(src + 16 * g + 12);
    _MM_TRANSPOSE4_PS(r0, r1, r2, r3);  // now rK holds line K's four values
    float* p = dst + g * group_stride;
    _mm_store_ps(p, r0);
    _mm_store_ps(p + line_stride, r1);
    _mm_store_ps(p + 2 * line_stride, r2);
    _mm_store_ps(p + 3 * line_stride, r3);
  }
}
