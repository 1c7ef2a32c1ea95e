// The interpolation passes, scalar: four taps along a row, then down the
// columns, each sum paired as (t0 a + t1 b) + (t2 c + t3 d). The SSE2 versions
// do the same operations in the same order, four columns at a time.
#include "strong/interpolate.h"

void interp_rows_ref(const float* src, int pitch, int rows, int bw, const float taps[4],
                     float* dst) {
  for (int r = 0; r < rows; ++r, src += pitch, dst += bw)
    for (int i = 0; i < bw; ++i)
      dst[i] = (taps[0] * src[i - 1] + taps[1] * src[i]) + (taps[2] * src[i + 1] + taps[3] * src[i + 2]);
}

void interp_columns_ref(const float* src, int bw, int bh, const float taps[4], float* out) {
  for (int r = 0; r < bh; ++r, src += bw, out += bw)
    for (int i = 0; i < bw; ++i)
      out[i] = (taps[0] * src[i] + taps[1] * src[i + bw]) +
               (taps[2] * src[i + 2 * bw] + taps[3] * src[i + 3 * bw]);
}
