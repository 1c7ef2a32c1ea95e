// Scalar four-column kernels: each lane is one line, computed with the same
// per-position arithmetic as the single-line kernels (line_math.h,
// synthesize_pair), reading the line's samples at a stride of four floats.
#include "analysis/columns_x4.h"
#include "analysis/line_math.h"
#include "temporal/synthesize_level.h"

namespace {

inline int wrap(int i, int n) { return i < 0 ? i + n : (i >= n ? i - n : i); }

}  // namespace

void band_split_x4_ref(int n, const float* src, float* dst_a, float* dst_b) {
  const int m = n / 2;
  for (int c = 0; c < 4; ++c) {
    for (int k = 0; k < m; ++k) {
      float w[10];
      for (int j = 0; j < 10; ++j) w[j] = src[4 * wrap(2 * k - 4 + j, n) + c];
      split_window(w, &dst_a[4 * k + c], &dst_a[4 * (m + k) + c], &dst_b[4 * (m + k) + c]);
    }
  }
}

void low_merge_x4_ref(const float* src, int m, float* dst) {
  for (int c = 0; c < 4; ++c) {
    for (int i = 0; i < m; ++i) {
      float lw[4];
      float hw[4];
      for (int o = 0; o < 4; ++o) {
        int j = wrap(i + o - 1, m);
        lw[o] = src[4 * j + c];
        hw[o] = src[4 * (m + j) + c];
      }
      dst[4 * i + c] = merge_window(lw, hw);
    }
  }
}

void synthesize_x4_ref(const float* a, const float* b, int n, float* out) {
  for (int c = 0; c < 4; ++c) {
    for (int i = 0; i < n; ++i) {
      float lw[5];
      float hw[5];
      for (int o = 0; o < 5; ++o) {
        int j = wrap(i + o - 2, n);
        lw[o] = a[4 * j + c];
        hw[o] = a[4 * (n + j) + c];
      }
      synthesize_pair(lw, hw, b[4 * (n + wrap(i - 1, n)) + c], b[4 * (n + i) + c],
                      &out[8 * i + c], &out[8 * i + 4 + c]);
    }
  }
}

// Works down each lane keeping the unshrunk previous values, so every keep flag
// sees the coefficients as the split left them.
void keep_shrink_x4_ref(float* a, float* b, int m, float limit, float floor, float t) {
  if (t == 0.0f) t = shrink_zero_threshold;
  for (int c = 0; c < 4; ++c) {
    float a_prev = a[c];
    float b_prev = b[c];
    for (int j = 0; j < m; ++j) {
      float a_here = a[4 * j + c];
      float b_here = b[4 * j + c];
      float a_next = j + 1 < m ? a[4 * (j + 1) + c] : a_here;
      float b_next = j + 1 < m ? b[4 * (j + 1) + c] : b_here;
      float da = second_difference(a_prev, a_here, a_next);
      float db = second_difference(b_prev, b_here, b_next);
      if (!keep_position(a_here, b_here, da, db, limit, floor)) {
        a[4 * j + c] = shrink_value(a_here, t);
        b[4 * j + c] = shrink_value(b_here, t);
      }
      a_prev = a_here;
      b_prev = b_here;
    }
  }
}
