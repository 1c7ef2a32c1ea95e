// Scalar D4 synthesis, for a contiguous line and for four canvas columns.
//
//   v:   | L[0] ... L[n-1] | Hi[0] ... Hi[n-1] |
//   out: | e0 o0 e1 o1 ... e(n-1) o(n-1) |       e_i = out[2i], o_i = out[2i+1]
//
// Output pair i reads L[i], L[i-1], Hi[i], Hi[i-1], with L[-1] = L[n-1] and
// Hi[-1] = Hi[n-1] (periodic line).
#include "temporal/d4_synthesize.h"

// Output pair i from its four inputs, in the addition order of that i.
static inline void pair_out(float l, float lp, float h, float hp, bool head, float* e, float* o) {
  if (head) {  // i = 0 and 1
    *e = ((d4_h0 * l + d4_h2 * lp) + d4_h3 * h) + d4_h1 * hp;
    *o = ((d4_h1 * l + d4_h3 * lp) - d4_h2 * h) - d4_h0 * hp;
  } else {
    *e = ((d4_h0 * l + d4_h3 * h) + d4_h2 * lp) + d4_h1 * hp;
    *o = ((d4_h1 * l - d4_h2 * h) + d4_h3 * lp) - d4_h0 * hp;
  }
}

void d4_synthesize_ref(const float* v, int n, float* out) {
  const float* l = v;
  const float* h = v + n;
  for (int i = 0; i < n; ++i) {
    const int p = i == 0 ? n - 1 : i - 1;
    pair_out(l[i], l[p], h[i], h[p], i < 2, &out[2 * i], &out[2 * i + 1]);
  }
}

// In place over the columns. Output pair i lands on rows 2i and 2i + 1, above
// which (rows > 2i + 1) only pairs already done were written, while it reads
// rows i and i - 1 (below 2i for i >= 1). Walking i downward therefore never
// reads an overwritten L row except L[n-1] for i = 0, kept aside first. The Hi
// half is overwritten early, so it is copied out beforehand:
//
//   hi_lo: Hi rows [0, n/2),  hi_hi: Hi rows [n/2, n),  4 floats per row.
void d4_synthesize_columns4_ref(float* col, ptrdiff_t stride, int n, float* hi_lo, float* hi_hi) {
  const int half = n / 2;
  for (int r = 0; r < n; ++r) {
    float* dst = r < half ? hi_lo + 4 * r : hi_hi + 4 * (r - half);
    for (int k = 0; k < 4; ++k) dst[k] = col[(n + r) * stride + k];
  }
  float l_last[4];
  for (int k = 0; k < 4; ++k) l_last[k] = col[(n - 1) * stride + k];

  for (int i = n - 1; i >= 0; --i) {
    const int p = i == 0 ? n - 1 : i - 1;
    const float* h = i < half ? hi_lo + 4 * i : hi_hi + 4 * (i - half);
    const float* hp = p < half ? hi_lo + 4 * p : hi_hi + 4 * (p - half);
    for (int k = 0; k < 4; ++k) {
      const float l = col[i * stride + k];
      const float lp = i == 0 ? l_last[k] : col[p * stride + k];
      float e, o;
      pair_out(l, lp, h[k], hp[k], i < 2, &e, &o);
      col[2 * i * stride + k] = e;
      col[(2 * i + 1) * stride + k] = o;
    }
  }
}
