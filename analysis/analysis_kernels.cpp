// The analysis kernel table and its choice from the kernel level.
#include "analysis/analysis_kernels.h"

#include "analysis/analysis.h"
#include "host/cpu.h"

analysis_kernel_table analysis_kernels = {
    4,                       load_block_x4_ref,  rows_to_cols_x4_ref, band_split_x4_ref,
    keep_shrink_x4_ref,      synthesize_x4_ref,  low_merge_x4_ref,    store_block_rows_x4_ref,
    store_fence_ref,         ring_store_x4_ref};

void select_analysis_kernels(int level) {
  analysis_kernel_table& t = analysis_kernels;
  t.store_fence = level >= simd_sse2 ? store_fence_sse2 : store_fence_ref;
  if (level >= simd_avx2) {
    t.column_lanes = 8;
    t.load_block = load_block_x8_avx2;
    t.rows_to_cols = rows_to_cols_x8_avx2;
    t.band_split_cols = band_split_x8_avx2;
    t.keep_shrink_cols = keep_shrink_x8_avx2;
    t.synthesize_cols = synthesize_x8_avx2;
    t.low_merge_cols = low_merge_x8_avx2;
    t.store_block_rows = store_block_rows_x8_avx2;
    t.ring_store_cols = ring_store_x8_avx2;
    return;
  }
  const bool sse2 = level >= simd_sse2;
  t.column_lanes = 4;
  t.load_block = sse2 ? load_block_x4_sse2 : load_block_x4_ref;
  t.rows_to_cols = sse2 ? rows_to_cols_x4_sse2 : rows_to_cols_x4_ref;
  t.band_split_cols = sse2 ? band_split_x4_sse2 : band_split_x4_ref;
  t.keep_shrink_cols = sse2 ? keep_shrink_x4_sse2 : keep_shrink_x4_ref;
  t.synthesize_cols = sse2 ? synthesize_x4_sse2 : synthesize_x4_ref;
  t.low_merge_cols = sse2 ? low_merge_x4_sse2 : low_merge_x4_ref;
  t.store_block_rows = sse2 ? store_block_rows_x4_sse2 : store_block_rows_x4_ref;
  t.ring_store_cols = sse2 ? ring_store_x4_sse2 : ring_store_x4_ref;
}
