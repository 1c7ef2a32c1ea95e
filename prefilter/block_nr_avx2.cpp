// Block-noise reduction, AVX2 version: two quads (sixteen samples) per vector,
// the quad at x in the low half and the quad at x + 4 in the high half; every
// step is the SSE2 version's, lane by lane.
// Every function here is local, so no AVX2 code can stand in for an inline
// function of another file: the few shared details are repeated below.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "prefilter/prefilter.h"

namespace {

inline int16_t clamp16(int v) {
  return static_cast<int16_t>(v > 32767 ? 32767 : (v < -32768 ? -32768 : v));
}

// Luma of a pixel pair is a skin tone when its first pixel lies in this range.
inline bool skin_tone(const PIXEL_YC& p) {
  return p.y > 1400 && p.y < 3000 && p.cr > -50 && p.cr < 600 && p.cb > -680 && p.cb < 280;
}

inline __m128i load8(const PIXEL_YC* p) {
  return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
}

// Shorts 0-3 of pixels p and p + 2 (low half), p + 4 and p + 6 (high half):
// the lane orders of the quads at p and p + 4.
inline __m256i load_quads(const PIXEL_YC* p) {
  const __m256i a = _mm256_inserti128_si256(_mm256_castsi128_si256(load8(p)), load8(p + 4), 1);
  const __m256i b = _mm256_inserti128_si256(_mm256_castsi128_si256(load8(p + 2)), load8(p + 6), 1);
  return _mm256_unpacklo_epi64(a, b);
}

inline __m256i absdiff_sat(__m256i a, __m256i b) {
  return _mm256_max_epi16(_mm256_subs_epi16(a, b), _mm256_subs_epi16(b, a));
}

constexpr int win_at(int i, int j) { return (i + 2) * 5 + (j + 2); }

__m256i block_nr_delta_quads(const __m256i win[25], __m256i diff_limit, __m256i sum_limit) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i centre = win[win_at(0, 0)];
  // count holds -n: each accepted candidate adds its all-ones mask.
  __m256i count = _mm256_and_si256(_mm256_cmpgt_epi16(diff_limit, zero),
                                   _mm256_cmpgt_epi16(sum_limit, zero));
  __m256i acc = zero;
#pragma GCC unroll 3
  for (int ci = -1; ci <= 1; ++ci) {
#pragma GCC unroll 3
    for (int cj = -1; cj <= 1; ++cj) {
      if (ci == 0 && cj == 0) continue;
      __m256i peak = zero, sum = zero;
#pragma GCC unroll 3
      for (int di = -1; di <= 1; ++di) {
#pragma GCC unroll 3
        for (int dj = -1; dj <= 1; ++dj) {
          if (di == 0 && dj == 0) continue;
          // Operands in window order, so candidates c and -c share each |d|.
          const int p = win_at(di, dj), q = win_at(ci + di, cj + dj);
          const __m256i d = p < q ? absdiff_sat(win[p], win[q]) : absdiff_sat(win[q], win[p]);
          peak = _mm256_max_epi16(peak, d);
          sum = _mm256_adds_epi16(sum, d);
        }
      }
      const __m256i ok = _mm256_and_si256(_mm256_cmpgt_epi16(diff_limit, peak),
                                          _mm256_cmpgt_epi16(sum_limit, sum));
      acc = _mm256_adds_epi16(
          acc, _mm256_and_si256(ok, _mm256_subs_epi16(win[win_at(ci, cj)], centre)));
      count = _mm256_add_epi16(count, ok);
    }
  }
  const __m256i n = _mm256_max_epi16(_mm256_sub_epi16(zero, count), _mm256_set1_epi16(1));
  // Sign-extend A, zero-extend n, divide exactly; unpacking and packing both
  // work per 128-bit half, so the lanes come back in order.
  const __m256 acc_lo = _mm256_cvtepi32_ps(_mm256_srai_epi32(_mm256_unpacklo_epi16(acc, acc), 16));
  const __m256 acc_hi = _mm256_cvtepi32_ps(_mm256_srai_epi32(_mm256_unpackhi_epi16(acc, acc), 16));
  const __m256 n_lo = _mm256_cvtepi32_ps(_mm256_unpacklo_epi16(n, zero));
  const __m256 n_hi = _mm256_cvtepi32_ps(_mm256_unpackhi_epi16(n, zero));
  const __m256 half = _mm256_set1_ps(0.5f);
  const __m256i d_lo = _mm256_cvttps_epi32(_mm256_add_ps(_mm256_div_ps(acc_lo, n_lo), half));
  const __m256i d_hi = _mm256_cvttps_epi32(_mm256_add_ps(_mm256_div_ps(acc_hi, n_hi), half));
  return _mm256_packs_epi32(d_lo, d_hi);
}

