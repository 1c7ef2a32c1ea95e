// Shared pieces of the spatial analysis jobs (column pass and row pass).
#pragma once

#include <cstddef>

// Ring layout, for lines of n floats in a ring of k slots: line l of slot s
// is n consecutive floats from (l * k + s) * n, so the k slots' copies of a
// line lie one after the other and lines of one slot ring_line_stride apart.
inline float* ring_line(float* ring, int line, int n, int k, int slot) {
  return ring + ((ptrdiff_t)line * k + slot) * n;
}
inline ptrdiff_t ring_line_stride(int n, int k) { return (ptrdiff_t)n * k; }

// Shrinkage settings of one plane for levels 1 to 4.
struct shrink_params {
  const float* thr;    // shrink thresholds, index level - 1
  const float* limit;  // keep limits, index level - 1
  float floor;         // keep floor of the plane (a value of the call, never shared memory)
};

shrink_params luma_shrink_params();
shrink_params chroma_shrink_params();

// Each worker's scratch (stage_scratch, analysis_scratch_floats of it): room
// for a column block (32 columns), the Hb of its 16 luma columns and one more
// eight-lane column, or for three eight-lane group buffers of a canvas row.

// Splits the group buffer of n rows in `even` four levels deep, shrinking the
// details of every level: levels 1 and 3 write `odd`, levels 2 and 4 `even`,
// every level's Hb goes to `hb` rows [n/16, n).
void split_four_levels(float* even, float* odd, float* hb, int n, const shrink_params& sp);

// Stores the band line of a line of n values split four levels deep with
// alternating output lines: `even` holds the level-2 and level-4 outputs (L4,
// Ha4 at [0, n/8), Ha2 at [n/4, n/2)), `odd` the level-1 and level-3 outputs
// (Ha3 at [n/8, n/4), Ha1 at [n/2, n)), `hb` every level's Hb at [n/16, n) and
// zeros at [0, n/16). Part A goes to a_line, part B to b_line (the line in its
// slot of ring A and ring B).
void store_band_line(const float* even, const float* odd, const float* hb, int n, float* a_line,
                     float* b_line);
// The same for the lines of group buffers (the kernel table's lane count);
// lane c goes to the line c * line_stride after a_line and b_line.
void store_band_lines(const float* even, const float* odd, const float* hb, int n, float* a_line,
                      float* b_line, ptrdiff_t line_stride);
