#include "temporal/temporal_kernels.h"

#include "host/cpu.h"

temporal_kernel_table temporal_kernels = {
    {temporal_fit_w3_ref, temporal_fit_w5_ref, temporal_fit_w7_ref, temporal_fit_w9_ref},
    d4_synthesize_ref,
    d4_synthesize_columns4_ref,
    row_to_int16_ref,
};

void select_temporal_kernels(int level) {
  temporal_kernels.fit[0] = temporal_fit_w3_ref;
  temporal_kernels.fit[1] = temporal_fit_w5_ref;
  temporal_kernels.fit[2] = temporal_fit_w7_ref;
  temporal_kernels.fit[3] = temporal_fit_w9_ref;
  temporal_kernels.d4_synthesize = d4_synthesize_ref;
  temporal_kernels.d4_synthesize_columns4 = d4_synthesize_columns4_ref;
  temporal_kernels.row_to_int16 = row_to_int16_ref;
  if (level >= simd_sse2) {
    temporal_kernels.fit[0] = temporal_fit_w3_sse2;
    temporal_kernels.fit[1] = temporal_fit_w5_sse2;
    temporal_kernels.fit[2] = temporal_fit_w7_sse2;
    temporal_kernels.fit[3] = temporal_fit_w9_sse2;
    temporal_kernels.d4_synthesize = d4_synthesize_sse2;
    temporal_kernels.d4_synthesize_columns4 = d4_synthesize_columns4_sse2;
    temporal_kernels.row_to_int16 = row_to_int16_sse2;
  }
}
