// The temporal stage: every coefficient of the current frame is fitted over
// the window, band by band, and the filtered bands of each line are
// synthesised back: luma into luma_canvas, where the last vertical level is
// undone at once (picture rows 2p and 2p + 1 from canvas lines p and
// p + H/2 and the pair before), chroma into the finished 16-bit planes cb_out
// and cr_out.
//
// A band line of length N in ring A (L4 and the Ha bands) and ring B (the Hb
// bands), m_k = N / 2^k:
//
//   position   0      m4     m3     m2         m1             N
//   ring A     | L4   | Ha4  | Ha3  |   Ha2    |      Ha1      |
//   ring B     | ---- | Hb4  | Hb3  |   Hb2    |      Hb1      |
//
// Each ring line is read once, front to back, and its fitted bands land in
// the worker's scratch lines X, Y, Z where the syntheses want them:
//
//   ring A:  L4, Ha4 -> X[0, m3)   Ha3 -> Z[m3, m2)   Ha2 -> X[m2, m1)   Ha1 -> Z[m1, N)
//   ring B:  Hb4 .. Hb1 -> Y[m4, N)
//   synthesise(X, Y, m4) -> Z[0, m3) = L3     synthesise(Z, Y, m3) -> X[0, m2) = L2
//   synthesise(X, Y, m2) -> Z[0, m1) = L1     synthesise(Z, Y, m1) -> the line
//
// Each synthesis writes only below the band that the next one reads next to
// it. Luma level 1 is not filtered in time: the current frame's Ha1 and Hb1
// are copied out of the ring instead.
//
// Only what the output conversion reads is rebuilt: the canvas rows of the
// picture (and the pair before each run of them) and the chroma lines of the
// picture's pixel pairs; margin rows and lines are never shown.
//
// Work split: the luma line pairs (in the runs the output reads, taken as one
// list) and the chroma lines (a Cb and a Cr line each) are shared out in
// contiguous runs (stage_share), so every worker has the same share of every
// kind of work whatever the radius; a worker's first pair costs one more
// pair, the pair before it. The driver runs the
// stage whole (temporal_job) or in its two halves: the chroma lines beside
// the last frame's row pass, then the luma pairs (temporal_luma_job).
#include <cstring>
#include <utility>

#include "frame/buffers.h"
#include "frame/stage_share.h"
#include "host/settings.h"
#include "temporal/synthesize_level.h"
#include "temporal/temporal.h"

