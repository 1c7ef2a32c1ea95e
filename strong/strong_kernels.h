// The strong filter's kernel table: scalar versions until
// strong_select_kernels fills in the SIMD ones the level allows. Written only
// there, at set-up (the command line calls it after the processor check); the
// filter only reads it.
#pragma once

#include "strong/block_cost.h"
#include "strong/block_energy.h"
#include "strong/convert.h"
#include "strong/dct8.h"
#include "strong/interpolate.h"
#include "strong/noise_bins.h"
#include "strong/spatial_pass.h"
#include "strong/weighted_mean.h"

struct strong_kernel_table {
  // Pictures in and out.
  u8_to_float_fn u8_to_float;
  float_to_u8_fn float_to_u8;
  // Motion search.
  block_ssd16_fn ssd16;
  block_sad8_fn sad8;
  block_sad4_fn sad4;
  block_sad4_row_fn sad4_row;
  // Compensation.
  interp_rows_fn interp_rows;
  interp_columns_fn interp_columns;
  // Temporal mean.
  block_diff_sums_fn diff_sums;
  accumulate_fn accumulate;
  block_start_fn block_start;
  block_finish_row_fn block_finish_row;
  cell_shares_fn cell_shares;
  // Spatial pass.
  column_sums_fn column_sums;
  lee_row_fn lee_row;
  // Block transform pass.
  dct8_2d_fn dct8_forward;
  dct8_2d_fn dct8_inverse;
  aggregate8_fn aggregate8;
  shrink_threshold_fn shrink_threshold;
  shrink_wiener_fn shrink_wiener;
  shrink_threshold_shaped_fn shrink_threshold_shaped;
  shrink_wiener_shaped_fn shrink_wiener_shaped;
  // Noise estimate.
  block_energies_fn block_energies;
  difference_bins_fn difference_bins;
};

extern strong_kernel_table strong_kernels;

// Fills the table for a kernel level (platform/simd_level.h). Level 0:
// scalar; 1 (SSE2) and above: the SSE2 versions; 3 (AVX2): the AVX2 16x16
// cost, row of 4x4 costs, interpolation, accumulation of the temporal mean,
// the spatial pass's rows, block energies, difference bins, 2-D transforms
// and aggregation.
void strong_select_kernels(int level);
