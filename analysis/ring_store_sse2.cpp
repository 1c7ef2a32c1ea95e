// SSE2 ring store of four-lane group buffers: four rows are transposed into
// four floats of each of the four lines. Where the lines reach a 64-byte
// boundary, sixteen rows at a time go out as whole cache lines with streaming
// stores; the rows before the first boundary and after the last whole line
// use plain stores. (The four lines share their alignment: line_stride is a
// multiple of 16 floats.)
#include <emmintrin.h>

#include <cstdint>

#include "analysis/ring_store.h"

namespace {

// Rows 4g .. 4g + 3 transposed: r[c] holds line c's four values.
inline void transpose_group(const float* src, int g, __m128 r[4]) {
  r[0] = _mm_load_ps(src + 16 * g);
  r[1] = _mm_load_ps(src + 16 * g + 4);
  r[2] = _mm_load_ps(src + 16 * g + 8);
  r[3] = _mm_load_ps(src + 16 * g + 12);
  _MM_TRANSPOSE4_PS(r[0], r[1], r[2], r[3]);
}

inline void store_group(const float* src, int g, float* dst, ptrdiff_t line_stride) {
  __m128 r[4];
  transpose_group(src, g, r);
  for (int c = 0; c < 4; ++c) _mm_store_ps(dst + c * line_stride + 4 * g, r[c]);
}

}  // namespace

void ring_store_x4_sse2(const float* src, int rows, float* dst, ptrdiff_t line_stride) {
  const int groups = rows / 4;
  int g = 0;
  for (; g < groups && reinterpret_cast<uintptr_t>(dst + 4 * g) % 64 != 0; ++g)
    store_group(src, g, dst, line_stride);
  for (; g + 4 <= groups; g += 4) {
    __m128 r[4][4];
    for (int k = 0; k < 4; ++k) transpose_group(src, g + k, r[k]);
    for (int c = 0; c < 4; ++c) {
      float* line = dst + c * line_stride + 4 * g;
      for (int k = 0; k < 4; ++k) _mm_stream_ps(line + 4 * k, r[k][c]);
    }
  }
  for (; g < groups; ++g) store_group(src, g, dst, line_stride);
}
