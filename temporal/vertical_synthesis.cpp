// Undoes the last vertical wavelet level of the luma canvas: every canvas
// column holds its approximation in rows [0, H/2) and its detail in rows
// [H/2, H) and becomes the picture column, in place.
#include "driver/buffers.h"
#include "temporal/temporal.h"

void vertical_synthesis_columns(int first, int end, float* column_buf, float* result_buf) {
  const int n = canvas_h / 2;
  const ptrdiff_t stride = canvas_w;
  int x = first;
  // Single columns up to a multiple of 4: gathered, synthesised, scattered.
  auto single = [&](int c) {
    for (int r = 0; r < canvas_h; ++r) column_buf[r] = luma_canvas[r * stride + c];
    temporal_kernels.d4_synthesize(column_buf, n, result_buf);
    for (int r = 0; r < canvas_h; ++r) luma_canvas[r * stride + c] = result_buf[r];
  };
  for (; x < end && (x & 3) != 0; ++x) single(x);
  // Four adjacent columns at once, one 16-byte load per canvas row; the two
  // buffers hold the copied detail rows.
  for (; x + 4 <= end; x += 4)
    temporal_kernels.d4_synthesize_columns4(luma_canvas + x, stride, n, column_buf, result_buf);
  for (; x < end; ++x) single(x);
}

void vertical_synthesis_job(int thread_id, int thread_num, void* /*fp*/, void* /*fpip*/) {
  const int t = thread_num < 1 ? 1 : (thread_num > 4 ? 4 : thread_num);
  if (thread_id < 0 || thread_id >= t) return;
  // Column ranges in whole 16-column groups (one cache line of a canvas row),
  // so that no two workers write the same line and every range runs four
  // columns at a time; each column's result does not depend on the range.
  const int groups = canvas_w / 16;
  const int first = groups * thread_id / t * 16;
  const int end = groups * (thread_id + 1) / t * 16;
  float* const* lines = lane_lines[thread_id];
  vertical_synthesis_columns(first, end, lines[0], lines[1]);
}
