// Row pass of the spatial analysis: every canvas row split and shrunk four
// levels deep, its band line stored in the luma rings. Rows go through the
// column-group kernels 4 or 8 at a time (one row per lane), transposed out of
// the canvas into the group buffer first.
#include <cstring>

#include "analysis/analysis.h"
#include "analysis/analysis_kernels.h"
#include "analysis/spatial_stage.h"
#include "frame/buffers.h"
#include "frame/stage_params.h"
#include "frame/stage_share.h"

// The row groups (lanes rows each) are shared out in contiguous runs
// (stage_share); every group costs the same and writes whole ring lines.
bool spatial_rows_split(int canvas_h, int lanes, int thread_id, int thread_num, int* first,
                        int* end) {
  const int min_groups = (spatial_rows_min_rows + lanes - 1) / lanes;
  return stage_share(canvas_h / lanes, min_groups, thread_id, thread_num, first, end);
}

void spatial_rows_job(int thread_id, int thread_num, void* param1, void*) {
  const analysis_params& ap = *static_cast<const analysis_params*>(param1);
  if (canvas_h > max_canvas_h || canvas_w > max_canvas_w || !worker_scratch_base) return;
  const analysis_kernel_table& t = analysis_kernels;
  const int lanes = t.column_lanes;
  const int n = canvas_w;
  const int k = ring_n;
  int first = 0;
  int end = 0;
  if (!spatial_rows_split(canvas_h, lanes, thread_id, thread_num, &first, &end)) return;
  float* even = stage_scratch(thread_id);
  float* odd = even + (size_t)lanes * n;
  float* hb = odd + (size_t)lanes * n;
  std::memset(hb, 0, sizeof(float) * lanes * (n / 16));  // part B's unused head
  const shrink_params sp = luma_shrink_params();
  for (int group = first; group < end; ++group) {
    const int r = group * lanes;
    t.rows_to_cols(luma_canvas + (ptrdiff_t)r * n, n, n, even);
    split_four_levels(even, odd, hb, n, sp);
    store_band_lines(even, odd, hb, n, ring_line(luma_ring_a, r, n, k, ap.slot),
                     ring_line(luma_ring_b, r, n, k, ap.slot), ring_line_stride(n, k));
  }
  t.store_fence();
}
