// The shape of blurred noise over the block transform's coefficients.
//
// The estimate reads noise that is not white by its coarse level: four times
// the deviation of its 4x4 cells' means, which equals the deviation for white
// noise and grows as a blur makes neighbouring samples alike (about 2.33
// times it for a 3x3 box). The model here is white noise blurred by the
// separable kernel [a 1 a] (a = 0: white; a = 1: the 3x3 box), whose samples
// one and two apart along a row or a column correlate by
//   r1 = 2a / (1 + 2a^2),   r2 = a^2 / (1 + 2a^2),
// and whose coarse level over its deviation is (4 + 6 r1 + 4 r2) / 4, that is
// 1 + m with m = (3a + a^2) / (1 + 2a^2). That rises from 0 to its largest,
// about 1.34, at a = 0.893; a ratio beyond it takes that kernel.
//
// A coefficient of the orthonormal 8x8 DCT carries the variance
// V(u) V(v) sigma^2, V(u) the u-th diagonal entry of C R C^T, R the 8x8
// matrix of the correlations along one side: most of the noise in the low
// coefficients (for the 3x3 box V runs from 2.7 down to 0.1), the same 64
// sigma^2 in all of them as white noise has.
#include <algorithm>
#include <cmath>

#include "strong/strong_internal.h"

namespace {

// The largest m of the family and the kernel that gives it.
constexpr double largest_m = 1.3396;

// The kernel's a for m (the smaller root of (2m - 1) a^2 - 3a + m = 0, in the
// form that stays finite at m = 1/2).
double kernel_of(double m) {
  const double d = std::max(9.0 - 4.0 * m * (2.0 * m - 1.0), 0.0);
  return 2.0 * m / (3.0 + std::sqrt(d));
}

}  // namespace

noise_blur noise_blur_for(float ratio) {
  const double m = std::min(std::max(double(ratio) - 1.0, 0.0), largest_m);
  const double a = kernel_of(m), norm = 1.0 + 2.0 * a * a;
  noise_blur b;
  b.r1 = 2.0 * a / norm;
  b.r2 = a * a / norm;
  return b;
}

void dct8_noise_shape_for(float ratio, dct8_noise_shape* shape) {
  const noise_blur b = noise_blur_for(ratio);
  const float r[3] = {1.0f, float(b.r1), float(b.r2)};
  alignas(16) float correlation[64], transformed[64];
  for (int i = 0; i < 8; ++i)
    for (int j = 0; j < 8; ++j) {
      const int d = i > j ? i - j : j - i;
      correlation[i * 8 + j] = d < 3 ? r[d] : 0.0f;
    }
  // R is symmetric: the forward transform's C R^T C^T is C R C^T.
  dct8_forward_ref(correlation, 8, transformed);
  for (int u = 0; u < 8; ++u)
    for (int v = 0; v < 8; ++v) {
      const float var = transformed[u * 9] * transformed[v * 9];
      const float dev = std::sqrt(var);
      shape->var[u * 8 + v] = var;
      shape->dev[u * 8 + v] = dev;
      shape->inv_dev[u * 8 + v] = 1.0f / dev;
    }
}
