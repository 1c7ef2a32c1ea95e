// SSE2 ring store of four-lane group buffers: four rows are transposed into
// the four lines' groups. Where a line's sixteen-float block lies wholly
// inside the store, its four groups go out as streaming stores one after the
// other, one whole cache line that nothing reads before the temporal stage;
// groups of partly covered blocks (a band starting or ending mid-block) are
// stored plainly.
#include <emmintrin.h>

#include "analysis/ring_store.h"

void ring_store_x4_sse2(const float* src, int rows, float* dst, ptrdiff_t line_stride,
                        ptrdiff_t block_stride, int phase) {
  float* const base = dst - 4 * phase;  // group h lies in block h / 4 from here
  const int groups = rows / 4;
  int g = 0;
  while (g < groups) {
    const int h = phase + g;
    float* p = base + (ptrdiff_t)(h >> 2) * block_stride + 4 * (h & 3);
    if ((h & 3) != 0 || g + 4 > groups) {
      __m128 r0 = _mm_load_ps(src + 16 * g);
      __m128 r1 = _mm_load_ps(src + 16 * g + 4);
      __m128 r2 = _mm_load_ps(src + 16 * g + 8);
      __m128 r3 = _mm_load_ps(src + 16 * g + 12);
      _MM_TRANSPOSE4_PS(r0, r1, r2, r3);  // now rK holds line K's four values
      _mm_store_ps(p, r0);
      _mm_store_ps(p + line_stride, r1);
      _mm_store_ps(p + 2 * line_stride, r2);
      _mm_store_ps(p + 3 * line_stride, r3);
      ++g;
      continue;
    }
    __m128 v[4][4];  // v[c][i]: line c's group i of the block
    for (int i = 0; i < 4; ++i) {
      const float* s = src + 16 * (g + i);
      v[0][i] = _mm_load_ps(s);
      v[1][i] = _mm_load_ps(s + 4);
      v[2][i] = _mm_load_ps(s + 8);
      v[3][i] = _mm_load_ps(s + 12);
      _MM_TRANSPOSE4_PS(v[0][i], v[1][i], v[2][i], v[3][i]);
    }
    for (int c = 0; c < 4; ++c)
      for (int i = 0; i < 4; ++i) _mm_stream_ps(p + c * line_stride + 4 * i, v[c][i]);
    g += 4;
  }
}
