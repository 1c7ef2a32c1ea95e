// Eight positions per step: one 32-byte load per slot of the window.
#include <immintrin.h>

#include "temporal/temporal_fit.h"

namespace {

// Count, sum of t + 4 and sum of t*t of the included neighbours in one integer
// lane, as in the SSE2 version.
constexpr int packed_term(int t) { return 1 + ((t + 4) << 8) + ((t * t) << 16); }

// Eight positions of one slot, or (tail) four positions in both halves: the
// tail must not read past the band, which may end the ring.
template <bool tail>
inline __m256 load_slot(const float* p) {
  return tail ? _mm256_broadcast_ps(reinterpret_cast<const __m128*>(p)) : _mm256_loadu_ps(p);
}

template <int R>
struct fit8 {
  __m256 thr[2 * R];  // per neighbour, broadcast
  int off[2 * R];     // float offset of the neighbour's values
  int off0;           // of the current frame's values

  // Eight results for positions p .. p + 7 (tail: p .. p + 3, twice).
  template <bool tail = false>
  inline __m256 run(const float* p) const {
    const __m256 sign = _mm256_set1_ps(-0.0f);
    const __m256 v0 = load_slot<tail>(p + off0);
    __m256 sv = v0, stv = _mm256_setzero_ps();
    __m256i packed = _mm256_setzero_si256();
#pragma GCC unroll 8
    for (int j = 0; j < 2 * R; ++j) {
      const int t = j < R ? j - R : j - R + 1;
      const __m256 vt = load_slot<tail>(p + off[j]);
      const __m256 ad = _mm256_andnot_ps(sign, _mm256_sub_ps(vt, v0));
      const __m256 m = _mm256_cmp_ps(ad, thr[j], _CMP_LT_OS);
      packed = _mm256_add_epi32(
          packed, _mm256_and_si256(_mm256_castps_si256(m), _mm256_set1_epi32(packed_term(t))));
      // vt where included, -0 elsewhere (leaves Sv and Stv as skipping would).
      const __m256 mv = _mm256_blendv_ps(sign, vt, m);
      sv = _mm256_add_ps(sv, mv);
      // t * mv: exact for t = +-1 (mv is never NaN), so a sign flip or nothing.
      const __m256 tv = t == 1    ? mv
                        : t == -1 ? _mm256_xor_ps(mv, sign)
                                  : _mm256_mul_ps(_mm256_set1_ps(static_cast<float>(t)), mv);
      stv = _mm256_add_ps(stv, tv);
    }
    const __m256i low8 = _mm256_set1_epi32(0xFF);
    const __m256i cnt_i = _mm256_and_si256(packed, low8);
    const __m256i st_i = _mm256_sub_epi32(_mm256_and_si256(_mm256_srli_epi32(packed, 8), low8),
                                          _mm256_slli_epi32(cnt_i, 2));
    const __m256 cnt = _mm256_cvtepi32_ps(cnt_i);
    const __m256 st = _mm256_cvtepi32_ps(st_i);
    const __m256 stt = _mm256_cvtepi32_ps(_mm256_srli_epi32(packed, 16));
    const __m256 d = _mm256_sub_ps(_mm256_mul_ps(_mm256_add_ps(cnt, _mm256_set1_ps(1.0f)), stt),
                                   _mm256_mul_ps(st, st));
    const __m256 q = _mm256_sub_ps(_mm256_mul_ps(sv, stt), _mm256_mul_ps(stv, st));
    const __m256 none = _mm256_cmp_ps(cnt, _mm256_setzero_ps(), _CMP_EQ_OQ);
    return _mm256_blendv_ps(_mm256_div_ps(q, d), v0, none);
  }
};

}  // namespace

template <int R>
static void fit_avx2(int count, const float* thr, float* dst, const float* at, int slot_stride,
                     const window_slots* ws) {
  fit8<R> f;
  f.off0 = ws->slot[R] * slot_stride;
  for (int j = 0; j < 2 * R; ++j) {
    f.off[j] = ws->slot[j < R ? j : j + 1] * slot_stride;
    f.thr[j] = _mm256_broadcast_ps(reinterpret_cast<const __m128*>(thr + 4 * j));
  }
  // The slots' values come in as separate streams, which the hardware
  // prefetcher follows better than added prefetch instructions (measured).
  // dst is only 16-byte aligned: unaligned 32-byte stores.
  int i = 0;
  for (; i + 8 <= count; i += 8) _mm256_storeu_ps(dst + i, f.run(at + i));
  if (i < count) _mm_store_ps(dst + i, _mm256_castps256_ps128(f.template run<true>(at + i)));
}

void temporal_fit_w3_avx2(int count, const float* thr, float* dst, const float* at, int slot_stride,
                          const window_slots* ws) {
  fit_avx2<1>(count, thr, dst, at, slot_stride, ws);
}
void temporal_fit_w5_avx2(int count, const float* thr, float* dst, const float* at, int slot_stride,
                          const window_slots* ws) {
  fit_avx2<2>(count, thr, dst, at, slot_stride, ws);
}
void temporal_fit_w7_avx2(int count, const float* thr, float* dst, const float* at, int slot_stride,
                          const window_slots* ws) {
  fit_avx2<3>(count, thr, dst, at, slot_stride, ws);
}
void temporal_fit_w9_avx2(int count, const float* thr, float* dst, const float* at, int slot_stride,
                          const window_slots* ws) {
  fit_avx2<4>(count, thr, dst, at, slot_stride, ws);
}
