// Scalar three-band split. Band layout written by one level (m = n/2):
//
//   dst_a: [ L[0] .. L[m-1] | Ha[0] .. Ha[m-1] ]
//   dst_b: [ untouched      | Hb[0] .. Hb[m-1] ]
//
// For k = 0 .. m-1 (x indices mod n, so k = 0 starts at x[n-4]):
//   p_j = split_low[j] x[2k-4+j],  L[k] = (((p0+p1)+(p2+p3)) + ((p4+p5)+(p6+p7))) + (p8+p9)
//   Ha[k] likewise with split_high_a,
//   q_j = split_high_b[j] x[2k+j], Hb[k] = (q0+q1) + (q2+q3).
// Every product is rounded before it is added, and the sums are grouped as
// written (see split_window); the column-group kernels (columns.h) repeat this
// arithmetic lane by lane.
#include "analysis/band_split.h"
#include "analysis/line_math.h"

void band_split_ref(int n, const float* src, float* dst_a, float* dst_b) {
  const int m = n / 2;
  for (int k = 0; k < m; ++k) {
    float w[10];
    for (int j = 0; j < 10; ++j) {
      int idx = 2 * k - 4 + j;
      if (idx < 0) idx += n;
      if (idx >= n) idx -= n;
      w[j] = src[idx];
    }
    split_window(w, &dst_a[k], &dst_a[m + k], &dst_b[m + k]);
  }
}
