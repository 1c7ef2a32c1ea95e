// Mosquito-noise reduction, AVX2 version: two quads (sixteen samples) per
// vector, the quad at x in the low half and the quad at x + 4 in the high half.
// The early stop stays per quad: once a quad's eight samples are all calm
// after a stage, its half takes no further candidate, and the search ends
// when both halves are calm.
// Every function here is local, so no AVX2 code can stand in for an inline
// function of another file; from the shared header only the candidate table
// and constants are used.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "prefilter/prefilter.h"
#include "prefilter/prefilter_internal.h"

namespace {

using prefilter_detail::mosquito_candidate_count;
using prefilter_detail::mosquito_candidates;
using prefilter_detail::mosquito_chroma_bias;
using prefilter_detail::mosquito_stage_count;
using prefilter_detail::mosquito_stage_last;
using prefilter_detail::mosquito_stop_cost;

inline int16_t clamp16(int v) {
  return static_cast<int16_t>(v > 32767 ? 32767 : (v < -32768 ? -32768 : v));
}

inline __m128i load8(const PIXEL_YC* p) {
  return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
}

// Shorts 0-3 of pixels p and p + 2 (low half), p + 4 and p + 6 (high half).
inline __m256i load_quads(const PIXEL_YC* p) {
  const __m256i a = _mm256_inserti128_si256(_mm256_castsi128_si256(load8(p)), load8(p + 4), 1);
  const __m256i b = _mm256_inserti128_si256(_mm256_castsi128_si256(load8(p + 2)), load8(p + 6), 1);
  return _mm256_unpacklo_epi64(a, b);
}

inline __m256i absdiff_sat(__m256i a, __m256i b) {
  return _mm256_max_epi16(_mm256_subs_epi16(a, b), _mm256_subs_epi16(b, a));
}

inline __m256i select16(__m256i mask, __m256i yes, __m256i no) {
  return _mm256_blendv_epi8(no, yes, mask);
}

inline __m256i widen_lo(__m256i v) { return _mm256_srai_epi32(_mm256_unpacklo_epi16(v, v), 16); }
inline __m256i widen_hi(__m256i v) { return _mm256_srai_epi32(_mm256_unpackhi_epi16(v, v), 16); }

// (((2v + v) + c2) + 4) >> 3 - bias in 32 bits, saturated to 16 on packing
// (unpacking and packing both per 128-bit half, so lanes stay in order).
inline __m256i blend32(__m256i v, __m256i c2, __m256i bias) {
  const __m256i four = _mm256_set1_epi32(4);
  const __m256i vl = widen_lo(v), vh = widen_hi(v);
  const __m256i tl = _mm256_add_epi32(
      _mm256_add_epi32(_mm256_add_epi32(_mm256_add_epi32(vl, vl), vl), widen_lo(c2)), four);
  const __m256i th = _mm256_add_epi32(
      _mm256_add_epi32(_mm256_add_epi32(_mm256_add_epi32(vh, vh), vh), widen_hi(c2)), four);
  const __m256i ol = _mm256_sub_epi32(_mm256_srai_epi32(tl, 3), widen_lo(bias));
  const __m256i oh = _mm256_sub_epi32(_mm256_srai_epi32(th, 3), widen_hi(bias));
  return _mm256_packs_epi32(ol, oh);
}

// Lanes (y0 cb0 cr0 y1 y2 cb2 cr2 y3) of each half to the twelve shorts of the
// quad's pixels, odd pixels repeating the chroma to their left; stores pixels
// x .. x + 7.
inline void spread_and_store(__m256i lanes, PIXEL_YC* out) {
  const __m256i shifted = _mm256_srli_si256(lanes, 2);
  const __m256i pick = _mm256_castps_si256(_mm256_shuffle_ps(
      _mm256_castsi256_ps(shifted), _mm256_castsi256_ps(lanes), _MM_SHUFFLE(3, 2, 2, 0)));
  const __m256i order = _mm256_shuffle_epi32(pick, _MM_SHUFFLE(1, 3, 2, 0));
  const __m256i first = _mm256_unpacklo_epi64(lanes, order);
  const __m256i second = _mm256_unpackhi_epi64(order, order);
  short* o = reinterpret_cast<short*>(out);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm256_castsi256_si128(first));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(o + 8), _mm256_castsi256_si128(second));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 12), _mm256_extracti128_si256(first, 1));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(o + 20), _mm256_extracti128_si256(second, 1));
}

}  // namespace

