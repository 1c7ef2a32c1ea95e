// The strong filter's kernel table.
#include "strong/strong.h"

strong_kernel_table strong_kernels = {
    block_ssd16_ref, block_sad8_ref,    block_sad4_ref, block_sad4_row_ref, interp_rows_ref,
    interp_columns_ref, block_sq_diff_ref, accumulate_ref, column_sums_ref,    lee_row_ref};

void strong_select_kernels(int level) {
  if (level >= 1)
    strong_kernels = {block_ssd16_sse2,   block_sad8_sse2,    block_sad4_sse2,
                      block_sad4_row_sse2, interp_rows_sse2,  interp_columns_sse2,
                      block_sq_diff_sse2, accumulate_sse2,    column_sums_sse2,
                      lee_row_sse2};
  else
    strong_kernels = {block_ssd16_ref,   block_sad8_ref,    block_sad4_ref, block_sad4_row_ref,
                      interp_rows_ref,   interp_columns_ref, block_sq_diff_ref, accumulate_ref,
                      column_sums_ref,   lee_row_ref};
  if (level >= 3) {
    strong_kernels.ssd16 = block_ssd16_avx2;
    strong_kernels.sad4_row = block_sad4_row_avx2;
  }
}
