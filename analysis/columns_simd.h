// The column-group kernels written once over a vector of floats V, for the
// SSE2 (four lanes) and the AVX2 (eight lanes) files: one vector is one row
// of V::lanes lines, so every lane repeats the scalar arithmetic of
// columns_ref.cpp with broadcast taps (no fused multiply-add). Rows whose
// taps wrap around a band's ends are gathered into a small window first and
// go through the same code. The loops over the taps are unrolled by pragma:
// left rolled, GCC keeps the products in memory instead of registers.
//
// V offers: lanes; reg; load (aligned), store (aligned), set1, zero, add, sub,
// mul, bit_or, andnot (~a & b), and the comparisons not_less (true when
// unordered), less and less_equal (false when unordered).
//
// Include it inside an anonymous namespace, after V and, outside it, the
// instruction set's header, band_split.h, detail_shrink.h and
// synthesize_level.h: every function is then the including file's own, so no
// wider-instruction-set copy can stand in for another file's. Only the
// coefficient tables come from the shared headers.
#pragma once

template <class V>
inline typename V::reg row(const float* p, int r) {
  return V::load(p + V::lanes * r);
}
template <class V>
inline typename V::reg tap(float c) {
  return V::set1(c);
}

// Split position from window rows w[0..9] = x[2k-4 .. 2k+5], all products
// first (SSE2: the taps stay in registers or aligned stack slots, the rows
// are loaded once).
template <class V>
inline void split_rows_products_first(const float* w, float* l, float* ha, float* hb) {
  typename V::reg p[10];
  typename V::reg q[10];
  #pragma GCC unroll 16
  for (int j = 0; j < 10; ++j) {
    const typename V::reg x = row<V>(w, j);
    p[j] = V::mul(x, tap<V>(split_low[j]));
    q[j] = V::mul(x, tap<V>(split_high_a[j]));
  }
  typename V::reg r[4];
  #pragma GCC unroll 16
  for (int j = 0; j < 4; ++j) r[j] = V::mul(row<V>(w, 4 + j), tap<V>(split_high_b[j]));
  const typename V::reg lo =
      V::add(V::add(V::add(V::add(p[0], p[1]), V::add(p[2], p[3])),
                    V::add(V::add(p[4], p[5]), V::add(p[6], p[7]))),
             V::add(p[8], p[9]));
  const typename V::reg hi =
      V::add(V::add(V::add(V::add(q[0], q[1]), V::add(q[2], q[3])),
                    V::add(V::add(q[4], q[5]), V::add(q[6], q[7]))),
             V::add(q[8], q[9]));
  V::store(l, lo);
  V::store(ha, hi);
  V::store(hb, V::add(V::add(r[0], r[1]), V::add(r[2], r[3])));
}

// The same, the three outputs one after the other, each product formed where
// it is added (the sums in the same order), so that few vectors are live at a
// time: with eight vector registers (i686) and eight-lane rows, forming all
// products first spilled a third of them. The rows are then operands of the
// multiplications (unaligned operands need VEX; SSE2 would load each row
// again, and broadcast each tap in two instructions).
template <class V>
inline typename V::reg split_pair(const float* w, int j, float c0, float c1) {
  return V::add(V::mul(row<V>(w, j), tap<V>(c0)), V::mul(row<V>(w, j + 1), tap<V>(c1)));
}

// ((c0 x0 + c1 x1) + (c2 x2 + c3 x3)) + ((c4 x4 + c5 x5) + (c6 x6 + c7 x7)) + (c8 x8 + c9 x9)
template <class V>
inline typename V::reg split_sum10(const float* w, const float* c) {
  const typename V::reg s03 =
      V::add(split_pair<V>(w, 0, c[0], c[1]), split_pair<V>(w, 2, c[2], c[3]));
  const typename V::reg s47 =
      V::add(split_pair<V>(w, 4, c[4], c[5]), split_pair<V>(w, 6, c[6], c[7]));
  return V::add(V::add(s03, s47), split_pair<V>(w, 8, c[8], c[9]));
}

