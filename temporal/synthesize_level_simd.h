// One-level synthesis written once for the SSE2 and AVX2 versions, as
// templates over a vector of floats V: V::lanes output pairs per step,
// computed as that many even and odd outputs side by side (each lane one
// pair, the same products and the same order of additions as
// synthesize_level_ref.cpp, no fused multiply-add), then interleaved into
// consecutive outputs. Steps whose taps wrap around the bands' ends gather
// their taps into a small window first; a band length that is not a multiple
// of V::lanes ends with a step that overlaps the previous one and rewrites
// the same values. The loops over the taps are unrolled by pragma: left
// rolled, GCC keeps the products in memory instead of registers.
//
// V offers: lanes; reg; loadu; set1, add, mul; store_pairs(out, even, odd),
// the interleaved store of 2 * lanes outputs. Include it inside an anonymous
// namespace, after V and, outside it, synthesize_level.h (its tables only):
// every function is then the including file's own, so no wider-instruction-
// set copy can stand in for another file's.
#pragma once

template <class V>
inline typename V::reg sum5(const typename V::reg* p) {
  return V::add(V::add(V::add(p[0], p[1]), V::add(p[2], p[3])), p[4]);
}

// Pairs i0 .. i0 + lanes - 1 from L[i0-2 .. i0+lanes+1] at l, Ha likewise at
// ha and Hb[i0-1 .. i0+lanes-1] at hb; writes out[2 i0 .. 2 (i0 + lanes) - 1].
template <class V>
inline void pairs_step(const float* l, const float* ha, const float* hb, float* out) {
  using R = typename V::reg;
  R pe[5], po[5], qe[5], qo[5];
#pragma GCC unroll 16
  for (int o = 0; o < 5; ++o) {
    const R x = V::loadu(l + o);
    const R y = V::loadu(ha + o);
    pe[o] = V::mul(x, V::set1(synth_low_even[o]));
    po[o] = V::mul(x, V::set1(synth_low_odd[o]));
    qe[o] = V::mul(y, V::set1(synth_high_a_even[o]));
    qo[o] = V::mul(y, V::set1(synth_high_a_odd[o]));
  }
  const R b0 = V::loadu(hb);
  const R b1 = V::loadu(hb + 1);
  const R re = V::add(V::mul(b0, V::set1(d4_h[1])), V::mul(b1, V::set1(d4_h[3])));
  const R ro = V::add(V::mul(b0, V::set1(-d4_h[0])), V::mul(b1, V::set1(-d4_h[2])));
  const R even = V::add(V::add(sum5<V>(pe), sum5<V>(qe)), re);
  const R odd = V::add(V::add(sum5<V>(po), sum5<V>(qo)), ro);
  V::store_pairs(out, even, odd);
}

// The same step with every tap index taken modulo n.
template <class V>
inline void pairs_step_wrapped(const float* l, const float* ha, const float* hb, int n, int i0,
                               float* out) {
  constexpr int lanes = V::lanes;
  alignas(32) float lw[lanes + 4];
  alignas(32) float hw[lanes + 4];
  alignas(32) float bw[lanes + 1];
  for (int j = 0; j < lanes + 4; ++j) {
    int r = i0 - 2 + j;
    while (r < 0) r += n;
    while (r >= n) r -= n;
    lw[j] = l[r];
    hw[j] = ha[r];
  }
  for (int j = 0; j < lanes + 1; ++j) {
    int r = i0 - 1 + j;
    while (r < 0) r += n;
    while (r >= n) r -= n;
    bw[j] = hb[r];
  }
  pairs_step<V>(lw, hw, bw, out);
}

template <class V>
void synthesize_steps(const float* a, const float* b, int n, float* out) {
  constexpr int lanes = V::lanes;
  const float* l = a;
  const float* ha = a + n;
  const float* hb = b + n;
  // Steps at i0 = 0, lanes, ...; the last one at n - lanes. A step reads taps
  // i0 - 2 .. i0 + lanes + 1, so only those with i0 < 2 or
  // i0 > n - lanes - 2 wrap: the first and the last.
  pairs_step_wrapped<V>(l, ha, hb, n, 0, out);
  int i0 = lanes;
  for (; i0 <= n - lanes - 2; i0 += lanes)
    pairs_step<V>(l + i0 - 2, ha + i0 - 2, hb + i0 - 1, out + 2 * i0);
  for (; i0 < n; i0 += lanes) {
    const int last = i0 < n - lanes ? i0 : n - lanes;
    pairs_step_wrapped<V>(l, ha, hb, n, last, out + 2 * last);
  }
}
