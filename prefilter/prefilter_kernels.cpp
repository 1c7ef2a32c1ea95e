// The pre-filter kernel table and its selection by kernel level.
#include "host/cpu.h"
#include "prefilter/prefilter.h"

prefilter_kernel_table prefilter_kernels = {block_nr_rows_ref, mosquito_nr_rows_ref};

void select_prefilter_kernels(int level) {
  prefilter_kernels.block_nr_rows = block_nr_rows_ref;
  prefilter_kernels.mosquito_nr_rows = mosquito_nr_rows_ref;
  if (level >= simd_sse2) {
    prefilter_kernels.block_nr_rows = block_nr_rows_sse2;
    prefilter_kernels.mosquito_nr_rows = mosquito_nr_rows_sse2;
  }
  if (level >= simd_avx2) {
    prefilter_kernels.block_nr_rows = block_nr_rows_avx2;
    prefilter_kernels.mosquito_nr_rows = mosquito_nr_rows_avx2;
  }
}
