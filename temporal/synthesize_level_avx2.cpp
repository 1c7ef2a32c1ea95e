// AVX2 one-level synthesis: the steps of synthesize_level_simd.h over
// eight-lane vectors, eight output pairs per step. Only the coefficient
// tables come from the shared header: every function here is local, so no
// AVX2 code can stand in for an inline function of another file.
#include <immintrin.h>

#include "temporal/synthesize_level.h"

namespace {

struct vec_avx2 {
  static constexpr int lanes = 8;
  typedef __m256 reg;
  static reg loadu(const float* p) { return _mm256_loadu_ps(p); }
  static reg set1(float c) { return _mm256_set1_ps(c); }
  static reg add(reg a, reg b) { return _mm256_add_ps(a, b); }
  static reg mul(reg a, reg b) { return _mm256_mul_ps(a, b); }
  static void store_pairs(float* out, reg even, reg odd) {
    // (e0 o0 e1 o1 | e4 o4 e5 o5) and (e2 o2 e3 o3 | e6 o6 e7 o7)
    const reg lo = _mm256_unpacklo_ps(even, odd);
    const reg hi = _mm256_unpackhi_ps(even, odd);
    _mm256_storeu_ps(out, _mm256_permute2f128_ps(lo, hi, 0x20));
    _mm256_storeu_ps(out + 8, _mm256_permute2f128_ps(lo, hi, 0x31));
  }
};

#include "temporal/synthesize_level_simd.h"

}  // namespace

void synthesize_level_avx2(const float* a, const float* b, int n, float* out) {
  synthesize_steps<vec_avx2>(a, b, n, out);
}
