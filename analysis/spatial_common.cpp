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
#include "driver/buffers.h"
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
  const ptrdiff_t bs = ring_block_stride(k);
  ring_store_line_fn store = analysis_kernels.ring_store_line;
  auto at = [&](float* line, int j) { return ring_position(line, j, k); };
  store(even, n / 8, a_line, bs, 0);
  store(odd + n / 8, n / 8, at(a_line, n / 8), bs, ring_phase(n / 8));
  store(even + n / 4, n / 4, at(a_line, n / 4), bs, ring_phase(n / 4));
  store(odd + n / 2, n / 2, at(a_line, n / 2), bs, ring_phase(n / 2));
  store(hb, n, b_line, bs, 0);
}

void store_band_lines(const float* even, const float* odd, const float* hb, int n,
                      float* a_line, float* b_line, int k) {
  const ptrdiff_t bs = ring_block_stride(k);
  const ptrdiff_t ls = ring_line_stride(n, k);
  const int lanes = analysis_kernels.column_lanes;
  ring_store_cols_fn store = analysis_kernels.ring_store_cols;
  auto at = [&](float* line, int j) { return ring_position(line, j, k); };
  store(even, n / 8, a_line, ls, bs, 0);
  store(odd + lanes * (n / 8), n / 8, at(a_line, n / 8), ls, bs, ring_phase(n / 8));
  store(even + lanes * (n / 4), n / 4, at(a_line, n / 4), ls, bs, ring_phase(n / 4));
  store(odd + lanes * (n / 2), n / 2, at(a_line, n / 2), ls, bs, ring_phase(n / 2));
  store(hb, n, b_line, ls, bs, 0);
}

void store_luma_band_lines(const float* even, const float* odd, const float* hb, int n, int line,
                           int k, int slot) {
  const ptrdiff_t bs = ring_block_stride(k);
  const ptrdiff_t ls = ring_line_stride(n, k);
  const int lanes = analysis_kernels.column_lanes;
  ring_store_cols_fn store = analysis_kernels.ring_store_cols;
  auto at = [&](float* line, int j) { return ring_position(line, j, k); };
  float* a_line = ring_line(luma_ring_a, line, n, k, slot);
  float* b_line = ring_line(luma_ring_b, line, n, k, slot);
  store(even, n / 8, a_line, ls, bs, 0);
  store(odd + lanes * (n / 8), n / 8, at(a_line, n / 8), ls, bs, ring_phase(n / 8));
  store(even + lanes * (n / 4), n / 4, at(a_line, n / 4), ls, bs, ring_phase(n / 4));
  store(hb, n / 2, b_line, ls, bs, 0);
  // Level 1: each line's half in one run (blocks of sixteen floats in a row).
  store(odd + lanes * (n / 2), n / 2, luma_level1_line(luma_ring_a, line, n, k, slot), ls, 16, 0);
  store(hb + lanes * (n / 2), n / 2, luma_level1_line(luma_ring_b, line, n, k, slot), ls, 16, 0);
}
