// Scalar D4 synthesis of a pair of picture rows. Each value of the row is an
// independent column of the periodic one-level transform:
//
//   rows of one column:  L[0] .. L[n-1] | Hi[0] .. Hi[n-1]   (n = rows / 2)
//   output rows 2i, 2i+1 from L[i], L[i-1], Hi[i], Hi[i-1];   L[-1] = L[n-1]
#include "temporal/d4_synthesize.h"

void d4_synthesize_rows_ref(const float* l, const float* lp, const float* h, const float* hp,
                            int count, int head, float* even, float* odd) {
  for (int k = 0; k < count; ++k) {
    if (head) {
      even[k] = ((d4_h0 * l[k] + d4_h2 * lp[k]) + d4_h3 * h[k]) + d4_h1 * hp[k];
      odd[k] = ((d4_h1 * l[k] + d4_h3 * lp[k]) - d4_h2 * h[k]) - d4_h0 * hp[k];
    } else {
      even[k] = ((d4_h0 * l[k] + d4_h3 * h[k]) + d4_h2 * lp[k]) + d4_h1 * hp[k];
      odd[k] = ((d4_h1 * l[k] - d4_h2 * h[k]) + d4_h3 * lp[k]) - d4_h0 * hp[k];
    }
  }
}
