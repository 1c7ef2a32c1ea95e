// The spatial pass's row kernels, scalar. A row of column sums holds, at x,
// the sum over the five rows around the output row; the output at x takes the
// five sums from x on, so the sum row is padded by two on each side:
//
//   sum:  | p p | s0 s1 ... s(w-1) | p p |      out[x] <- sum[x .. x+4]
//
// The SSE2 versions do the same operations in the same order, four columns at
// a time.
#include "strong/spatial_pass.h"

void column_sums_ref(const float* const rows[5], int w, float* sum, float* sq) {
  for (int x = 0; x < w; ++x) {
    float s = 0.0f, q = 0.0f;
    for (int k = 0; k < 5; ++k) {
      const float v = rows[k][x];
      s += v;
      q += v * v;
    }
    sum[x] = s;
    sq[x] = q;
  }
}

void lee_row_ref(const float* sum, const float* sq, const float* here, const float* weight, int w,
                 float noise, float* out) {
  const float inv_area = 1.0f / 25.0f;
  for (int x = 0; x < w; ++x) {
    float s = 0.0f, q = 0.0f;
    for (int k = 0; k < 5; ++k) {
      s += sum[x + k];
      q += sq[x + k];
    }
    const float m = s * inv_area;
    const float v = q * inv_area - m * m;
    const float left = noise / weight[x];
    const float gain = v > left ? (v - left) / v : 0.0f;
    out[x] = m + gain * (here[x] - m);
  }
}
