// Shared pieces of the spatial analysis jobs (column pass and row pass).
#pragma once

#include <cstddef>

// Ring line layout, for lines of n floats in a ring of k slots: the first group
// of line l of slot s, and the strides between groups and between lines.
inline float* ring_line(float* ring, int line, int n, int k, int slot) {
  return ring + (ptrdiff_t)line * n * k + 4 * slot;
}
inline ptrdiff_t ring_group_stride(int k) { return 4 * (ptrdiff_t)k; }
inline ptrdiff_t ring_line_stride(int n, int k) { return (ptrdiff_t)n * k; }

// Shrinkage settings of one plane for levels 1 to 4.
struct shrink_params {
  const float* thr;    // shrink thresholds, index level - 1
  const float* limit;  // keep limits, index level - 1
  float floor;         // keep floor of the plane (a value of the call, never shared memory)
};

shrink_params luma_shrink_params();
shrink_params chroma_shrink_params();

// Longest column the four-column scratch holds (the tallest canvas).
constexpr int max_column_rows = 1152;

// Stores the band line of a line of n values split four levels deep with
// alternating output lines: `even` holds the level-2 and level-4 outputs (L4,
// Ha4 at [0, n/8), Ha2 at [n/4, n/2)), `odd` the level-1 and level-3 outputs
// (Ha3 at [n/8, n/4), Ha1 at [n/2, n)), `hb` every level's Hb at [n/16, n) and
// zeros at [0, n/16). Part A goes to ring_a, part B to ring_b, at the first
// groups a_line, b_line of the line in its slot.
void store_band_line(const float* even, const float* odd, const float* hb, int n, float* a_line,
                     float* b_line, int k);
// The same for four lines held in four-line buffers; lane c goes to the line
// c * line_stride after a_line and b_line.
void store_band_lines_x4(const float* even, const float* odd, const float* hb, int n,
                         float* a_line, float* b_line, int k);
