// The strong filter's kernel table and its choice from the kernel level.
#include "strong/strong_kernels.h"

#include "platform/simd_level.h"

namespace {
// Named, not by position: two of the cost kernels share a signature.
constexpr strong_kernel_table scalar_kernels = [] {
  strong_kernel_table t{};
  t.u8_to_float = u8_to_float_ref;
  t.float_to_u8 = float_to_u8_ref;
  t.ssd16 = block_ssd16_ref;
  t.sad8 = block_sad8_ref;
  t.sad4 = block_sad4_ref;
  t.sad4_row = block_sad4_row_ref;
  t.interp_rows = interp_rows_ref;
  t.interp_columns = interp_columns_ref;
  t.diff_sums = block_diff_sums_ref;
  t.accumulate = accumulate_ref;
  t.block_start = block_start_ref;
  t.block_finish_row = block_finish_row_ref;
  t.cell_shares = cell_shares_ref;
  t.column_sums = column_sums_ref;
  t.lee_row = lee_row_ref;
  t.dct8_forward = dct8_forward_ref;
  t.dct8_inverse = dct8_inverse_ref;
  t.aggregate8 = aggregate8_ref;
  t.shrink_threshold = shrink_threshold_ref;
  t.shrink_wiener = shrink_wiener_ref;
  t.shrink_threshold_shaped = shrink_threshold_shaped_ref;
  t.shrink_wiener_shaped = shrink_wiener_shaped_ref;
  t.block_energies = block_energies_ref;
  t.difference_bins = difference_bins_ref;
  return t;
}();
}  // namespace

strong_kernel_table strong_kernels = scalar_kernels;

void strong_select_kernels(int level) {
  strong_kernel_table t = scalar_kernels;
  if (level >= simd_sse2) {
    t.u8_to_float = u8_to_float_sse2;
    t.float_to_u8 = float_to_u8_sse2;
    t.ssd16 = block_ssd16_sse2;
    t.sad8 = block_sad8_sse2;
    t.sad4 = block_sad4_sse2;
    t.sad4_row = block_sad4_row_sse2;
    t.interp_rows = interp_rows_sse2;
    t.interp_columns = interp_columns_sse2;
    t.diff_sums = block_diff_sums_sse2;
    t.accumulate = accumulate_sse2;
    t.block_start = block_start_sse2;
    t.block_finish_row = block_finish_row_sse2;
    t.cell_shares = cell_shares_sse2;
    t.column_sums = column_sums_sse2;
    t.lee_row = lee_row_sse2;
    t.dct8_forward = dct8_forward_sse2;
    t.dct8_inverse = dct8_inverse_sse2;
    t.aggregate8 = aggregate8_sse2;
    t.shrink_threshold = shrink_threshold_sse2;
    t.shrink_wiener = shrink_wiener_sse2;
    t.shrink_threshold_shaped = shrink_threshold_shaped_sse2;
    t.shrink_wiener_shaped = shrink_wiener_shaped_sse2;
    t.block_energies = block_energies_sse2;
    t.difference_bins = difference_bins_sse2;
  }
  if (level >= simd_avx2) {
    t.interp_rows = interp_rows_avx2;
    t.interp_columns = interp_columns_avx2;
    t.accumulate = accumulate_avx2;
    t.column_sums = column_sums_avx2;
    t.lee_row = lee_row_avx2;
    t.ssd16 = block_ssd16_avx2;
    t.sad4_row = block_sad4_row_avx2;
    t.block_energies = block_energies_avx2;
    t.difference_bins = difference_bins_avx2;
    t.dct8_forward = dct8_forward_avx2;
    t.dct8_inverse = dct8_inverse_avx2;
    t.aggregate8 = aggregate8_avx2;
  }
  strong_kernels = t;
}