void mosquito_nr_rows_avx2(const PIXEL_YC* src, const PIXEL_YC* prev, const PIXEL_YC* next,
                           const FILTER_PROC_INFO* fpip, int field_step, int strength,
                           int y_begin, int y_end) {
  const int w = fpip->w;
  const int h = fpip->h;
  const ptrdiff_t pitch = fpip->max_w;
  const int16_t s = clamp16(strength);
  const int16_t b = mosquito_chroma_bias;
  const __m256i bias = _mm256_setr_epi16(0, b, b, 0, 0, b, b, 0, 0, b, b, 0, 0, b, b, 0);
  const __m256i luma_lanes =
      _mm256_setr_epi16(-1, 0, 0, -1, -1, 0, 0, -1, -1, 0, 0, -1, -1, 0, 0, -1);
  const __m256i all_lanes = _mm256_set1_epi16(-1);
  const __m256i start_best = _mm256_set1_epi16(clamp16(2 * s));
  const __m256i stop_cost = _mm256_set1_epi16(mosquito_stop_cost);
  __m256i lane_mask[mosquito_candidate_count];
  for (int i = 0; i < mosquito_candidate_count; ++i)
    lane_mask[i] = mosquito_candidates[i].luma_only ? luma_lanes : all_lanes;
  const PIXEL_YC* frames[3] = {src, prev, next};

  for (int y = y_begin; y < y_end; ++y) {
    const PIXEL_YC* in = src + y * pitch;
    PIXEL_YC* out = fpip->ycp_temp + y * pitch;
    if (y < 2 || y > h - 3) {
      std::memcpy(out, in, sizeof(PIXEL_YC) * static_cast<size_t>(w));
      continue;
    }
    // Where each candidate end reads for this row: pixel x is frame[offset + x].
    const PIXEL_YC* frame[mosquito_candidate_count][2];
    ptrdiff_t offset[mosquito_candidate_count][2];
    for (int i = 0; i < mosquito_candidate_count; ++i) {
      const prefilter_detail::mosquito_tap ends[2] = {mosquito_candidates[i].a,
                                                      mosquito_candidates[i].b};
      for (int e = 0; e < 2; ++e) {
        const int row = y + ends[e].row_f * field_step + ends[e].row_1;
        frame[i][e] = frames[ends[e].frame];
        offset[i][e] = row * pitch + ends[e].dx;
      }
    }
    std::memcpy(out, in, sizeof(PIXEL_YC) * 2);
    std::memcpy(out + w - 2, in + w - 2, sizeof(PIXEL_YC) * 2);
    // Quads at 2, 6, .., w - 6 in pairs; their count is odd, so the last pair
    // starts at w - 10 and redoes the quad at w - 10 (same result).
    for (int x = 2;; x += 8) {
      if (x > w - 10) x = w - 10;
      const __m256i c = _mm256_adds_epi16(load_quads(in + x), bias);
      const __m256i c2 = _mm256_adds_epi16(c, c);
      __m256i best = start_best;
      __m256i v = c2;
      __m256i active = all_lanes;  // halves whose quad is still searching
      int cand = 0;
      for (int stage = 0; stage < mosquito_stage_count; ++stage) {
        for (; cand <= mosquito_stage_last[stage]; ++cand) {
          const PIXEL_YC* pa = frame[cand][0] + (offset[cand][0] + x);
          const PIXEL_YC* pb = frame[cand][1] + (offset[cand][1] + x);
          const __m256i a = _mm256_adds_epi16(load_quads(pa), bias);
          const __m256i bb = _mm256_adds_epi16(load_quads(pb), bias);
          const __m256i sum = _mm256_adds_epi16(a, bb);
          const __m256i cost = _mm256_adds_epi16(absdiff_sat(sum, c2), absdiff_sat(a, bb));
          // cost <= best, in the lanes the candidate applies to, of active quads
          const __m256i take = _mm256_andnot_si256(_mm256_cmpgt_epi16(cost, best),
                                                   _mm256_and_si256(lane_mask[cand], active));
          v = select16(take, sum, v);
          best = select16(take, cost, best);
        }
        // A half is calm when none of its eight costs is above the stop.
        const int high = _mm256_movemask_epi8(_mm256_cmpgt_epi16(best, stop_cost));
        const __m256i calm_lo = (high & 0xffff) ? _mm256_setzero_si256() : all_lanes;
        const __m256i calm_hi = (high >> 16) ? _mm256_setzero_si256() : all_lanes;
        active = _mm256_andnot_si256(_mm256_permute2x128_si256(calm_lo, calm_hi, 0x20), active);
        if (_mm256_testz_si256(active, active)) break;
      }
      spread_and_store(blend32(v, c2, bias), out + x);
      if (x == w - 10) break;
    }
  }
}
