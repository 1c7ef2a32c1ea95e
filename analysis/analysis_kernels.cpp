// The analysis kernel table and its choice from the kernel level.
#include "analysis/analysis_kernels.h"

#include "analysis/analysis.h"
#include "platform/simd_level.h"

namespace {
constexpr analysis_kernel_table scalar_kernels = {
    4,                       load_block_x4_ref,  rows_to_cols_x4_ref, band_split_x4_ref,
    keep_shrink_x4_ref,      synthesize_x4_ref,  low_merge_x4_ref,    store_block_rows_x4_ref,
    store_fence_ref,         ring_store_x4_ref};
}

analysis_kernel_table analysis_kernels = scalar_kernels;

void analysis_select_kernels(int level) {
  analysis_kernel_table t = scalar_kernels;
  if (level >= simd_sse2) {
    t.load_block = load_block_x4_sse2;
    t.rows_to_cols = rows_to_cols_x4_sse2;
    t.band_split_cols = band_split_x4_sse2;
    t.keep_shrink_cols = keep_shrink_x4_sse2;
    t.synthesize_cols = synthesize_x4_sse2;
    t.low_merge_cols = low_merge_x4_sse2;
    t.store_block_rows = store_block_rows_x4_sse2;
    t.store_fence = store_fence_sse2;
    t.ring_store_cols = ring_store_x4_sse2;
  }
  if (level >= simd_avx2) {  // eight lanes; the fence stays the SSE2 one
    t.column_lanes = 8;
    t.load_block = load_block_x8_avx2;
    t.rows_to_cols = rows_to_cols_x8_avx2;
    t.band_split_cols = band_split_x8_avx2;
    t.keep_shrink_cols = keep_shrink_x8_avx2;
    t.synthesize_cols = synthesize_x8_avx2;
    t.low_merge_cols = low_merge_x8_avx2;
    t.store_block_rows = store_block_rows_x8_avx2;
    t.ring_store_cols = ring_store_x8_avx2;
  }
  analysis_kernels = t;
}
