// SSE2 one-level synthesis: four output pairs per step, computed as four even
// and four odd outputs side by side (each lane one pair, the same products and
// the same order of additions as synthesize_level_ref.cpp), then interleaved
// into eight consecutive outputs. The two steps whose taps wrap around the
// bands' ends gather their taps into a small window first.
// The loops over the taps are unrolled by pragma: left rolled, GCC keeps the
// products in memory instead of registers.
#include <emmintrin.h>

#include "temporal/synthesize_level.h"

namespace {

inline __m128 tap(float c) { return _mm_set1_ps(c); }

inline __m128 sum5(const __m128* p) {
  return _mm_add_ps(_mm_add_ps(_mm_add_ps(p[0], p[1]), _mm_add_ps(p[2], p[3])), p[4]);
}

// Pairs i0 .. i0+3 from L[i0-2 .. i0+5] at l, Ha likewise at ha and
// Hb[i0-1 .. i0+3] at hb; writes out[2 i0 .. 2 i0 + 7].
inline void four_pairs(const float* l, const float* ha, const float* hb, float* out) {
  __m128 pe[5], po[5], qe[5], qo[5];
#pragma GCC unroll 16
  for (int o = 0; o < 5; ++o) {
    __m128 x = _mm_loadu_ps(l + o);
    __m128 y = _mm_loadu_ps(ha + o);
    pe[o] = _mm_mul_ps(x, tap(synth_low_even[o]));
    po[o] = _mm_mul_ps(x, tap(synth_low_odd[o]));
    qe[o] = _mm_mul_ps(y, tap(synth_high_a_even[o]));
    qo[o] = _mm_mul_ps(y, tap(synth_high_a_odd[o]));
  }
  __m128 b0 = _mm_loadu_ps(hb);
  __m128 b1 = _mm_loadu_ps(hb + 1);
  __m128 re = _mm_add_ps(_mm_mul_ps(b0, tap(d4_h[1])), _mm_mul_ps(b1, tap(d4_h[3])));
  __m128 ro = _mm_add_ps(_mm_mul_ps(b0, tap(-d4_h[0])), _mm_mul_ps(b1, tap(-d4_h[2])));
  __m128 even = _mm_add_ps(_mm_add_ps(sum5(pe), sum5(qe)), re);
  __m128 odd = _mm_add_ps(_mm_add_ps(sum5(po), sum5(qo)), ro);
  _mm_storeu_ps(out, _mm_unpacklo_ps(even, odd));
  _mm_storeu_ps(out + 4, _mm_unpackhi_ps(even, odd));
}

// The same step with every tap index taken modulo n.
inline void four_pairs_wrapped(const float* l, const float* ha, const float* hb, int n, int i0,
                               float* out) {
  alignas(16) float lw[8];
  alignas(16) float hw[8];
  alignas(16) float bw[5];
  for (int j = 0; j < 8; ++j) {
    int r = i0 - 2 + j;
    r = r < 0 ? r + n : (r >= n ? r - n : r);
    lw[j] = l[r];
    hw[j] = ha[r];
  }
  for (int j = 0; j < 5; ++j) {
    int r = i0 - 1 + j;
    r = r < 0 ? r + n : (r >= n ? r - n : r);
    bw[j] = hb[r];
  }
  four_pairs(lw, hw, bw, out);
}

}  // namespace

void synthesize_level_sse2(const float* a, const float* b, int n, float* out) {
  const float* l = a;
  const float* ha = a + n;
  const float* hb = b + n;
  // A step at i0 reads taps i0 - 2 .. i0 + 5: only the first and the last wrap.
  four_pairs_wrapped(l, ha, hb, n, 0, out);
  for (int i0 = 4; i0 < n - 4; i0 += 4) four_pairs(l + i0 - 2, ha + i0 - 2, hb + i0 - 1, out + 2 * i0);
  four_pairs_wrapped(l, ha, hb, n, n - 4, out + 2 * n - 8);
}