template <class V>
inline void split_rows_in_turn(const float* w, float* l, float* ha, float* hb) {
  V::store(l, split_sum10<V>(w, split_low));
  V::store(ha, split_sum10<V>(w, split_high_a));
  V::store(hb, V::add(split_pair<V>(w, 4, split_high_b[0], split_high_b[1]),
                      split_pair<V>(w, 6, split_high_b[2], split_high_b[3])));
}

// In turn on i686 with eight-lane rows only: on x86-64 the products-first
// shape executes fewer instructions (its sixteen registers hold the rows).
template <class V>
inline void split_rows(const float* w, float* l, float* ha, float* hb) {
  if constexpr (V::lanes == 8 && sizeof(void*) == 4)
    split_rows_in_turn<V>(w, l, ha, hb);
  else
    split_rows_products_first<V>(w, l, ha, hb);
}

// Copies rows first .. first+count-1 (mod n) of src into w.
template <class V>
inline void gather_rows(const float* src, int n, int first, int count, float* w) {
  for (int j = 0; j < count; ++j) {
    int r = first + j;
    if (r < 0) r += n;
    if (r >= n) r -= n;
    V::store(w + V::lanes * j, row<V>(src, r));
  }
}

// Merge output from rows l[0..3] = L[i-1 .. i+2], ha[0..3] = Ha[i-1 .. i+2].
template <class V>
inline typename V::reg merge_rows(const float* l, const float* ha) {
  typename V::reg acc = V::zero();
  #pragma GCC unroll 16
  for (int o = 0; o < 4; ++o) {
    acc = V::add(acc, V::mul(row<V>(l, o), tap<V>(merge_low[o])));
    acc = V::add(acc, V::mul(row<V>(ha, o), tap<V>(merge_high_a[o])));
  }
  return acc;
}

template <class V>
inline typename V::reg sum5(const typename V::reg* p) {
  return V::add(V::add(V::add(p[0], p[1]), V::add(p[2], p[3])), p[4]);
}

// Output rows 2i and 2i+1 from rows l[0..4] = L[i-2 .. i+2], ha likewise and
// hb[0..1] = Hb[i-1 .. i].
template <class V>
inline void synthesize_rows(const float* l, const float* ha, const float* hb, float* out) {
  typename V::reg pe[5], po[5], qe[5], qo[5];
  #pragma GCC unroll 16
  for (int o = 0; o < 5; ++o) {
    const typename V::reg x = row<V>(l, o);
    const typename V::reg y = row<V>(ha, o);
    pe[o] = V::mul(x, tap<V>(synth_low_even[o]));
    po[o] = V::mul(x, tap<V>(synth_low_odd[o]));
    qe[o] = V::mul(y, tap<V>(synth_high_a_even[o]));
    qo[o] = V::mul(y, tap<V>(synth_high_a_odd[o]));
  }
  const typename V::reg b0 = row<V>(hb, 0);
  const typename V::reg b1 = row<V>(hb, 1);
  const typename V::reg re = V::add(V::mul(b0, tap<V>(d4_h[1])), V::mul(b1, tap<V>(d4_h[3])));
  const typename V::reg ro = V::add(V::mul(b0, tap<V>(-d4_h[0])), V::mul(b1, tap<V>(-d4_h[2])));
  V::store(out, V::add(V::add(sum5<V>(pe), sum5<V>(qe)), re));
  V::store(out + V::lanes, V::add(V::add(sum5<V>(po), sum5<V>(qo)), ro));
}

template <class V>
inline typename V::reg abs_value(typename V::reg x) {
  return V::andnot(V::set1(-0.0f), x);
}

