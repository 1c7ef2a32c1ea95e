// Row pass of the spatial analysis: every canvas row split and shrunk four
// levels deep, its band line stored in the luma rings.
#include <cstring>

#include "analysis/analysis.h"
#include "analysis/analysis_kernels.h"
#include "analysis/spatial_stage.h"
#include "driver/buffers.h"

namespace {

// Canvas rows [r_begin, r_end) in lane `lane`'s lines: 0 and 1 take the
// alternating split outputs (level 1 reads the canvas row itself), 2 the Hb
// line, 3 the keep mask.
void analyse_luma_rows(const analysis_params& ap, int lane, int r_begin, int r_end) {
  const int n = canvas_w;
  const int k = ring_n;
  float* const* lines = lane_lines[lane];
  float* even = lines[0];
  float* odd = lines[1];
  float* hb = lines[2];
  float* keep = lines[3];
  std::memset(hb, 0, sizeof(float) * (n / 16));  // part B's unused head
  const shrink_params sp = luma_shrink_params();
  const analysis_kernel_table& t = analysis_kernels;
  for (int r = r_begin; r < r_end; ++r) {
    const float* src = luma_canvas + (ptrdiff_t)r * n;
    float* dst = odd;
    for (int level = 0; level < 4; ++level) {
      const int len = n >> level;
      const int m = len / 2;
      t.band_split(len, src, dst, hb);
      t.keep_mask(dst + m, hb + m, m, sp.limit[level], sp.floor, keep + m);
      t.shrink_details(dst + m, hb + m, keep + m, m, sp.thr[level]);
      src = dst;
      dst = dst == odd ? even : odd;
    }
    store_band_line(even, odd, hb, n, ring_line(luma_ring_a, r, n, k, ap.slot),
                    ring_line(luma_ring_b, r, n, k, ap.slot), k);
  }
  t.ring_store_fence();
}

}  // namespace

// One thread: top half, then bottom half; two or more: thread 0 the top half,
// thread 1 the bottom half.
void spatial_rows_job(int thread_id, int thread_num, void* param1, void*) {
  const analysis_params& ap = *static_cast<const analysis_params*>(param1);
  const int half = canvas_h / 2;
  if (thread_num <= 1) {
    if (thread_id != 0) return;
    analyse_luma_rows(ap, 0, 0, half);
    analyse_luma_rows(ap, 1, half, canvas_h);
  } else if (thread_id < 2) {
    analyse_luma_rows(ap, thread_id, thread_id * half, (thread_id + 1) * half);
  }
}
