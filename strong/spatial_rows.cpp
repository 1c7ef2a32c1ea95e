// The spatial pass after the temporal mean: a local Wiener (Lee) filter. Each
// sample moves toward the mean m of its 5x5 neighbourhood by the share of the
// neighbourhood's variance v that the noise left in it, n, explains:
// out = m + max(v - n, 0) / v x (x - m). Where the temporal mean gathered many
// matching neighbours n is small and the sample stays; where it found none
// (moving figures, clip ends) flat areas are smoothed and edges kept.
#include <algorithm>

#include "strong/strong_internal.h"
#include "strong/strong_kernels.h"

namespace {
constexpr int radius = 2;
}  // namespace

void spatial_rows(const float* t, const float* weight_sum, int w, int h, float variance,
                  float strength, int first, int end, float* scratch, float* out, int out_pitch) {
  if (!(strength > 0.0f) || !(variance > 0.0f)) {
    for (int y = first; y < end; ++y)
      std::copy(t + size_t(y) * w, t + size_t(y) * w + w, out + size_t(y) * out_pitch);
    return;
  }
  // Column sums of the 5 rows around y (rows and columns replicated at the
  // picture's edges), in a row padded by 2 on each side.
  float* sum_row = scratch;
  float* sq_row = scratch + w + 2 * radius;
  const float noise = strength * variance;
  for (int y = first; y < end; ++y) {
    const float* rows[5];
    for (int k = 0; k < 5; ++k)
      rows[k] = t + size_t(std::min(std::max(y + k - radius, 0), h - 1)) * w;
    strong_kernels.column_sums(rows, w, sum_row + radius, sq_row + radius);
    for (int k = 0; k < radius; ++k) {
      sum_row[k] = sum_row[radius];
      sq_row[k] = sq_row[radius];
      sum_row[radius + w + k] = sum_row[radius + w - 1];
      sq_row[radius + w + k] = sq_row[radius + w - 1];
    }
    strong_kernels.lee_row(sum_row, sq_row, t + size_t(y) * w, weight_sum + size_t(y) * w, w,
                           noise, out + size_t(y) * out_pitch);
  }
}
