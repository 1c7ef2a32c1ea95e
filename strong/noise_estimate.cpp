// Noise estimation from the fine detail of the flattest blocks, by two masks.
//
// The grid mask is the 3x3 [1 -2 1; -2 4 -2; 1 -2 1] (the product of two
// second differences): it ignores every plane and every quadratic along a row
// or a column, so smooth shading adds almost nothing; for white noise of
// deviation s its mean square is 36 s^2. It looks across rows, so it sees the
// vertical detail of the picture at the picture's own row spacing: in a field
// picture (every second row of a frame) smooth shading varies twice as fast
// from row to row and its mixed fourth derivative reads sixteen times the
// energy.
//
// The row mask is the eighth difference [1 -8 28 -56 70 -56 28 -8 1] along a
// row (noise gain 12870): it ignores every polynomial of degree 7 along the row
// and all vertical detail, so the row spacing (and the combing of woven fields)
// does not matter to it; it sees more of fine horizontal texture.
//
// Texture and edges only ever add energy, so of the two readings the lower one
// is the closer to the noise.
#include <algorithm>
#include <cmath>

#include "strong/noise_estimate.h"

namespace {

constexpr int block = 32;

// The 2nd percentile of a flat noisy block's energy, as a fraction of the
// noise variance, per mask (the masks' responses overlap, so these are
// measured on simulated noise rather than taken from a chi-square law).
constexpr double grid_fraction = 0.82695;
constexpr double row_fraction = 0.8179;

float sigma_at_percentile(std::vector<float>* energies, double fraction) {
  const size_t at = energies->size() / 50;
  std::nth_element(energies->begin(), energies->begin() + at, energies->end());
  return float(std::sqrt((*energies)[at] / fraction));
}

}  // namespace

void noise_block_energies(const float* plane, int pitch, int width, int height,
                          noise_energies* energies) {
  for (int by = 0; by + block <= height; by += block) {
    for (int bx = 0; bx + block <= width; bx += block) {
      bool clipped = false;
      for (int y = by; y < by + block && !clipped; ++y) {
        const float* row = plane + size_t(y) * pitch;
        for (int x = bx; x < bx + block; ++x) clipped = clipped || row[x] <= 0.0f || row[x] >= 255.0f;
      }
      if (clipped) continue;
      double grid = 0;
      for (int y = by + 1; y < by + block - 1; ++y) {
        const float* a = plane + size_t(y - 1) * pitch;
        const float* b = a + pitch;
        const float* c = b + pitch;
        for (int x = bx + 1; x < bx + block - 1; ++x) {
          const double r = (double(a[x - 1]) - 2.0 * a[x] + a[x + 1]) -
                           2.0 * (double(b[x - 1]) - 2.0 * b[x] + b[x + 1]) +
                           (double(c[x - 1]) - 2.0 * c[x] + c[x + 1]);
          grid += r * r;
        }
      }
      double rows = 0;
      for (int y = by; y < by + block; ++y) {
        const float* a = plane + size_t(y) * pitch;
        for (int x = bx + 4; x < bx + block - 4; ++x) {
          const double r = ((double(a[x - 4]) + a[x + 4]) - 8.0 * (double(a[x - 3]) + a[x + 3])) +
                           (28.0 * (double(a[x - 2]) + a[x + 2]) -
                            56.0 * (double(a[x - 1]) + a[x + 1])) +
                           70.0 * a[x];
          rows += r * r;
        }
      }
      energies->grid.push_back(float(grid / (double((block - 2) * (block - 2)) * 36.0)));
      energies->rows.push_back(float(rows / (double(block * (block - 8)) * 12870.0)));
    }
  }
}

float noise_sigma_from_energies(noise_energies* energies) {
  if (energies->grid.empty()) return 0.0f;
  return std::min(sigma_at_percentile(&energies->grid, grid_fraction),
                  sigma_at_percentile(&energies->rows, row_fraction));
}
