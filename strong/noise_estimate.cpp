// Noise estimation from the second-order detail of the flattest blocks.
//
// The detail is the response to the 3x3 mask [1 -2 1; -2 4 -2; 1 -2 1] (the
// product of two second differences), which ignores every plane and every
// quadratic along a row or a column, so smooth shading adds almost nothing;
// for white noise of deviation s its mean square is 36 s^2.
#include <algorithm>
#include <cmath>

#include "strong/strong.h"

namespace {
constexpr int block = 32;
}  // namespace

void noise_block_energies(const float* plane, int pitch, int width, int height,
                          std::vector<float>* energies) {
  for (int by = 0; by + block <= height; by += block) {
    for (int bx = 0; bx + block <= width; bx += block) {
      double sum = 0;
      bool clipped = false;
      for (int y = by; y < by + block && !clipped; ++y) {
        const float* row = plane + size_t(y) * pitch;
        for (int x = bx; x < bx + block; ++x) clipped = clipped || row[x] <= 0.0f || row[x] >= 255.0f;
      }
      if (clipped) continue;
      for (int y = by + 1; y < by + block - 1; ++y) {
        const float* a = plane + size_t(y - 1) * pitch;
        const float* b = a + pitch;
        const float* c = b + pitch;
        for (int x = bx + 1; x < bx + block - 1; ++x) {
          const double r = (double(a[x - 1]) - 2.0 * a[x] + a[x + 1]) -
                           2.0 * (double(b[x - 1]) - 2.0 * b[x] + b[x + 1]) +
                           (double(c[x - 1]) - 2.0 * c[x] + c[x + 1]);
          sum += r * r;
        }
      }
      energies->push_back(float(sum / (double((block - 2) * (block - 2)) * 36.0)));
    }
  }
}

float noise_sigma_from_energies(std::vector<float>* energies) {
  if (energies->empty()) return 0.0f;
  // The 2nd percentile of a flat noisy block's energy, as a fraction of the
  // noise variance (the mask's responses overlap, so this is measured on
  // simulated noise rather than taken from a chi-square law).
  const double fraction = 0.82695;
  const size_t at = energies->size() / 50;
  std::nth_element(energies->begin(), energies->begin() + at, energies->end());
  return float(std::sqrt((*energies)[at] / fraction));
}
