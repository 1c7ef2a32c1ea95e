// Scalar keep mask and shrinkage; the rules are in detail_shrink.h.
#include "analysis/detail_shrink.h"
#include "analysis/line_math.h"

void keep_mask_ref(const float* a, const float* b, int m, float limit, float floor, float* keep) {
  for (int j = 0; j < m; ++j) {
    int left = j == 0 ? 0 : j - 1;
    int right = j == m - 1 ? m - 1 : j + 1;
    float da = second_difference(a[left], a[j], a[right]);
    float db = second_difference(b[left], b[j], b[right]);
    keep[j] = keep_position(a[j], b[j], da, db, limit, floor) ? 1.0f : 0.0f;
  }
}

void shrink_details_ref(float* a, float* b, const float* keep, int m, float t) {
  if (t == 0.0f) t = shrink_zero_threshold;
  for (int j = 0; j < m; ++j) {
    if (keep[j] == 1.0f) continue;
    a[j] = shrink_value(a[j], t);
    b[j] = shrink_value(b[j], t);
  }
}
