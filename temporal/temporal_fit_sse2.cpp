// Four positions per group, one aligned load per slot of the window.
#include <emmintrin.h>

#include "temporal/temporal_fit.h"

namespace {

// K, St and Stt are small exact integers, so they are summed in one packed
// integer lane (count in bits 0-7, sum of t + 4 in bits 8-15, sum of t*t from
// bit 16) and converted once; the values equal the float sums of the scalar
// version exactly.
constexpr int packed_term(int t) { return 1 + ((t + 4) << 8) + ((t * t) << 16); }

// One group's running sums (four positions).
struct fit_sums {
  __m128 v0, sv, stv;
  __m128i packed;
};

inline void fit_begin(fit_sums* f, const float* p, int off0) {
  f->v0 = _mm_load_ps(p + off0);
  f->sv = f->v0;
  f->stv = _mm_setzero_ps();
  f->packed = _mm_setzero_si128();
}

// Adds neighbour t (values at p + off, threshold thr4).
inline void fit_add(fit_sums* f, const float* p, int off, int t, const float* thr4) {
  const __m128 sign = _mm_set1_ps(-0.0f);
  const __m128 vt = _mm_load_ps(p + off);
  const __m128 ad = _mm_andnot_ps(sign, _mm_sub_ps(vt, f->v0));
  const __m128 m = _mm_cmplt_ps(ad, _mm_load_ps(thr4));
  f->packed =
      _mm_add_epi32(f->packed, _mm_and_si128(_mm_castps_si128(m), _mm_set1_epi32(packed_term(t))));
  // Excluded lanes carry -0, which leaves Sv exactly as skipping would. In Stv
  // they add t * -0 = +-0: Stv starts at +0 and a sum of round-to-nearest
  // additions from +0 is never -0, so that changes nothing either.
  const __m128 mv = _mm_or_ps(_mm_and_ps(m, vt), _mm_andnot_ps(m, sign));
  f->sv = _mm_add_ps(f->sv, mv);
  f->stv = _mm_add_ps(f->stv, _mm_mul_ps(_mm_set1_ps(static_cast<float>(t)), mv));
}

inline __m128 fit_end(const fit_sums& f) {
  const __m128 one = _mm_set1_ps(1.0f);
  const __m128i low8 = _mm_set1_epi32(0xFF);
  const __m128i cnt_i = _mm_and_si128(f.packed, low8);
  const __m128i st_i =
      _mm_sub_epi32(_mm_and_si128(_mm_srli_epi32(f.packed, 8), low8), _mm_slli_epi32(cnt_i, 2));
  const __m128 cnt = _mm_cvtepi32_ps(cnt_i);
  const __m128 st = _mm_cvtepi32_ps(st_i);
  const __m128 stt = _mm_cvtepi32_ps(_mm_srli_epi32(f.packed, 16));
  const __m128 d = _mm_sub_ps(_mm_mul_ps(_mm_add_ps(cnt, one), stt), _mm_mul_ps(st, st));
  const __m128 q = _mm_sub_ps(_mm_mul_ps(f.sv, stt), _mm_mul_ps(f.stv, st));
  const __m128 r = _mm_div_ps(q, d);
  // No neighbour taken: the current value, whatever the (undefined) quotient.
  const __m128 none = _mm_cmpeq_ps(cnt, _mm_setzero_ps());
  return _mm_or_ps(_mm_and_ps(none, f.v0), _mm_andnot_ps(none, r));
}

}  // namespace

template <int R>
static void fit_sse2(int count, const float* thr, float* dst, const float* at, int slot_stride,
                     const window_slots* ws) {
  const int off0 = ws->slot[R] * slot_stride;
  int off[2 * R];
  for (int j = 0; j < 2 * R; ++j) off[j] = ws->slot[j < R ? j : j + 1] * slot_stride;

  // From five frames on, eight positions per step, as two groups of four:
  // their additions chain independently, so interleaving them hides the
  // latency of each chain. (The window-3 variant is faster one group at a
  // time.) The slots' values come in as separate streams, which the hardware
  // prefetcher follows. The two groups' sums fill eight vector registers, all
  // that i686 has: there they spilled, and one group at a time executes a
  // fifth fewer instructions.
  constexpr bool two_groups = R >= 2 && sizeof(void*) == 8;
  int i = 0;
  if (two_groups) {
    for (; i + 8 <= count; i += 8) {
      const float* p = at + i;
      fit_sums a, b;
      fit_begin(&a, p, off0);
      fit_begin(&b, p + 4, off0);
      for (int j = 0; j < 2 * R; ++j) {
        const int t = j < R ? j - R : j - R + 1;
        fit_add(&a, p, off[j], t, thr + 4 * j);
        fit_add(&b, p + 4, off[j], t, thr + 4 * j);
      }
      _mm_store_ps(dst + i, fit_end(a));
      _mm_store_ps(dst + i + 4, fit_end(b));
    }
  }
  for (; i < count; i += 4) {
    fit_sums a;
    fit_begin(&a, at + i, off0);
    #pragma GCC unroll 8
    for (int j = 0; j < 2 * R; ++j)
      fit_add(&a, at + i, off[j], j < R ? j - R : j - R + 1, thr + 4 * j);
    _mm_store_ps(dst + i, fit_end(a));
  }
}

void temporal_fit_w3_sse2(int count, const float* thr, float* dst, const float* at, int slot_stride,
                          const window_slots* ws) {
  fit_sse2<1>(count, thr, dst, at, slot_stride, ws);
}
void temporal_fit_w5_sse2(int count, const float* thr, float* dst, const float* at, int slot_stride,
                          const window_slots* ws) {
  fit_sse2<2>(count, thr, dst, at, slot_stride, ws);
}
void temporal_fit_w7_sse2(int count, const float* thr, float* dst, const float* at, int slot_stride,
                          const window_slots* ws) {
  fit_sse2<3>(count, thr, dst, at, slot_stride, ws);
}
void temporal_fit_w9_sse2(int count, const float* thr, float* dst, const float* at, int slot_stride,
                          const window_slots* ws) {
  fit_sse2<4>(count, thr, dst, at, slot_stride, ws);
}
