// SSE2 ring store of four-lane group buffers: four rows are transposed into
// four floats of each of the four lines, in the walk of ring_store_simd.h.
#include <emmintrin.h>

#include <cstdint>

#include "analysis/ring_store.h"

namespace {

struct stores_sse2 {
  // Rows 4g .. 4g + 3 transposed: r[c] holds line c's four values.
  static void transpose_group(const float* src, int g, __m128 r[4]) {
    r[0] = _mm_load_ps(src + 16 * g);
    r[1] = _mm_load_ps(src + 16 * g + 4);
    r[2] = _mm_load_ps(src + 16 * g + 8);
    r[3] = _mm_load_ps(src + 16 * g + 12);
    _MM_TRANSPOSE4_PS(r[0], r[1], r[2], r[3]);
  }

  static void store_group(const float* src, int g, float* dst, ptrdiff_t line_stride) {
    __m128 r[4];
    transpose_group(src, g, r);
    for (int c = 0; c < 4; ++c) _mm_store_ps(dst + c * line_stride + 4 * g, r[c]);
  }

  static void stream_groups(const float* src, int g, float* dst, ptrdiff_t line_stride) {
    __m128 r[4][4];
    for (int k = 0; k < 4; ++k) transpose_group(src, g + k, r[k]);
    for (int c = 0; c < 4; ++c) {
      float* line = dst + c * line_stride + 4 * g;
      for (int k = 0; k < 4; ++k) _mm_stream_ps(line + 4 * k, r[k][c]);
    }
  }
};

#include "analysis/ring_store_simd.h"

}  // namespace

void ring_store_x4_sse2(const float* src, int rows, float* dst, ptrdiff_t line_stride) {
  ring_store_groups<stores_sse2>(src, rows, dst, line_stride);
}
