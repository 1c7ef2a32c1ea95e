// Scalar ring stores: lane c of row j to line c, position j.
#include "analysis/ring_store.h"

namespace {

template <int lanes>
void ring_store_cols(const float* src, int rows, float* dst, ptrdiff_t line_stride) {
  for (int c = 0; c < lanes; ++c) {
    float* line = dst + c * line_stride;
    for (int j = 0; j < rows; ++j) line[j] = src[lanes * j + c];
  }
}

}  // namespace

void ring_store_x4_ref(const float* src, int rows, float* dst, ptrdiff_t line_stride) {
  ring_store_cols<4>(src, rows, dst, line_stride);
}

void ring_store_x8_ref(const float* src, int rows, float* dst, ptrdiff_t line_stride) {
  ring_store_cols<8>(src, rows, dst, line_stride);
}
