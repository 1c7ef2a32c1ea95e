// The current frame's window in the ring and the per-neighbour thresholds.
#include "temporal/temporal_fit.h"

void build_window_slots(window_slots* ws, int32_t frame, int32_t radius, const uint8_t* missing) {
  ws->n = 2 * radius + 1;
  ws->radius = radius;
  ws->frame = frame;
  for (int i = 0; i < 9; ++i) {
    ws->slot[i] = 0;
    ws->missing[i] = 0;
  }
  for (int t = -radius; t <= radius; ++t) {
    // The driver stores frame m in slot m mod n; positions before frame 0
    // (reflected at the clip start) wrap to the top slots the same way.
    int s = (frame + t) % ws->n;
    if (s < 0) s += ws->n;
    ws->slot[t + radius] = s;
    ws->missing[t + radius] = (missing != nullptr && missing[t + radius] != 0) ? 1 : 0;
  }
}

void store_fit_threshold(float* cell, float thr, const window_slots* ws) {
  const int r = ws->radius;
  for (int j = 0; j < 2 * r; ++j) {
    const int t = j < r ? j - r : j - r + 1;
    const float v = ws->missing[t + r] ? 0.0f : thr;
    for (int k = 0; k < 4; ++k) cell[j * 4 + k] = v;
  }
}
