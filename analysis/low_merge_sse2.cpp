// SSE2 low merge: four outputs per step, one aligned store. Same arithmetic as
// low_merge_ref.cpp.
#include <emmintrin.h>

#include "analysis/band_split.h"

namespace {

// Outputs i0..i0+3 from L[i0-1 .. i0+5] at l and Ha[i0-1 .. i0+5] at ha.
inline __m128 merge_four(const float* l, const float* ha) {
  __m128 acc = _mm_setzero_ps();
  for (int o = 0; o < 4; ++o) {
    acc = _mm_add_ps(acc, _mm_mul_ps(_mm_loadu_ps(l + o), _mm_set1_ps(merge_low[o])));
    acc = _mm_add_ps(acc, _mm_mul_ps(_mm_loadu_ps(ha + o), _mm_set1_ps(merge_high_a[o])));
  }
  return acc;
}

}  // namespace

void low_merge_sse2(const float* src, int m, float* dst) {
  const float* l = src;
  const float* ha = src + m;
  alignas(16) float lw[8];
  alignas(16) float hw[8];
  // Outputs 0..3 take L[m-1], Ha[m-1] on their left.
  lw[0] = l[m - 1];
  hw[0] = ha[m - 1];
  for (int j = 0; j < 6; ++j) {
    lw[1 + j] = l[j];
    hw[1 + j] = ha[j];
  }
  _mm_store_ps(dst, merge_four(lw, hw));
  for (int i = 4; i < m - 4; i += 4) _mm_store_ps(dst + i, merge_four(l + i - 1, ha + i - 1));
  // Outputs m-4..m-1 take L[0], L[1], Ha[0], Ha[1] on their right.
  for (int j = 0; j < 5; ++j) {
    lw[j] = l[m - 5 + j];
    hw[j] = ha[m - 5 + j];
  }
  lw[5] = l[0];
  lw[6] = l[1];
  hw[5] = ha[0];
  hw[6] = ha[1];
  _mm_store_ps(dst + m - 4, merge_four(lw, hw));
}
