// The temporal stage: every coefficient of the current frame is fitted over
// the window, band by band, and the filtered bands of each line are
// synthesised back: luma into luma_canvas (still one vertical level deep),
// chroma into the finished 16-bit planes cb_out and cr_out.
//
// A band line of length N in ring A (L4 and the Ha bands) and ring B (the Hb
// bands), m_k = N / 2^k:
//
//   position   0      m4     m3     m2         m1             N
//   ring A     | L4   | Ha4  | Ha3  |   Ha2    |      Ha1      |
//   ring B     | ---- | Hb4  | Hb3  |   Hb2    |      Hb1      |
//
// Per line, with scratch lines X, Y, Z of the lane:
//   fit L4, Ha4 -> X;  fit Hb4 -> Y;  synthesise(X, Y, m4) -> Z[0, m3)  = L3
//   fit Ha3 -> Z;      fit Hb3 -> Y;  synthesise(Z, Y, m3) -> X[0, m2)  = L2
//   fit Ha2 -> X;      fit Hb2 -> Y;  synthesise(X, Y, m2) -> Z[0, m1)  = L1
//   level 1: luma copies the current frame's Ha1, Hb1 into Z, Y unfiltered;
//            chroma fits them; synthesise(Z, Y, m1) -> the line.
#include <cstring>

#include "driver/buffers.h"
#include "host/settings.h"
#include "temporal/synthesize_level.h"
#include "temporal/temporal.h"

namespace {

struct lane_setup {
  const float* ring_a;
  const float* ring_b;
  int len;  // N: canvas_w for luma lines, canvas_h for chroma lines
  float* x;
  float* y;
  float* z;
  float* cell;   // the lane's vector scratch: per-neighbour thresholds
  float thr[5];  // L4, then the detail bands of levels 4, 3, 2, 1
};

// Fits count positions of line j of a ring, starting at position first of the
// line, into dst[first, first + count).
inline void fit_band(const lane_setup& ls, const window_slots* ws, temporal_fit_fn fit,
                     const float* ring, int j, int first, int count, float* dst) {
  fit(count, ls.cell, dst + first, ring, j * ls.len + first, ws);
}

// Levels 4 to 2 of line j; leaves L1 in Z[0, m1) and Y holding Hb2 (Y's level-1
// half is free).
void synthesize_to_level1(const lane_setup& ls, const window_slots* ws, temporal_fit_fn fit,
                          int j) {
  const int m2 = ls.len / 4, m3 = ls.len / 8, m4 = ls.len / 16;

  store_fit_threshold(ls.cell, ls.thr[0], ws);
  fit_band(ls, ws, fit, ls.ring_a, j, 0, m4, ls.x);

  store_fit_threshold(ls.cell, ls.thr[1], ws);
  fit_band(ls, ws, fit, ls.ring_a, j, m4, m4, ls.x);
  fit_band(ls, ws, fit, ls.ring_b, j, m4, m4, ls.y);
  synthesize_level(ls.x, ls.y, m4, ls.z);

  store_fit_threshold(ls.cell, ls.thr[2], ws);
  fit_band(ls, ws, fit, ls.ring_a, j, m3, m3, ls.z);
  fit_band(ls, ws, fit, ls.ring_b, j, m3, m3, ls.y);
  synthesize_level(ls.z, ls.y, m3, ls.x);

  store_fit_threshold(ls.cell, ls.thr[3], ws);
  fit_band(ls, ws, fit, ls.ring_a, j, m2, m2, ls.x);
  fit_band(ls, ws, fit, ls.ring_b, j, m2, m2, ls.y);
  synthesize_level(ls.x, ls.y, m2, ls.z);
}

// Copies the current frame's positions [first, len) of line j out of the
// interleaved ring into dst[first, len).
void copy_current(const float* ring, const window_slots* ws, int len, int j, int first,
                  float* dst) {
  const long n = ws->n;
  const float* src =
      ring + ((static_cast<long>(j) * len + first) / 4 * n + ws->slot[ws->radius]) * 4;
  for (int p = first; p < len; p += 4, src += 4 * n) std::memcpy(dst + p, src, 4 * sizeof(float));
}

// Threads and lanes: [first, end) of the lanes run by thread i of T (T > 4
// behaves as 4; threads from the fifth on get an empty range).
const int lane_range[4][4][2] = {
    {{0, 4}, {0, 0}, {0, 0}, {0, 0}},
    {{0, 2}, {2, 4}, {0, 0}, {0, 0}},
    {{0, 2}, {2, 3}, {3, 4}, {0, 0}},
    {{0, 1}, {1, 2}, {2, 3}, {3, 4}},
};

}  // namespace

