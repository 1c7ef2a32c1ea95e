// SSE2 one-level synthesis: the steps of synthesize_level_simd.h over
// four-lane vectors, four output pairs per step.
#include <emmintrin.h>

#include "temporal/synthesize_level.h"

namespace {

struct vec_sse2 {
  static constexpr int lanes = 4;
  typedef __m128 reg;
  static reg loadu(const float* p) { return _mm_loadu_ps(p); }
  static reg set1(float c) { return _mm_set1_ps(c); }
  static reg add(reg a, reg b) { return _mm_add_ps(a, b); }
  static reg mul(reg a, reg b) { return _mm_mul_ps(a, b); }
  static void store_pairs(float* out, reg even, reg odd) {
    _mm_storeu_ps(out, _mm_unpacklo_ps(even, odd));
    _mm_storeu_ps(out + 4, _mm_unpackhi_ps(even, odd));
  }
};

#include "temporal/synthesize_level_simd.h"

}  // namespace

void synthesize_level_sse2(const float* a, const float* b, int n, float* out) {
  synthesize_steps<vec_sse2>(a, b, n, out);
}
