// The pre-filter kernel table and its choice from the kernel level.
#include "platform/simd_level.h"
#include "prefilter/prefilter.h"

prefilter_kernel_table prefilter_kernels = {block_nr_rows_ref, mosquito_nr_rows_ref};

void prefilter_select_kernels(int level) {
  prefilter_kernel_table t = {block_nr_rows_ref, mosquito_nr_rows_ref};
  if (level >= simd_sse2) {
    t.block_nr_rows = block_nr_rows_sse2;
    t.mosquito_nr_rows = mosquito_nr_rows_sse2;
  }
  if (level >= simd_avx2) {
    t.block_nr_rows = block_nr_rows_avx2;
    t.mosquito_nr_rows = mosquito_nr_rows_avx2;
  }
  prefilter_kernels = t;
}
