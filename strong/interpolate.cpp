// Four-tap cubic (Catmull-Rom) interpolation at eighth-pixel positions.
#include <cmath>

#include "strong/strong_internal.h"

namespace {

struct cubic_taps {
  float w[8][4];
  float gain[8];
  cubic_taps() {
    for (int k = 0; k < 8; ++k) {
      const double t = k / 8.0, t2 = t * t, t3 = t2 * t;
      const double c[4] = {(-t3 + 2 * t2 - t) / 2, (3 * t3 - 5 * t2 + 2) / 2,
                           (-3 * t3 + 4 * t2 + t) / 2, (t3 - t2) / 2};
      double g = 0;
      for (int i = 0; i < 4; ++i) {
        w[k][i] = float(c[i]);
        g += c[i] * c[i];
      }
      gain[k] = float(g);
    }
  }
};
const cubic_taps taps;

}  // namespace

float interpolation_gain(int f) { return taps.gain[f & 7]; }

void interpolate_block(const float* plane, int pitch, int x, int y, int fx, int fy, int bw,
                       int bh, float* out) {
  float rows[19 * 16];  // bh + 3 rows of bw after the horizontal pass
  const float* hw = taps.w[fx];
  const float* vw = taps.w[fy];
  const int first = fy ? y - 1 : y;
  const int count = fy ? bh + 3 : bh;
  for (int r = 0; r < count; ++r) {
    const float* src = plane + size_t(first + r) * pitch + x;
    float* dst = rows + r * bw;
    if (fx == 0) {
      for (int i = 0; i < bw; ++i) dst[i] = src[i];
    } else {
      for (int i = 0; i < bw; ++i)
        dst[i] = (hw[0] * src[i - 1] + hw[1] * src[i]) + (hw[2] * src[i + 1] + hw[3] * src[i + 2]);
    }
  }
  if (fy == 0) {
    for (int i = 0; i < bw * bh; ++i) out[i] = rows[i];
    return;
  }
  for (int r = 0; r < bh; ++r) {
    const float* a = rows + r * bw;
    for (int i = 0; i < bw; ++i)
      out[r * bw + i] = (vw[0] * a[i] + vw[1] * a[i + bw]) + (vw[2] * a[i + 2 * bw] + vw[3] * a[i + 3 * bw]);
  }
}
