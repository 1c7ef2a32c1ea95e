// The analysis kernel table: filled once by select_analysis_kernels from the
// kernel level (host/cpu.h); the stage calls every kernel through it. Until the
// first selection it holds the scalar versions.
#pragma once

#include "analysis/band_split.h"
#include "analysis/columns_x4.h"
#include "analysis/detail_shrink.h"
#include "analysis/ring_store.h"

struct analysis_kernel_table {
  band_split_fn band_split;          // SSE3 from level 2
  low_merge_fn low_merge;            // SSE2 from level 1
  keep_mask_fn keep_mask;            // SSE2 from level 1
  shrink_details_fn shrink_details;  // SSE2 from level 1
  band_split_x4_fn band_split_x4;    // SSE2 from level 1
  low_merge_x4_fn low_merge_x4;      // SSE2 from level 1
  synthesize_x4_fn synthesize_x4;    // SSE2 from level 1
  keep_shrink_x4_fn keep_shrink_x4;  // SSE2 from level 1
  ring_store_line_fn ring_store_line;    // SSE2 (streaming) from level 1
  ring_store_x4_fn ring_store_x4;        // SSE2 (streaming) from level 1
  ring_store_fence_fn ring_store_fence;  // SSE2 from level 1
};

extern analysis_kernel_table analysis_kernels;