// Lanes (y0 cb0 cr0 y1 y2 cb2 cr2 y3) of each half to the pixel order
// y0 cb0 cr0 y1 cb0 cr0 y2 cb2 (first) and cr2 y3 cb2 cr2 (second, low 8
// bytes), as the SSE2 version's spread, per half.
inline void spread_quads(__m256i lanes, __m256i* first, __m256i* second) {
  const __m256i shifted = _mm256_srli_si256(lanes, 2);
  const __m256i pick = _mm256_castps_si256(_mm256_shuffle_ps(
      _mm256_castsi256_ps(shifted), _mm256_castsi256_ps(lanes), _MM_SHUFFLE(3, 2, 2, 0)));
  const __m256i order = _mm256_shuffle_epi32(pick, _MM_SHUFFLE(1, 3, 2, 0));
  *first = _mm256_unpacklo_epi64(lanes, order);
  *second = _mm256_unpackhi_epi64(order, order);
}

// Adds the spread corrections to pixels x .. x + 7 of in and stores them.
inline void add_and_store(const PIXEL_YC* in, PIXEL_YC* out, __m256i delta) {
  __m256i d_first, d_second;
  spread_quads(delta, &d_first, &d_second);
  const short* s = reinterpret_cast<const short*>(in);
  short* o = reinterpret_cast<short*>(out);
  const __m256i s_first = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(s + 12),
                                               reinterpret_cast<const __m128i*>(s));
  const __m256i s_second = _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(s + 8))),
      _mm_loadl_epi64(reinterpret_cast<const __m128i*>(s + 20)), 1);
  const __m256i r_first = _mm256_adds_epi16(s_first, d_first);
  const __m256i r_second = _mm256_adds_epi16(s_second, d_second);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm256_castsi256_si128(r_first));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(o + 8), _mm256_castsi256_si128(r_second));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 12), _mm256_extracti128_si256(r_first, 1));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(o + 20), _mm256_extracti128_si256(r_second, 1));
}

}  // namespace

void block_nr_rows_avx2(const FILTER_PROC_INFO* fpip, const PIXEL_YC* src, int field_step,
                        int diff_limit, int sum_limit, int y_begin, int y_end, uint8_t anime) {
  const int w = fpip->w;
  const ptrdiff_t pitch = fpip->max_w;
  const int16_t d = clamp16(diff_limit), s = clamp16(sum_limit);
  const int16_t skin_d = static_cast<int16_t>(d / 4), skin_s = static_cast<int16_t>(s / 4);
  const int16_t cd = static_cast<int16_t>(d / 2), cs = static_cast<int16_t>(s / 2);
  // Limit vectors for the sixteen skin-tone combinations of the two quads'
  // four pixel pairs (bit 0: pair x, x+1; 1: x+2, x+3; 2: x+4, x+5; 3: x+6, x+7).
  __m256i diff_vec[16], sum_vec[16];
  for (int k = 0; k < 16; ++k) {
    int16_t dl[4], sl[4];
    for (int b = 0; b < 4; ++b) {
      dl[b] = (k >> b) & 1 ? skin_d : d;
      sl[b] = (k >> b) & 1 ? skin_s : s;
    }
    diff_vec[k] = _mm256_setr_epi16(dl[0], cd, cd, dl[0], dl[1], cd, cd, dl[1], dl[2], cd, cd,
                                    dl[2], dl[3], cd, cd, dl[3]);
    sum_vec[k] = _mm256_setr_epi16(sl[0], cs, cs, sl[0], sl[1], cs, cs, sl[1], sl[2], cs, cs,
                                   sl[2], sl[3], cs, cs, sl[3]);
  }
  const int first = 2 * field_step, end = fpip->h - 2 * field_step;
  for (int y = y_begin; y < y_end; ++y) {
    const PIXEL_YC* in = src + y * pitch;
    PIXEL_YC* out = fpip->ycp_edit + y * pitch;
    if (y < first || y >= end) {
      std::memcpy(out, in, sizeof(PIXEL_YC) * static_cast<size_t>(w));
      continue;
    }
    const PIXEL_YC* rows[5];
    for (int i = 0; i < 5; ++i) rows[i] = in + (i - 2) * field_step * pitch;
    std::memcpy(out, in, sizeof(PIXEL_YC) * 2);
    std::memcpy(out + w - 2, in + w - 2, sizeof(PIXEL_YC) * 2);
    // Quads at 2, 6, .., w - 6 in pairs; their count is odd, so the last pair
    // starts at w - 10 and redoes the quad at w - 10 (same result).
    for (int x = 2;; x += 8) {
      if (x > w - 10) x = w - 10;
      __m256i win[25];
      for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 5; ++j) win[i * 5 + j] = load_quads(rows[i] + x + j - 2);
      int skin = 0;
      if (anime != 1)
        for (int b = 0; b < 4; ++b) skin |= skin_tone(in[x + 2 * b]) ? 1 << b : 0;
      add_and_store(in + x, out + x, block_nr_delta_quads(win, diff_vec[skin], sum_vec[skin]));
      if (x == w - 10) break;
    }
  }
}