namespace {

// The threshold cells of a worker: per neighbour four copies (store_fit_threshold).
enum {
  cell_luma_l4_low,   // L4 of the vertical-low canvas lines
  cell_luma_l4_high,  // L4 of the vertical-high canvas lines
  cell_luma_level4,
  cell_luma_level3,
  cell_luma_level2,
  cell_chroma_l4,
  cell_chroma_level4,
  cell_chroma_level3,
  cell_chroma_level2,
  cell_chroma_level1,
  cell_count
};

// One worker's scratch (stage_scratch): band lines X, Y, Z; the canvas lines
// of the current and the previous luma pair (vertical-low and vertical-high);
// the cells. Lines are `line` floats, the longer of a canvas row and column.
struct worker_scratch {
  float* x;
  float* y;
  float* z;
  float* pair[4];
  float* cell[cell_count];
};
constexpr int cell_floats = 32;

size_t scratch_line(int canvas_w, int canvas_h) {
  const int n = canvas_w > canvas_h ? canvas_w : canvas_h;
  return ((size_t)n + 15) & ~(size_t)15;
}

worker_scratch carve_scratch(int worker) {
  float* f = stage_scratch(worker);
  const size_t line = scratch_line(canvas_w, canvas_h);
  worker_scratch w;
  w.x = f;
  w.y = f + line;
  w.z = f + 2 * line;
  for (int i = 0; i < 4; ++i) w.pair[i] = f + (3 + i) * line;
  for (int c = 0; c < cell_count; ++c) w.cell[c] = f + 7 * line + c * cell_floats;
  return w;
}

// A plane's rings and the cells of its bands: L4, levels 4, 3, 2 and 1 (null:
// level 1 copied unfiltered).
struct plane_setup {
  const float* ring_a;
  const float* ring_b;
  int len;
  const float* cell[5];
};

// Copies the current frame's level-1 half of line j (starting at `line`, the
// line's copy in slot 0) into dst[0, len/2).
void copy_current_level1(const float* line, const window_slots* ws, int len, float* dst) {
  std::memcpy(dst, line + static_cast<ptrdiff_t>(ws->slot[ws->radius]) * len + len / 2,
              sizeof(float) * (len / 2));
}

// Fits line j's bands and synthesises levels 4 to 2: leaves L1 in Z[0, m1),
// Ha1 in Z[m1, N) and Hb1 in Y[m1, N), ready for the last synthesis.
void line_to_level1(const plane_setup& ps, const window_slots* ws, temporal_fit_fn fit,
                    worker_scratch& w, int j) {
  const int m1 = ps.len / 2, m2 = ps.len / 4, m3 = ps.len / 8, m4 = ps.len / 16;
  const int n = ps.len;
  const float* a = ps.ring_a + static_cast<ptrdiff_t>(j) * ws->n * n;
  const float* b = ps.ring_b + static_cast<ptrdiff_t>(j) * ws->n * n;
  // Level 1: fitted, or (luma) the current frame's values.
  auto level1 = [&](const float* line, float* dst) {
    if (ps.cell[4])
      fit(m1, ps.cell[4], dst, line + m1, n, ws);
    else
      copy_current_level1(line, ws, n, dst);
  };
  fit(m4, ps.cell[0], w.x, a, n, ws);
  fit(m4, ps.cell[1], w.x + m4, a + m4, n, ws);
  fit(m3, ps.cell[2], w.z + m3, a + m3, n, ws);
  fit(m2, ps.cell[3], w.x + m2, a + m2, n, ws);
  level1(a, w.z + m1);
  fit(m4, ps.cell[1], w.y + m4, b + m4, n, ws);
  fit(m3, ps.cell[2], w.y + m3, b + m3, n, ws);
  fit(m2, ps.cell[3], w.y + m2, b + m2, n, ws);
  level1(b, w.y + m1);
  temporal_kernels.synthesize_level(w.x, w.y, m4, w.z);
  temporal_kernels.synthesize_level(w.z, w.y, m3, w.x);
  temporal_kernels.synthesize_level(w.x, w.y, m2, w.z);
}

// Canvas line j (one vertical level deep) into dst.
void luma_line(const plane_setup& ps, const window_slots* ws, temporal_fit_fn fit,
               worker_scratch& w, int j, float* dst) {
  line_to_level1(ps, ws, fit, w, j);
  temporal_kernels.synthesize_level(w.z, w.y, ps.len / 2, dst);
}

void fill_cells(worker_scratch& w, const window_slots* ws) {
  const float thr[cell_count] = {
      thr3d_y_low_v, thr3d_y_low_h,       level4_threshold[0], thr3d_y_high[2], thr3d_y_high[1],
      thr3d_c_low,   level4_threshold[1], thr3d_c_high[2],     thr3d_c_high[1], thr3d_c_high[0]};
  for (int c = 0; c < cell_count; ++c) store_fit_threshold(w.cell[c], thr[c], ws);
}

}  // namespace

size_t temporal_scratch_floats(int canvas_w, int canvas_h) {
  return 7 * scratch_line(canvas_w, canvas_h) + cell_count * cell_floats;
}

void temporal_luma_pairs(const window_slots* ws, temporal_fit_fn fit, int first, int end,
                         int worker) {
  if (first >= end) return;
  worker_scratch w = carve_scratch(worker);
  fill_cells(w, ws);
  plane_setup low = {luma_ring_a,
                     luma_ring_b,
                     canvas_w,
                     {w.cell[cell_luma_l4_low], w.cell[cell_luma_level4], w.cell[cell_luma_level3],
                      w.cell[cell_luma_level2], nullptr}};
  plane_setup high = low;
  high.cell[0] = w.cell[cell_luma_l4_high];

  const int half = canvas_h / 2;
  float* prev_low = w.pair[0];
  float* prev_high = w.pair[1];
  float* cur_low = w.pair[2];
  float* cur_high = w.pair[3];
  // Pair p needs pair p - 1 (pair 0: the last pair, the transform is periodic).
  const int before = (first + half - 1) % half;
  luma_line(low, ws, fit, w, before, prev_low);
  luma_line(high, ws, fit, w, before + half, prev_high);
  for (int p = first; p < end; ++p) {
    luma_line(low, ws, fit, w, p, cur_low);
    luma_line(high, ws, fit, w, p + half, cur_high);
    float* even = luma_canvas + static_cast<long>(2 * p) * canvas_w;
    temporal_kernels.d4_synthesize_rows(cur_low, prev_low, cur_high, prev_high, canvas_w, p < 2,
                                        even, even + canvas_w);
    std::swap(prev_low, cur_low);
    std::swap(prev_high, cur_high);
  }
}

