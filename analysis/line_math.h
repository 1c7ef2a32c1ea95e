// The per-position arithmetic of the split, the merge and the shrinkage, shared
// by the scalar line kernels and the scalar four-column kernels so that both do
// the very same operations in the very same order.
#pragma once

#include <cmath>

#include "analysis/band_split.h"
#include "analysis/detail_shrink.h"

// Split position k from its window w[j] = x[2k-4+j], j = 0..9.
inline void split_window(const float* w, float* l, float* ha, float* hb) {
  float p[10];
  float q[10];
  for (int j = 0; j < 10; ++j) {
    p[j] = split_low[j] * w[j];
    q[j] = split_high_a[j] * w[j];
  }
  float r[4];
  for (int j = 0; j < 4; ++j) r[j] = split_high_b[j] * w[4 + j];
  *l = (((p[0] + p[1]) + (p[2] + p[3])) + ((p[4] + p[5]) + (p[6] + p[7]))) + (p[8] + p[9]);
  *ha = (((q[0] + q[1]) + (q[2] + q[3])) + ((q[4] + q[5]) + (q[6] + q[7]))) + (q[8] + q[9]);
  *hb = (r[0] + r[1]) + (r[2] + r[3]);
}

// Merge output i from l[o] = L[i-1+o], ha[o] = Ha[i-1+o], o = 0..3: the eight
// products added left to right to +0, L before Ha at each offset.
inline float merge_window(const float* l, const float* ha) {
  float acc = 0.0f;
  for (int o = 0; o < 4; ++o) {
    acc = acc + merge_low[o] * l[o];
    acc = acc + merge_high_a[o] * ha[o];
  }
  return acc;
}

inline float second_difference(float left, float here, float right) {
  return ((here + here) - left) - right;
}

// The keep rule of detail_shrink.h for one position.
inline bool keep_position(float a, float b, float da, float db, float limit, float floor) {
  return !(std::fabs(a) < limit) || !(std::fabs(b) < limit) || std::fabs(a) < floor ||
         std::fabs(b) < floor || !(std::fabs(da) < limit) || !(std::fabs(db) < limit);
}

// Shrinks one unprotected coefficient.
inline float shrink_value(float x, float t) { return std::fabs(x) <= t ? 0.0f : x; }