void temporal_luma_lines(const window_slots* ws, temporal_fit_fn fit, int half) {
  float* const* lines = lane_lines[half];
  lane_setup ls;
  ls.ring_a = luma_ring_a;
  ls.ring_b = luma_ring_b;
  ls.len = canvas_w;
  ls.x = lines[0];
  ls.y = lines[2];
  ls.z = lines[1];
  ls.cell = vec_scratch[half];
  ls.thr[0] = half == 0 ? thr3d_y_low_v : thr3d_y_low_h;
  ls.thr[1] = level4_threshold[0];
  ls.thr[2] = thr3d_y_high[2];
  ls.thr[3] = thr3d_y_high[1];
  ls.thr[4] = 0.0f;  // level 1 of luma is not filtered in time

  const int m1 = canvas_w / 2;
  const int first = half * (canvas_h / 2), end = first + canvas_h / 2;
  for (int j = first; j < end; ++j) {
    synthesize_to_level1(ls, ws, fit, j);
    copy_current(ls.ring_a, ws, ls.len, j, m1, ls.z);
    copy_current(ls.ring_b, ws, ls.len, j, m1, ls.y);
    synthesize_level(ls.z, ls.y, m1, luma_canvas + static_cast<long>(j) * canvas_w);
  }
}

void temporal_chroma_lines(const window_slots* ws, temporal_fit_fn fit, int plane) {
  const int lane = 2 + plane;
  float* const* lines = lane_lines[lane];
  lane_setup ls;
  ls.ring_a = plane == 0 ? cb_ring_a : cr_ring_a;
  ls.ring_b = plane == 0 ? cb_ring_b : cr_ring_b;
  ls.len = canvas_h;
  ls.x = lines[0];
  ls.y = lines[2];
  ls.z = lines[1];
  ls.cell = vec_scratch[lane];
  ls.thr[0] = thr3d_c_low;
  ls.thr[1] = level4_threshold[1];
  ls.thr[2] = thr3d_c_high[2];
  ls.thr[3] = thr3d_c_high[1];
  ls.thr[4] = thr3d_c_high[0];
  int16_t* out = plane == 0 ? cb_out : cr_out;

  const int m1 = canvas_h / 2;
  for (int j = 0; j < half_w; ++j) {
    synthesize_to_level1(ls, ws, fit, j);
    store_fit_threshold(ls.cell, ls.thr[4], ws);
    fit_band(ls, ws, fit, ls.ring_a, j, m1, m1, ls.z);
    fit_band(ls, ws, fit, ls.ring_b, j, m1, m1, ls.y);
    synthesize_level(ls.z, ls.y, m1, ls.x);
    temporal_kernels.row_to_int16(ls.x, canvas_h, out + static_cast<long>(j) * canvas_h);
  }
}

void temporal_job(int thread_id, int thread_num, void* /*fp*/, void* fpip) {
  const int t = thread_num < 1 ? 1 : (thread_num > 4 ? 4 : thread_num);
  if (thread_id < 0 || thread_id >= t) return;
  const int first = lane_range[t - 1][thread_id][0];
  const int end = lane_range[t - 1][thread_id][1];
  if (first == end) return;

  window_slots ws;
  build_window_slots(&ws, static_cast<const FILTER_PROC_INFO*>(fpip)->frame, frame_radius,
                     window_missing);
  const temporal_fit_fn fit = temporal_kernels.fit[frame_radius - 1];
  for (int lane = first; lane < end; ++lane) {
    if (lane < 2)
      temporal_luma_lines(&ws, fit, lane);
    else
      temporal_chroma_lines(&ws, fit, lane - 2);
  }
}
