// The way back to YC48, scalar, and the table's choice. Each sample:
//   q = (v - offset) * 4096 / scale   (single precision, in this order,
//                                      correctly rounded division)
//   s = q + 0.5, clamped to [-32768, 32767] (no value: -32768)
//   the floor of s
// Clamping before the floor gives what the floor then the clamp would: the
// floor of s is below -32768 exactly when s is, and above 32767 exactly when
// s is 32768 or more, whose floor after the clamp is 32767 too.
#include <cmath>

#include "platform/simd_level.h"
#include "strong_window/yc48_row.h"

void yc48_row_ref(const float* src, int n, float offset, float scale, short* dst) {
  for (int i = 0; i < n; ++i) {
    float s = (src[i] - offset) * 4096.0f / scale + 0.5f;
    s = !(s >= -32768.0f) ? -32768.0f : s > 32767.0f ? 32767.0f : s;
    dst[i] = short(int(std::floor(s)));
  }
}

yc48_kernel_table yc48_kernels = {yc48_row_ref};

void yc48_select_kernels(int level) {
  yc48_kernels.yc48_row = level >= simd_sse2 ? yc48_row_sse2 : yc48_row_ref;
}
