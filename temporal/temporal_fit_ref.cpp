// Scalar temporal fit. Every SIMD variant follows this arithmetic exactly.
//
// The window's values of a position lie slot_stride floats apart, slot 0
// first (see temporal_fit.h).
//
// Per position, with v0 the current frame's value and t = -R..-1, 1..R:
//   neighbour t is included when |v_t - v0| < T_t (T_t = 0 for a missing frame)
//   K = number included, St = sum t, Stt = sum t*t,
//   Sv = v0 + sum v_t, Stv = sum t*v_t (each summed in the order of t above)
//   K = 0:  result v0 (bit for bit)
//   K > 0:  D = (K + 1) * Stt - St * St,  q = Sv * Stt - Stv * St,  result q / D
// q / D is the value at t = 0 of the least-squares line through (0, v0) and
// the included (t, v_t). D >= 1 whenever K > 0 (Cauchy-Schwarz on integers).
#include <cmath>
#include <cstddef>

#include "temporal/temporal_fit.h"

template <int R>
static void fit_ref(int count, const float* thr, float* dst, const float* at, int slot_stride,
                    const window_slots* ws) {
  const float* cur = at + static_cast<ptrdiff_t>(ws->slot[R]) * slot_stride;
  for (int i = 0; i < count; i += 4) {
    for (int k = 0; k < 4; ++k) {
      const float v0 = cur[i + k];
      float cnt = 0.0f, st = 0.0f, stt = 0.0f, sv = v0, stv = 0.0f;
      for (int j = 0; j < 2 * R; ++j) {
        const int t = j < R ? j - R : j - R + 1;
        const float vt = at[static_cast<ptrdiff_t>(ws->slot[t + R]) * slot_stride + i + k];
        if (std::fabs(vt - v0) < thr[j * 4 + k]) {
          const float tf = static_cast<float>(t);
          cnt = cnt + 1.0f;
          st = st + tf;
          stt = stt + tf * tf;
          sv = sv + vt;
          stv = stv + tf * vt;
        }
      }
      if (cnt == 0.0f) {
        dst[i + k] = v0;
      } else {
        const float d = (cnt + 1.0f) * stt - st * st;
        const float q = sv * stt - stv * st;
        dst[i + k] = q / d;
      }
    }
  }
}

void temporal_fit_w3_ref(int count, const float* thr, float* dst, const float* at, int slot_stride,
                         const window_slots* ws) {
  fit_ref<1>(count, thr, dst, at, slot_stride, ws);
}
void temporal_fit_w5_ref(int count, const float* thr, float* dst, const float* at, int slot_stride,
                         const window_slots* ws) {
  fit_ref<2>(count, thr, dst, at, slot_stride, ws);
}
void temporal_fit_w7_ref(int count, const float* thr, float* dst, const float* at, int slot_stride,
                         const window_slots* ws) {
  fit_ref<3>(count, thr, dst, at, slot_stride, ws);
}
void temporal_fit_w9_ref(int count, const float* thr, float* dst, const float* at, int slot_stride,
                         const window_slots* ws) {
  fit_ref<4>(count, thr, dst, at, slot_stride, ws);
}
