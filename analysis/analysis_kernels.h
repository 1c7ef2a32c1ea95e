// The analysis kernel table: written only by analysis_select_kernels from the
// kernel level, at set-up; the stage calls every kernel through it. Until the
// first selection it holds the scalar four-lane versions.
#pragma once

#include "analysis/column_load.h"
#include "analysis/columns.h"
#include "analysis/ring_store.h"

struct analysis_kernel_table {
  // Four lanes up to level 2 (SSE2 from level 1), eight lanes (AVX2) at level 3.
  int column_lanes;
  load_block_fn load_block;
  rows_to_cols_fn rows_to_cols;
  band_split_cols_fn band_split_cols;
  keep_shrink_cols_fn keep_shrink_cols;
  synthesize_cols_fn synthesize_cols;
  low_merge_cols_fn low_merge_cols;
  store_block_rows_fn store_block_rows;
  store_fence_fn store_fence;
  ring_store_cols_fn ring_store_cols;
};

extern analysis_kernel_table analysis_kernels;