void temporal_chroma_lines(const window_slots* ws, temporal_fit_fn fit, int plane, int first,
                           int end, int worker) {
  if (first >= end) return;
  worker_scratch w = carve_scratch(worker);
  fill_cells(w, ws);
  const plane_setup ps = {
      plane == 0 ? cb_ring_a : cr_ring_a,
      plane == 0 ? cb_ring_b : cr_ring_b,
      canvas_h,
      {w.cell[cell_chroma_l4], w.cell[cell_chroma_level4], w.cell[cell_chroma_level3],
       w.cell[cell_chroma_level2], w.cell[cell_chroma_level1]}};
  int16_t* out = plane == 0 ? cb_out : cr_out;
  for (int j = first; j < end; ++j) {
    line_to_level1(ps, ws, fit, w, j);
    temporal_kernels.synthesize_level(w.z, w.y, canvas_h / 2, w.x);
    temporal_kernels.row_to_int16(w.x, canvas_h, out + static_cast<long>(j) * canvas_h);
  }
}

namespace {

// A worker's view of the stage: the window and its fit.
struct stage_view {
  window_slots ws;
  temporal_fit_fn fit;
};

void stage_setup(const FILTER_PROC_INFO* fpip, stage_view* v) {
  build_window_slots(&v->ws, fpip->frame, frame_radius, window_missing);
  v->fit = temporal_kernels.fit[frame_radius - 1];
}

// Only with the scratch there and no canvas larger than the largest.
bool scratch_ready() {
  return worker_scratch_base && canvas_w <= max_canvas_w && canvas_h <= max_canvas_h;
}

}  // namespace

bool temporal_luma_split(int h, int thread_id, int thread_num, int* first, int* end) {
  return stage_share(h / 2, temporal_luma_min_pairs, thread_id, thread_num, first, end);
}

bool temporal_chroma_split(int w, int thread_id, int thread_num, int* first, int* end) {
  return stage_share(w / 2, temporal_chroma_min_lines, thread_id, thread_num, first, end);
}

int temporal_luma_runs(int h, uint8_t field, int run_first[2], int run_end[2]) {
  int runs = 0;
  for (int part = 0; part < 2; ++part) {
    const int first = output_canvas_row(part, h, field) / 2;
    if (runs > 0 && run_end[runs - 1] == first) {
      run_end[runs - 1] += h / 4;
    } else {
      run_first[runs] = first, run_end[runs] = first + h / 4;
      ++runs;
    }
  }
  return runs;
}

void temporal_luma_share(int thread_id, int thread_num, const FILTER_PROC_INFO* fpip) {
  int from = 0, to = 0;  // within the runs
  if (!scratch_ready() || !temporal_luma_split(fpip->h, thread_id, thread_num, &from, &to)) return;
  stage_view v;
  stage_setup(fpip, &v);
  int run_first[2], run_end[2];
  const int runs = temporal_luma_runs(fpip->h, field_mode, run_first, run_end);
  for (int k = 0; k < runs; ++k) {
    const int len = run_end[k] - run_first[k];
    const int first = from < len ? from : len, end = to < len ? to : len;
    if (first < end)
      temporal_luma_pairs(&v.ws, v.fit, run_first[k] + first, run_first[k] + end, thread_id);
    from -= len, to -= len;
    if (from < 0) from = 0;
    if (to < 0) to = 0;
  }
}

void temporal_chroma_share(int thread_id, int thread_num, const FILTER_PROC_INFO* fpip) {
  int first = 0, end = 0;
  if (!scratch_ready() || !temporal_chroma_split(fpip->w, thread_id, thread_num, &first, &end))
    return;
  stage_view v;
  stage_setup(fpip, &v);
  // The lines of the picture's pixel pairs.
  const int line0 = (canvas_w - fpip->w) / 4;
  temporal_chroma_lines(&v.ws, v.fit, 0, line0 + first, line0 + end, thread_id);
  temporal_chroma_lines(&v.ws, v.fit, 1, line0 + first, line0 + end, thread_id);
}

void temporal_job(int thread_id, int thread_num, void* /*fp*/, void* fpip_v) {
  const FILTER_PROC_INFO* fpip = static_cast<const FILTER_PROC_INFO*>(fpip_v);
  temporal_luma_share(thread_id, thread_num, fpip);
  temporal_chroma_share(thread_id, thread_num, fpip);
}

void temporal_luma_job(int thread_id, int thread_num, void* /*fp*/, void* fpip_v) {
  temporal_luma_share(thread_id, thread_num, static_cast<const FILTER_PROC_INFO*>(fpip_v));
}
