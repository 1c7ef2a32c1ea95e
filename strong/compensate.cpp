// Motion compensation: a block of a neighbour at an eighth-pixel position by
// four-tap cubic (Catmull-Rom) interpolation, the taps and their noise gain.
#include <cmath>

#include "strong/strong_internal.h"
#include "strong/strong_kernels.h"

namespace {

// Computed when compiling: code run at the plug-in's load, before the
// processor check, must hold no SSE instruction.
struct cubic_taps {
  float w[8][4] = {};
  float gain[8] = {};
  constexpr cubic_taps() {
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
constexpr cubic_taps taps;

}  // namespace

float interpolation_gain(int f) { return taps.gain[f & 7]; }

void interpolate_block(const float* plane, int pitch, int x, int y, int fx, int fy, int bw,
                       int bh, float* out) {
  float rows[19 * 16];  // bh + 3 rows of bw after the horizontal pass
  const int first = fy ? y - 1 : y;
  const int count = fy ? bh + 3 : bh;
  float* horizontal = fy ? rows : out;
  const float* src = plane + size_t(first) * pitch + x;
  // The next block along the row reads one more cache line a row, each row on
  // a page of its own: too many streams for the processor's own prefetcher.
  for (int r = 0; r < count; ++r) __builtin_prefetch(src + size_t(r) * pitch + 2 * bw + 2);
  if (fx == 0) {
    for (int r = 0; r < count; ++r)
      for (int i = 0; i < bw; ++i) horizontal[r * bw + i] = src[size_t(r) * pitch + i];
  } else {
    strong_kernels.interp_rows(src, pitch, count, bw, taps.w[fx], horizontal);
  }
  if (fy) strong_kernels.interp_columns(rows, bw, bh, taps.w[fy], out);
}
