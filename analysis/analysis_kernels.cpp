// The analysis kernel table and its choice from the kernel level.
#include "analysis/analysis_kernels.h"

#include "analysis/analysis.h"

analysis_kernel_table analysis_kernels = {
    band_split_ref,    low_merge_ref,     keep_mask_ref,       shrink_details_ref,
    band_split_x4_ref, low_merge_x4_ref,  synthesize_x4_ref,   keep_shrink_x4_ref,
    ring_store_line_ref, ring_store_x4_ref, ring_store_fence_ref};

void select_analysis_kernels(int level) {
  const bool sse2 = level >= 1;
  const bool sse3 = level >= 2;
  analysis_kernel_table& t = analysis_kernels;
  t.band_split = sse3 ? band_split_sse3 : band_split_ref;
  t.low_merge = sse2 ? low_merge_sse2 : low_merge_ref;
  t.keep_mask = sse2 ? keep_mask_sse2 : keep_mask_ref;
  t.shrink_details = sse2 ? shrink_details_sse2 : shrink_details_ref;
  t.band_split_x4 = sse2 ? band_split_x4_sse2 : band_split_x4_ref;
  t.low_merge_x4 = sse2 ? low_merge_x4_sse2 : low_merge_x4_ref;
  t.synthesize_x4 = sse2 ? synthesize_x4_sse2 : synthesize_x4_ref;
  t.keep_shrink_x4 = sse2 ? keep_shrink_x4_sse2 : keep_shrink_x4_ref;
  t.ring_store_line = sse2 ? ring_store_line_sse2 : ring_store_line_ref;
  t.ring_store_x4 = sse2 ? ring_store_x4_sse2 : ring_store_x4_ref;
  t.ring_store_fence = sse2 ? ring_store_fence_sse2 : ring_store_fence_ref;
}
