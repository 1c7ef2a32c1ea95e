// AVX2 one-level synthesis: eight output pairs per step, computed as eight even
// and eight odd outputs side by side (each lane one pair, the same products
// and the same order of additions as synthesize_level_ref.cpp, no fused
// multiply-add), then interleaved into sixteen consecutive outputs. Steps
// whose taps wrap around the bands' ends gather their taps into a small window
// first; a band length that is not a multiple of 8 ends with a step that
// overlaps the previous one and rewrites the same values.
// The loops over the taps are unrolled by pragma: left rolled, GCC keeps the
// products in memory instead of registers.
// Only the coefficient tables come from the shared header: every function here
// is local, so no AVX2 code can stand in for an inline function of another file.
#include <immintrin.h>

#include "temporal/synthesize_level.h"

namespace {

inline __m256 tap(float c) { return _mm256_set1_ps(c); }

inline __m256 sum5(const __m256* p) {
  return _mm256_add_ps(
      _mm256_add_ps(_mm256_add_ps(p[0], p[1]), _mm256_add_ps(p[2], p[3])), p[4]);
}

// Pairs i0 .. i0+7 from L[i0-2 .. i0+9] at l, Ha likewise at ha and
// Hb[i0-1 .. i0+7] at hb; writes out[2 i0 .. 2 i0 + 15].
inline void eight_pairs(const float* l, const float* ha, const float* hb, float* out) {
  __m256 pe[5], po[5], qe[5], qo[5];
  #pragma GCC unroll 16
  for (int o = 0; o < 5; ++o) {
    __m256 x = _mm256_loadu_ps(l + o);
    __m256 y = _mm256_loadu_ps(ha + o);
    pe[o] = _mm256_mul_ps(x, tap(synth_low_even[o]));
    po[o] = _mm256_mul_ps(x, tap(synth_low_odd[o]));
    qe[o] = _mm256_mul_ps(y, tap(synth_high_a_even[o]));
    qo[o] = _mm256_mul_ps(y, tap(synth_high_a_odd[o]));
  }
  __m256 b0 = _mm256_loadu_ps(hb);
  __m256 b1 = _mm256_loadu_ps(hb + 1);
  __m256 re = _mm256_add_ps(_mm256_mul_ps(b0, tap(d4_h[1])), _mm256_mul_ps(b1, tap(d4_h[3])));
  __m256 ro = _mm256_add_ps(_mm256_mul_ps(b0, tap(-d4_h[0])), _mm256_mul_ps(b1, tap(-d4_h[2])));
  __m256 even = _mm256_add_ps(_mm256_add_ps(sum5(pe), sum5(qe)), re);
  __m256 odd = _mm256_add_ps(_mm256_add_ps(sum5(po), sum5(qo)), ro);
  // (e0 o0 e1 o1 | e4 o4 e5 o5) and (e2 o2 e3 o3 | e6 o6 e7 o7)
  __m256 lo = _mm256_unpacklo_ps(even, odd);
  __m256 hi = _mm256_unpackhi_ps(even, odd);
  _mm256_storeu_ps(out, _mm256_permute2f128_ps(lo, hi, 0x20));
  _mm256_storeu_ps(out + 8, _mm256_permute2f128_ps(lo, hi, 0x31));
}

// The same step with every tap index taken modulo n.
inline void eight_pairs_wrapped(const float* l, const float* ha, const float* hb, int n, int i0,
                                float* out) {
  alignas(32) float lw[12];
  alignas(32) float hw[12];
  alignas(32) float bw[9];
  for (int j = 0; j < 12; ++j) {
    int r = i0 - 2 + j;
    while (r < 0) r += n;
    while (r >= n) r -= n;
    lw[j] = l[r];
    hw[j] = ha[r];
  }
  for (int j = 0; j < 9; ++j) {
    int r = i0 - 1 + j;
    while (r < 0) r += n;
    while (r >= n) r -= n;
    bw[j] = hb[r];
  }
  eight_pairs(lw, hw, bw, out);
}

}  // namespace

void synthesize_level_avx2(const float* a, const float* b, int n, float* out) {
  const float* l = a;
  const float* ha = a + n;
  const float* hb = b + n;
  // Steps at i0 = 0, 8, ...; the last one at n - 8. A step reads taps
  // i0 - 2 .. i0 + 9, so it needs no wrap when 2 <= i0 <= n - 10.
  for (int i0 = 0;; i0 += 8) {
    if (i0 > n - 8) i0 = n - 8;
    if (i0 < 2 || i0 > n - 10) {
      eight_pairs_wrapped(l, ha, hb, n, i0, out + 2 * i0);
    } else {
      eight_pairs(l + i0 - 2, ha + i0 - 2, hb + i0 - 1, out + 2 * i0);
    }
    if (i0 == n - 8) break;
  }
}
