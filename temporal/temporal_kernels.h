// The kernel table of the temporal subsystem: scalar versions until
// select_temporal_kernels fills in the SIMD ones the level allows.
#pragma once

#include "temporal/d4_synthesize.h"
#include "temporal/sample_convert.h"
#include "temporal/temporal_fit.h"

struct temporal_kernel_table {
  temporal_fit_fn fit[4];  // windows of 3, 5, 7, 9 frames: index radius - 1
  d4_synthesize_fn d4_synthesize;
  d4_synthesize_columns4_fn d4_synthesize_columns4;
  row_to_int16_fn row_to_int16;
};

extern temporal_kernel_table temporal_kernels;

// Level 0: scalar; 1 (SSE2) and above: the SSE2 versions.
void select_temporal_kernels(int level);