template <class V>
void band_split_cols(int n, const float* src, float* dst_a, float* dst_b) {
  constexpr int g = V::lanes;
  const int m = n / 2;
  alignas(32) float w[10 * g];
  for (int k = 0; k < m; ++k) {
    const float* win = src + g * (2 * k - 4);
    if (k < 2 || k >= m - 2) {
      gather_rows<V>(src, n, 2 * k - 4, 10, w);
      win = w;
    }
    split_rows<V>(win, dst_a + g * k, dst_a + g * (m + k), dst_b + g * (m + k));
  }
}

template <class V>
void low_merge_cols(const float* src, int m, float* dst) {
  constexpr int g = V::lanes;
  const float* l = src;
  const float* ha = src + g * m;
  alignas(32) float lw[4 * g];
  alignas(32) float hw[4 * g];
  for (int i = 0; i < m; ++i) {
    if (i == 0 || i >= m - 2) {
      gather_rows<V>(l, m, i - 1, 4, lw);
      gather_rows<V>(ha, m, i - 1, 4, hw);
      V::store(dst + g * i, merge_rows<V>(lw, hw));
    } else {
      V::store(dst + g * i, merge_rows<V>(l + g * (i - 1), ha + g * (i - 1)));
    }
  }
}

template <class V>
void synthesize_cols(const float* a, const float* b, int n, float* out) {
  constexpr int g = V::lanes;
  const float* l = a;
  const float* ha = a + g * n;
  const float* hb = b + g * n;
  alignas(32) float lw[5 * g];
  alignas(32) float hw[5 * g];
  alignas(32) float bw[2 * g];
  for (int i = 0; i < n; ++i) {
    if (i < 2 || i >= n - 2) {
      gather_rows<V>(l, n, i - 2, 5, lw);
      gather_rows<V>(ha, n, i - 2, 5, hw);
      gather_rows<V>(hb, n, i - 1, 2, bw);
      synthesize_rows<V>(lw, hw, bw, out + 2 * g * i);
    } else {
      synthesize_rows<V>(l + g * (i - 2), ha + g * (i - 2), hb + g * (i - 1), out + 2 * g * i);
    }
  }
}

template <class V>
void keep_shrink_cols(float* a, float* b, int m, float limit, float floor, float t) {
  using reg = typename V::reg;
  if (t == 0.0f) t = shrink_zero_threshold;
  const reg lim = V::set1(limit);
  const reg flo = V::set1(floor);
  const reg thr = V::set1(t);
  reg a_here = row<V>(a, 0);
  reg b_here = row<V>(b, 0);
  reg a_prev = a_here;
  reg b_prev = b_here;
  for (int j = 0; j < m; ++j) {
    const reg a_next = j + 1 < m ? row<V>(a, j + 1) : a_here;
    const reg b_next = j + 1 < m ? row<V>(b, j + 1) : b_here;
    const reg da = V::sub(V::sub(V::add(a_here, a_here), a_prev), a_next);
    const reg db = V::sub(V::sub(V::add(b_here, b_here), b_prev), b_next);
    const reg abs_a = abs_value<V>(a_here);
    const reg abs_b = abs_value<V>(b_here);
    reg keep = V::bit_or(V::not_less(abs_a, lim), V::not_less(abs_b, lim));
    keep = V::bit_or(keep, V::bit_or(V::less(abs_a, flo), V::less(abs_b, flo)));
    keep = V::bit_or(keep, V::not_less(abs_value<V>(da), lim));
    keep = V::bit_or(keep, V::not_less(abs_value<V>(db), lim));
    const reg za = V::andnot(keep, V::less_equal(abs_a, thr));
    const reg zb = V::andnot(keep, V::less_equal(abs_b, thr));
    V::store(a + V::lanes * j, V::andnot(za, a_here));
    V::store(b + V::lanes * j, V::andnot(zb, b_here));
    a_prev = a_here;
    b_prev = b_here;
    a_here = a_next;
    b_here = b_next;
  }
}
