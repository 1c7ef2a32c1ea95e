// The temporal kernel table and its choice from the kernel level.
#include "temporal/temporal_kernels.h"

#include "platform/simd_level.h"

namespace {
constexpr temporal_kernel_table scalar_kernels = {
    {temporal_fit_w3_ref, temporal_fit_w5_ref, temporal_fit_w7_ref, temporal_fit_w9_ref},
    synthesize_level_ref,
    d4_synthesize_rows_ref,
    row_to_int16_ref,
    pack_pixel_rows_ref,
};
}

temporal_kernel_table temporal_kernels = scalar_kernels;

void temporal_select_kernels(int level) {
  temporal_kernel_table t = scalar_kernels;
  if (level >= simd_sse2) {
    t.fit[0] = temporal_fit_w3_sse2;
    t.fit[1] = temporal_fit_w5_sse2;
    t.fit[2] = temporal_fit_w7_sse2;
    t.fit[3] = temporal_fit_w9_sse2;
    t.synthesize_level = synthesize_level_sse2;
    t.d4_synthesize_rows = d4_synthesize_rows_sse2;
    t.row_to_int16 = row_to_int16_sse2;
    t.pack_pixel_rows = pack_pixel_rows_sse2;
  }
  if (level >= simd_avx2) {
    t.fit[0] = temporal_fit_w3_avx2;
    t.fit[1] = temporal_fit_w5_avx2;
    t.fit[2] = temporal_fit_w7_avx2;
    t.fit[3] = temporal_fit_w9_avx2;
    t.synthesize_level = synthesize_level_avx2;
  }
  temporal_kernels = t;
}
