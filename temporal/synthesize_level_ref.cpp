// Scalar one-level synthesis. For every i (band indices modulo n):
//
//   out[2i]   = sum_o le[o] L[i+o] + sum_o he[o] Ha[i+o] + h1 Hb[i-1] + h3 Hb[i]
//   out[2i+1] = sum_o lo[o] L[i+o] + sum_o ho[o] Ha[i+o] - h0 Hb[i-1] - h2 Hb[i]
//
// with o = -2..2 and le/lo/he/ho the folded tables of synthesize_level.h; the
// order of the additions is that of synthesize_pair:
//
//   ((((p-2 + p-1) + (p0 + p1)) + p2) + (((q-2 + q-1) + (q0 + q1)) + q2)) + (r1 + r2)
//
// The SIMD versions compute several pairs side by side, one pair per lane, in
// this very order.
#include "temporal/synthesize_level.h"

void synthesize_level_ref(const float* a, const float* b, int n, float* out) {
  const float* l = a;
  const float* ha = a + n;
  const float* hb = b + n;
  for (int i = 0; i < n; ++i) {
    float lw[5];
    float hw[5];
    for (int o = 0; o < 5; ++o) {
      int j = i + o - 2;
      if (j < 0) j += n;
      if (j >= n) j -= n;
      lw[o] = l[j];
      hw[o] = ha[j];
    }
    synthesize_pair(lw, hw, hb[i == 0 ? n - 1 : i - 1], hb[i], &out[2 * i], &out[2 * i + 1]);
  }
}
