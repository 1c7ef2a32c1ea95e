// The kernel table of the temporal subsystem: scalar versions until
// temporal_select_kernels fills in the SIMD ones the level allows. Written
// only there, at set-up; the stages only read it.
#pragma once

#include "temporal/d4_synthesize.h"
#include "temporal/pixel_pack.h"
#include "temporal/sample_convert.h"
#include "temporal/synthesize_level.h"
#include "temporal/temporal_fit.h"

struct temporal_kernel_table {
  temporal_fit_fn fit[4];  // windows of 3, 5, 7, 9 frames: index radius - 1
  synthesize_level_fn synthesize_level;
  d4_synthesize_rows_fn d4_synthesize_rows;
  row_to_int16_fn row_to_int16;
  pack_pixel_rows_fn pack_pixel_rows;
};

extern temporal_kernel_table temporal_kernels;

// Fills the table for a kernel level (platform/simd_level.h). Level 0:
// scalar; 1 (SSE2) and above: the SSE2 versions; 3 (AVX2): the AVX2 temporal
// fit and synthesis.
void temporal_select_kernels(int level);
