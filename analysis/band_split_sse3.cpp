// SSE3 three-band split: one position of all three bands per step from three
// loads (x[2k-4..], x[2k..], x[2k+4..2k+5]), four positions stored together.
// Same arithmetic as band_split_ref.cpp.
#include <pmmintrin.h>

#include "analysis/band_split.h"

namespace {

struct taps {
  __m128 l0, l1, a0, a1;  // split_low / split_high_a taps 0..3 and 4..7
  __m128 tail;            // (low 8, low 9, high_a 8, high_a 9)
  __m128 b;               // split_high_b
};

// Position k from its window w = x[2k-4 .. 2k+5]. Returns (L, Ha, -, -) in
// *lh and (-, -, -, Hb) in *hb.
inline void split_at(const taps& t, const float* w, __m128* lh, __m128* hb) {
  __m128 x0 = _mm_loadu_ps(w);
  __m128 x1 = _mm_loadu_ps(w + 4);
  __m128 x2 = _mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double*>(w + 8)));
  // (P0123, P4567, Q0123, Q4567)
  __m128 s = _mm_hadd_ps(_mm_hadd_ps(_mm_mul_ps(x0, t.l0), _mm_mul_ps(x1, t.l1)),
                         _mm_hadd_ps(_mm_mul_ps(x0, t.a0), _mm_mul_ps(x1, t.a1)));
  __m128 tail = _mm_mul_ps(_mm_movelh_ps(x2, x2), t.tail);  // (p8, p9, q8, q9)
  __m128 e = _mm_hadd_ps(tail, _mm_mul_ps(x1, t.b));        // (p89, q89, r01, r23)
  __m128 f = _mm_hadd_ps(s, e);                             // (P0-7, Q0-7, -, Hb)
  *lh = _mm_add_ps(f, e);                                   // (L, Ha, -, -)
  *hb = f;
}

// Positions k0 .. k0+3 from windows w, w+2, w+4, w+6.
inline void split_four(const taps& t, const float* w, float* l, float* ha, float* hb) {
  __m128 lh[4];
  __m128 b[4];
  for (int i = 0; i < 4; ++i) split_at(t, w + 2 * i, &lh[i], &b[i]);
  __m128 u01 = _mm_unpacklo_ps(lh[0], lh[1]);  // (L0, L1, Ha0, Ha1)
  __m128 u23 = _mm_unpacklo_ps(lh[2], lh[3]);
  __m128 h01 = _mm_unpackhi_ps(b[0], b[1]);  // (-, -, Hb0, Hb1)
  __m128 h23 = _mm_unpackhi_ps(b[2], b[3]);
  _mm_store_ps(l, _mm_movelh_ps(u01, u23));
  _mm_store_ps(ha, _mm_movehl_ps(u23, u01));
  _mm_store_ps(hb, _mm_movehl_ps(h23, h01));
}

}  // namespace

void band_split_sse3(int n, const float* src, float* dst_a, float* dst_b) {
  const int m = n / 2;
  taps t;
  t.l0 = _mm_loadu_ps(split_low);
  t.l1 = _mm_loadu_ps(split_low + 4);
  t.a0 = _mm_loadu_ps(split_high_a);
  t.a1 = _mm_loadu_ps(split_high_a + 4);
  t.tail = _mm_setr_ps(split_low[8], split_low[9], split_high_a[8], split_high_a[9]);
  t.b = _mm_loadu_ps(split_high_b);
  float* ha = dst_a + m;
  float* hb = dst_b + m;

  // Positions 0..3: the first two windows wrap to the end of the line.
  alignas(16) float w[16];
  for (int j = 0; j < 4; ++j) w[j] = src[n - 4 + j];
  for (int j = 0; j < 12; ++j) w[4 + j] = src[j];
  split_four(t, w, dst_a, ha, hb);
  for (int k = 4; k < m - 4; k += 4) split_four(t, src + 2 * k - 4, dst_a + k, ha + k, hb + k);
  // Positions m-4..m-1: the last two windows wrap to the start.
  for (int j = 0; j < 12; ++j) w[j] = src[n - 12 + j];
  for (int j = 0; j < 4; ++j) w[12 + j] = src[j];
  split_four(t, w, dst_a + m - 4, ha + m - 4, hb + m - 4);
}
