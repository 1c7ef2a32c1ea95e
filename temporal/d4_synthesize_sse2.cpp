// D4 synthesis, four outputs of a parity (or four columns) per step.
#include <emmintrin.h>

#include "temporal/d4_synthesize.h"

namespace {

struct d4_taps {
  __m128 h0, h1, h2, h3;
};

inline d4_taps load_taps() {
  return {_mm_set1_ps(d4_h0), _mm_set1_ps(d4_h1), _mm_set1_ps(d4_h2), _mm_set1_ps(d4_h3)};
}

// Pairs i >= 2: ((h0 L + h3 H) + h2 Lp) + h1 Hp, odd alike.
inline void pair_body(const d4_taps& c, __m128 l, __m128 lp, __m128 h, __m128 hp, __m128* e,
                      __m128* o) {
  *e = _mm_add_ps(
      _mm_add_ps(_mm_add_ps(_mm_mul_ps(c.h0, l), _mm_mul_ps(c.h3, h)), _mm_mul_ps(c.h2, lp)),
      _mm_mul_ps(c.h1, hp));
  *o = _mm_sub_ps(
      _mm_add_ps(_mm_sub_ps(_mm_mul_ps(c.h1, l), _mm_mul_ps(c.h2, h)), _mm_mul_ps(c.h3, lp)),
      _mm_mul_ps(c.h0, hp));
}

// Pairs i = 0 and 1: ((h0 L + h2 Lp) + h3 H) + h1 Hp, odd alike.
inline void pair_head(const d4_taps& c, __m128 l, __m128 lp, __m128 h, __m128 hp, __m128* e,
                      __m128* o) {
  *e = _mm_add_ps(
      _mm_add_ps(_mm_add_ps(_mm_mul_ps(c.h0, l), _mm_mul_ps(c.h2, lp)), _mm_mul_ps(c.h3, h)),
      _mm_mul_ps(c.h1, hp));
  *o = _mm_sub_ps(
      _mm_sub_ps(_mm_add_ps(_mm_mul_ps(c.h1, l), _mm_mul_ps(c.h3, lp)), _mm_mul_ps(c.h2, h)),
      _mm_mul_ps(c.h0, hp));
}

// (x[n-1], x[0], x[1], x[2]) from first = x[0..3] and last = x[n-4..n-1].
inline __m128 wrap_prev(__m128 first, __m128 last) {
  const __m128 t = _mm_shuffle_ps(last, first, _MM_SHUFFLE(0, 0, 3, 3));  // l3 l3 f0 f0
  return _mm_shuffle_ps(t, first, _MM_SHUFFLE(2, 1, 2, 0));               // l3 f0 f1 f2
}

}  // namespace

void d4_synthesize_sse2(const float* v, int n, float* out) {
  const d4_taps c = load_taps();
  const float* l = v;
  const float* h = v + n;

  // Pairs 0..3: lanes 0 and 1 take the head order, lanes 2 and 3 the body order.
  {
    const __m128 l4 = _mm_load_ps(l), h4 = _mm_load_ps(h);
    const __m128 lp = wrap_prev(l4, _mm_load_ps(l + n - 4));
    const __m128 hp = wrap_prev(h4, _mm_load_ps(h + n - 4));
    __m128 eb, ob, eh, oh;
    pair_body(c, l4, lp, h4, hp, &eb, &ob);
    pair_head(c, l4, lp, h4, hp, &eh, &oh);
    const __m128 head = _mm_castsi128_ps(_mm_set_epi32(0, 0, -1, -1));
    const __m128 e = _mm_or_ps(_mm_and_ps(head, eh), _mm_andnot_ps(head, eb));
    const __m128 o = _mm_or_ps(_mm_and_ps(head, oh), _mm_andnot_ps(head, ob));
    _mm_store_ps(out, _mm_unpacklo_ps(e, o));
    _mm_store_ps(out + 4, _mm_unpackhi_ps(e, o));
  }
  for (int i = 4; i < n; i += 4) {
    __m128 e, o;
    pair_body(c, _mm_load_ps(l + i), _mm_loadu_ps(l + i - 1), _mm_load_ps(h + i),
              _mm_loadu_ps(h + i - 1), &e, &o);
    _mm_store_ps(out + 2 * i, _mm_unpacklo_ps(e, o));
    _mm_store_ps(out + 2 * i + 4, _mm_unpackhi_ps(e, o));
  }
}

// Same walk as the scalar version: Hi copied out, pairs from i = n - 1 down,
// one vector per canvas row (the four columns side by side).
void d4_synthesize_columns4_sse2(float* col, ptrdiff_t stride, int n, float* hi_lo, float* hi_hi) {
  const d4_taps c = load_taps();
  const int half = n / 2;
  const float* hi_src = col + n * stride;
  for (int r = 0; r < half; ++r) _mm_store_ps(hi_lo + 4 * r, _mm_load_ps(hi_src + r * stride));
  for (int r = half; r < n; ++r)
    _mm_store_ps(hi_hi + 4 * (r - half), _mm_load_ps(hi_src + r * stride));
  const __m128 l_last = _mm_load_ps(col + (n - 1) * stride);
  const __m128 h_last = _mm_load_ps(hi_hi + 4 * (half - 1));

  // Values of pair i carried down as pair i - 1's current values.
  __m128 l = l_last, h = h_last;
  for (int i = n - 1; i >= 2; --i) {
    const __m128 lp = _mm_load_ps(col + (i - 1) * stride);
    const float* hp_row = i - 1 < half ? hi_lo + 4 * (i - 1) : hi_hi + 4 * (i - 1 - half);
    const __m128 hp = _mm_load_ps(hp_row);
    __m128 e, o;
    pair_body(c, l, lp, h, hp, &e, &o);
    _mm_store_ps(col + 2 * i * stride, e);
    _mm_store_ps(col + (2 * i + 1) * stride, o);
    l = lp;
    h = hp;
  }
  // l, h now hold row 1; pairs 1 and 0 in the head order.
  const __m128 l0 = _mm_load_ps(col), h0 = _mm_load_ps(hi_lo);
  __m128 e, o;
  pair_head(c, l, l0, h, h0, &e, &o);
  _mm_store_ps(col + 2 * stride, e);
  _mm_store_ps(col + 3 * stride, o);
  pair_head(c, l0, l_last, h0, h_last, &e, &o);
  _mm_store_ps(col, e);
  _mm_store_ps(col + stride, o);
}
