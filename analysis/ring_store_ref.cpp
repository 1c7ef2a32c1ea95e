// Scalar ring stores. Line l of slot s in a ring of K slots
// and lines of N floats:
//
//   index(l, j, s) = ((l * N/4 + j/4) * K + s) * 4 + j % 4
//
//   | l,g0: s0 s0 s0 s0  s1 s1 s1 s1 .. sK-1 | l,g1: s0 .. | .. | l+1,g0: s0 .. |
#include "analysis/ring_store.h"

void ring_store_line_ref(const float* src, int count, float* dst, ptrdiff_t group_stride) {
  for (int g = 0; g < count / 4; ++g) {
    for (int i = 0; i < 4; ++i) dst[g * group_stride + i] = src[4 * g + i];
  }
}

namespace {

template <int lanes>
void ring_store_cols(const float* src, int rows, float* dst, ptrdiff_t line_stride,
                     ptrdiff_t group_stride) {
  for (int c = 0; c < lanes; ++c) {
    float* line = dst + c * line_stride;
    for (int g = 0; g < rows / 4; ++g) {
      for (int i = 0; i < 4; ++i) line[g * group_stride + i] = src[lanes * (4 * g + i) + c];
    }
  }
}

}  // namespace

void ring_store_x4_ref(const float* src, int rows, float* dst, ptrdiff_t line_stride,
                       ptrdiff_t group_stride) {
  ring_store_cols<4>(src, rows, dst, line_stride, group_stride);
}

void ring_store_x8_ref(const float* src, int rows, float* dst, ptrdiff_t line_stride,
                       ptrdiff_t group_stride) {
  ring_store_cols<8>(src, rows, dst, line_stride, group_stride);
}
