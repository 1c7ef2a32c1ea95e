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
#include <cstring>

#include "analysis/analysis_kernels.h"
#include "analysis/detail_shrink.h"
#include "analysis/spatial_stage.h"
#include "host/settings.h"

size_t analysis_scratch_floats(int canvas_w, int canvas_h) {
  const size_t columns = (size_t)(32 + 16 + 8) * canvas_h;
  const size_t rows = (size_t)3 * 8 * canvas_w;
  return columns > rows ? columns : rows;
}

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
                     float* b_line) {
  const size_t f = sizeof(float);
  std::memcpy(a_line, even, f * (n / 8));
  std::memcpy(a_line + n / 8, odd + n / 8, f * (n / 8));
  std::memcpy(a_line + n / 4, even + n / 4, f * (n / 4));
  std::memcpy(a_line + n / 2, odd + n / 2, f * (n / 2));
  std::memcpy(b_line, hb, f * n);
}

void store_band_lines(const float* even, const float* odd, const float* hb, int n, float* a_line,
                      float* b_line, ptrdiff_t line_stride) {
  const int lanes = analysis_kernels.column_lanes;
  ring_store_cols_fn store = analysis_kernels.ring_store_cols;
  store(even, n / 8, a_line, line_stride);
  store(odd + lanes * (n / 8), n / 8, a_line + n / 8, line_stride);
  store(even + lanes * (n / 4), n / 4, a_line + n / 4, line_stride);
  store(odd + lanes * (n / 2), n / 2, a_line + n / 2, line_stride);
  store(hb, n, b_line, line_stride);
}
