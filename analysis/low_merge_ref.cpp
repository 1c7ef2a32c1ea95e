// Scalar low merge: the transpose of the (L, Ha) half of the split. With L and Ha
// each periodic on its own m samples:
//
//   dst[i] = 0 + u[-1] L[i-1] + v[-1] Ha[i-1] + u[0] L[i] + v[0] Ha[i]
//              + u[1] L[i+1] + v[1] Ha[i+1] + u[2] L[i+2] + v[2] Ha[i+2]
//
// added left to right, each product rounded first. The sum starts from +0, so
// an all -0 input gives +0, as in the SSE2 version.
#include "analysis/band_split.h"
#include "analysis/line_math.h"

void low_merge_ref(const float* src, int m, float* dst) {
  const float* l = src;
  const float* ha = src + m;
  for (int i = 0; i < m; ++i) {
    float lw[4];
    float hw[4];
    for (int o = 0; o < 4; ++o) {
      int j = i + o - 1;
      if (j < 0) j += m;
      if (j >= m) j -= m;
      lw[o] = l[j];
      hw[o] = ha[j];
    }
    dst[i] = merge_window(lw, hw);
  }
}
