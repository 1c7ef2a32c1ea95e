// The block energies, one block at a time. Every sum runs over its samples
// row by row, left to right, from zero.
#include <cstddef>

#include "strong/block_energy.h"

namespace {

constexpr int block = energy_block;

// Grid mask response energy of a w x h plane (pitch floats a row), over the
// inner samples: the sum of squares.
double grid_energy(const float* p, int pitch, int w, int h) {
  double sum = 0;
  for (int y = 1; y < h - 1; ++y) {
    const float* a = p + std::size_t(y - 1) * pitch;
    const float* b = a + pitch;
    const float* c = b + pitch;
    for (int x = 1; x < w - 1; ++x) {
      const double r = (double(a[x - 1]) - 2.0 * a[x] + a[x + 1]) -
                       2.0 * (double(b[x - 1]) - 2.0 * b[x] + b[x + 1]) +
                       (double(c[x - 1]) - 2.0 * c[x] + c[x + 1]);
      sum += r * r;
    }
  }
  return sum;
}

// Means of f x f cells of a block into cells (32 / f floats a row).
void cell_means(const float* p, int pitch, int f, float* cells) {
  const int n = block / f;
  for (int cy = 0; cy < n; ++cy)
    for (int cx = 0; cx < n; ++cx) {
      double sum = 0;
      for (int y = 0; y < f; ++y)
        for (int x = 0; x < f; ++x) sum += p[std::size_t(cy * f + y) * pitch + cx * f + x];
      cells[cy * n + cx] = float(sum / double(f * f));
    }
}

// The eighth difference [1 -8 28 -56 70 -56 28 -8 1] along each row, paired
// from the ends in.
double row_energy(const float* p, int pitch) {
  double sum = 0;
  for (int y = 0; y < block; ++y) {
    const float* a = p + std::size_t(y) * pitch;
    for (int x = 4; x < block - 4; ++x) {
      const double r = ((double(a[x - 4]) + a[x + 4]) - 8.0 * (double(a[x - 3]) + a[x + 3])) +
                       (28.0 * (double(a[x - 2]) + a[x + 2]) -
                        56.0 * (double(a[x - 1]) + a[x + 1])) +
                       70.0 * a[x];
      sum += r * r;
    }
  }
  return sum;
}

}  // namespace

void block_energies_ref(const float* plane, int pitch, int count, int spacing,
                        block_energy_sums* sums) {
  for (int i = 0; i < count; ++i) {
    const float* corner = plane + std::size_t(spacing) * i;
    float cells2[(block / 2) * (block / 2)], cells4[(block / 4) * (block / 4)];
    cell_means(corner, pitch, 2, cells2);
    cell_means(corner, pitch, 4, cells4);
    sums[i].grid = grid_energy(corner, pitch, block, block);
    sums[i].rows = row_energy(corner, pitch);
    sums[i].grid2 = grid_energy(cells2, block / 2, block / 2, block / 2);
    sums[i].grid4 = grid_energy(cells4, block / 4, block / 4, block / 4);
  }
}
