// Plane shrink settings, worker scratch, the four-level split and the band-line
// stores shared by the analysis jobs.
//
// Band line of n values (part A to the _a ring, part B to the _b ring):
//
//   position  0      n/16    n/8     n/4     n/2      n
//   part A    | L4   | Ha4   | Ha3   | Ha2   | Ha1    |
//   part B    | 0    | Hb4   | Hb3   | Hb2   | Hb1    |
//
// After the four splits L4, Ha4 and Ha2 sit in the line that received levels 2
// and 4, Ha3 and Ha1 in the line that received levels 1 and 3.
#include "analysis/analysis_kernels.h"
#include "analysis/detail_shrink.h"
#include "analysis/spatial_stage.h"
#include "host/settings.h"

namespace {

struct alignas(64) scratch_area {
  float f[worker_scratch_floats];
};
scratch_area scratch[max_workers];

}  // namespace

float* worker_scratch(int worker) { return scratch[worker].f; }

shrink_params luma_shrink_params() {
  return {thr2d_y, limit2d_y, anime_mode ? 0.0f : luma_keep_floor};
}

shrink_params chroma_shrink_params() { return {thr2d_c, limit2d_c, 0.0f}; }

void split_four_levels(float* even, float* odd, float* hb, int n, const shrink_params& sp) {
  const analysis_kernel_table& t = analysis_kernels;
  const int lanes = t.column_lanes;
  float* src = even;
  float* dst = odd;
  for (int level = 0; level < 4; ++level) {
    const int len = n >> level;
    const int m = len / 2;
    t.band_split_cols(len, src, dst, hb);
    t.keep_shrink_cols(dst + lanes * m, hb + lanes * m, m, sp.limit[level], sp.floor,
                       sp.thr[level]);
    float* swap = src;
    src = dst;
    dst = swap;
  }
}

void store_band_line(const float* even, const float* odd, const float* hb, int n, float* a_line,
                     float* b_line, int k) {
  const ptrdiff_t gs = ring_group_stride(k);
  ring_store_line_fn store = analysis_kernels.ring_store_line;
  // Group j/4 of the line lies j * k floats after its first group.
  store(even, n / 8, a_line, gs);
  store(odd + n / 8, n / 8, a_line + (ptrdiff_t)(n / 8) * k, gs);
  store(even + n / 4, n / 4, a_line + (ptrdiff_t)(n / 4) * k, gs);
  store(odd + n / 2, n / 2, a_line + (ptrdiff_t)(n / 2) * k, gs);
  store(hb, n, b_line, gs);
}

void store_band_lines(const float* even, const float* odd, const float* hb, int n,
                      float* a_line, float* b_line, int k, float* level1_a, float* level1_b) {
  const ptrdiff_t gs = ring_group_stride(k);
  const ptrdiff_t ls = ring_line_stride(n, k);
  const int lanes = analysis_kernels.column_lanes;
  ring_store_cols_fn store = analysis_kernels.ring_store_cols;
  store(even, n / 8, a_line, ls, gs);
  store(odd + lanes * (n / 8), n / 8, a_line + (ptrdiff_t)(n / 8) * k, ls, gs);
  store(even + lanes * (n / 4), n / 4, a_line + (ptrdiff_t)(n / 4) * k, ls, gs);
  if (!level1_a) {
    store(odd + lanes * (n / 2), n / 2, a_line + (ptrdiff_t)(n / 2) * k, ls, gs);
    store(hb, n, b_line, ls, gs);
    return;
  }
  // Level 1 in its own runs: groups of four floats one after the other.
  store(hb, n / 2, b_line, ls, gs);
  store(odd + lanes * (n / 2), n / 2, level1_a, ls, 4);
  store(hb + lanes * (n / 2), n / 2, level1_b, ls, 4);
}
