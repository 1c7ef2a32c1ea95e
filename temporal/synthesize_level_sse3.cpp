// SSE3 one-level synthesis: one output pair per step, the two pairs of a group
// of four outputs stored together. Same arithmetic as synthesize_level_ref.cpp.
#include <pmmintrin.h>

#include "temporal/synthesize_level.h"

namespace {

struct taps {
  __m128 le, lo, he, ho;  // taps o = -2..1 of the four folded tables
  __m128 last;            // taps o = 2: (le, he, lo, ho)
  __m128 hb;              // (h1, h3, -h0, -h2)
};

// Output pair i from L[i-2..i+2] at l, Ha[i-2..i+2] at ha, Hb[i-1..i] at hb.
// Result: lane 0 = out[2i], lane 1 = out[2i+1].
inline __m128 pair_at(const taps& t, const float* l, const float* ha, const float* hb) {
  __m128 lv = _mm_loadu_ps(l);
  __m128 hv = _mm_loadu_ps(ha);
  // (P even, Q even, P odd, Q odd), each ((x-2 + x-1) + (x0 + x1))
  __m128 s = _mm_hadd_ps(_mm_hadd_ps(_mm_mul_ps(lv, t.le), _mm_mul_ps(hv, t.he)),
                         _mm_hadd_ps(_mm_mul_ps(lv, t.lo), _mm_mul_ps(hv, t.ho)));
  __m128 x2 = _mm_unpacklo_ps(_mm_load_ss(l + 4), _mm_load_ss(ha + 4));  // (L, Ha, 0, 0)
  s = _mm_add_ps(s, _mm_mul_ps(_mm_movelh_ps(x2, x2), t.last));
  __m128 b = _mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double*>(hb)));
  __m128 r = _mm_mul_ps(_mm_movelh_ps(b, b), t.hb);
  __m128 u = _mm_hadd_ps(s, r);  // (P + Q even, P + Q odd, r1 + r2 even, r1 + r2 odd)
  return _mm_add_ps(u, _mm_movehl_ps(u, u));
}

inline void store_two_pairs(float* out, __m128 first, __m128 second) {
  _mm_storeu_ps(out, _mm_movelh_ps(first, second));
}

}  // namespace

void synthesize_level_sse3(const float* a, const float* b, int n, float* out) {
  const float* l = a;
  const float* ha = a + n;
  const float* hb = b + n;
  taps t;
  t.le = _mm_loadu_ps(synth_low_even);
  t.lo = _mm_loadu_ps(synth_low_odd);
  t.he = _mm_loadu_ps(synth_high_a_even);
  t.ho = _mm_loadu_ps(synth_high_a_odd);
  t.last = _mm_setr_ps(synth_low_even[4], synth_high_a_even[4], synth_low_odd[4],
                       synth_high_a_odd[4]);
  t.hb = _mm_setr_ps(d4_h[1], d4_h[3], -d4_h[0], -d4_h[2]);

  // Pairs 0 and 1 wrap to the end of each band: gather their taps.
  {
    alignas(16) float lw[8] = {l[n - 2], l[n - 1], l[0], l[1], l[2], l[3], 0.0f, 0.0f};
    alignas(16) float hw[8] = {ha[n - 2], ha[n - 1], ha[0], ha[1], ha[2], ha[3], 0.0f, 0.0f};
    alignas(16) float bw[4] = {hb[n - 1], hb[0], hb[1], 0.0f};
    store_two_pairs(out, pair_at(t, lw, hw, bw), pair_at(t, lw + 1, hw + 1, bw + 1));
  }
  for (int i = 2; i < n - 2; i += 2) {
    __m128 first = pair_at(t, l + i - 2, ha + i - 2, hb + i - 1);
    __m128 second = pair_at(t, l + i - 1, ha + i - 1, hb + i);
    store_two_pairs(out + 2 * i, first, second);
  }
  // Pairs n-2 and n-1 wrap to the start.
  {
    alignas(16) float lw[8] = {l[n - 4], l[n - 3], l[n - 2], l[n - 1], l[0], l[1], 0.0f, 0.0f};
    alignas(16) float hw[8] = {ha[n - 4], ha[n - 3], ha[n - 2], ha[n - 1], ha[0], ha[1], 0.0f, 0.0f};
    alignas(16) float bw[4] = {hb[n - 3], hb[n - 2], hb[n - 1], 0.0f};
    store_two_pairs(out + 2 * n - 4, pair_at(t, lw, hw, bw), pair_at(t, lw + 1, hw + 1, bw + 1));
  }
}
