// Scalar ring stores. Line l of slot s in a ring of K slots and lines of N
// floats, sixteen floats of a slot per block:
//
//   index(l, j, s) = l * N * K + ((j / 16) * K + s) * 16 + j % 16
//
//   | l,b0: s0 x16 | s1 x16 | .. | sK-1 x16 | l,b1: s0 x16 | .. | l+1,b0: s0 .. |
//
// The stores write four floats at a time: group h of a line (positions
// 4h .. 4h+3) is group h % 4 of block h / 4.
#include "analysis/ring_store.h"

void ring_store_line_ref(const float* src, int count, float* dst, ptrdiff_t block_stride,
                         int phase) {
  for (int g = 0; g < count / 4; ++g) {
    float* group = ring_group_at(dst, phase + g, phase, block_stride);
    for (int i = 0; i < 4; ++i) group[i] = src[4 * g + i];
  }
}

namespace {

template <int lanes>
void ring_store_cols(const float* src, int rows, float* dst, ptrdiff_t line_stride,
                     ptrdiff_t block_stride, int phase) {
  for (int c = 0; c < lanes; ++c) {
    float* line = dst + c * line_stride;
    for (int g = 0; g < rows / 4; ++g) {
      float* group = ring_group_at(line, phase + g, phase, block_stride);
      for (int i = 0; i < 4; ++i) group[i] = src[lanes * (4 * g + i) + c];
    }
  }
}

}  // namespace

void ring_store_x4_ref(const float* src, int rows, float* dst, ptrdiff_t line_stride,
                       ptrdiff_t block_stride, int phase) {
  ring_store_cols<4>(src, rows, dst, line_stride, block_stride, phase);
}

void ring_store_x8_ref(const float* src, int rows, float* dst, ptrdiff_t line_stride,
                       ptrdiff_t block_stride, int phase) {
  ring_store_cols<8>(src, rows, dst, line_stride, block_stride, phase);
}
