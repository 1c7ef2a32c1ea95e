// Mosquito-noise reduction, SSE2 version: one quad (eight samples) per vector.
#include <emmintrin.h>

#include "prefilter/prefilter.h"
#include "prefilter/prefilter_internal.h"
#include "prefilter/quad_sse2.h"

using namespace prefilter_detail;

namespace {

inline __m128i select16(__m128i mask, __m128i yes, __m128i no) {
  return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

// Sign-extends lanes 0-3 (lo) or 4-7 (hi) to 32 bits.
inline __m128i widen_lo(__m128i v) { return _mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16); }
inline __m128i widen_hi(__m128i v) { return _mm_srai_epi32(_mm_unpackhi_epi16(v, v), 16); }

// (((2v + v) + c2) + 4) >> 3 - bias in 32 bits, saturated to 16 on packing.
inline __m128i blend32(__m128i v, __m128i c2, __m128i bias) {
  const __m128i four = _mm_set1_epi32(4);
  const __m128i tl = _mm_add_epi32(
      _mm_add_epi32(_mm_add_epi32(_mm_add_epi32(widen_lo(v), widen_lo(v)), widen_lo(v)),
                    widen_lo(c2)),
      four);
  const __m128i th = _mm_add_epi32(
      _mm_add_epi32(_mm_add_epi32(_mm_add_epi32(widen_hi(v), widen_hi(v)), widen_hi(v)),
                    widen_hi(c2)),
      four);
  const __m128i ol = _mm_sub_epi32(_mm_srai_epi32(tl, 3), widen_lo(bias));
  const __m128i oh = _mm_sub_epi32(_mm_srai_epi32(th, 3), widen_hi(bias));
  return _mm_packs_epi32(ol, oh);
}

}  // namespace

void mosquito_nr_rows_sse2(const PIXEL_YC* src, const PIXEL_YC* prev, const PIXEL_YC* next,
                           const FILTER_PROC_INFO* fpip, int field_step, int strength,
                           int y_begin, int y_end) {
  const int w = fpip->w;
  const int h = fpip->h;
  const int pitch = fpip->max_w;
  const int16_t s = strength_to_int16(strength);
  const __m128i bias = _mm_setr_epi16(0, mosquito_chroma_bias, mosquito_chroma_bias, 0, 0,
                                      mosquito_chroma_bias, mosquito_chroma_bias, 0);
  const __m128i luma_lanes = _mm_setr_epi16(-1, 0, 0, -1, -1, 0, 0, -1);
  const __m128i all_lanes = _mm_set1_epi16(-1);
  const __m128i start_best = _mm_set1_epi16(adds16(s, s));
  const __m128i stop_cost = _mm_set1_epi16(mosquito_stop_cost);
  __m128i lane_mask[mosquito_candidate_count];
  for (int i = 0; i < mosquito_candidate_count; ++i)
    lane_mask[i] = mosquito_candidates[i].luma_only ? luma_lanes : all_lanes;

  for (int y = y_begin; y < y_end; ++y) {
    const PIXEL_YC* in = src + static_cast<ptrdiff_t>(y) * pitch;
    PIXEL_YC* out = fpip->ycp_temp + static_cast<ptrdiff_t>(y) * pitch;
    if (y < 2 || y > h - 3) {
      copy_pixels(out, in, w);
      continue;
    }
    mosquito_tap_at taps[mosquito_candidate_count][2];
    mosquito_row_taps(src, prev, next, pitch, field_step, y, taps);
    copy_pixels(out, in, 2);
    copy_pixels(out + w - 2, in + w - 2, 2);
    for (int x = 2; x <= w - 6; x += 4) {
      const __m128i c = _mm_adds_epi16(load_quad(in + x), bias);
      const __m128i c2 = _mm_adds_epi16(c, c);
      __m128i best = start_best;
      __m128i v = c2;
      int cand = 0;
      for (int stage = 0; stage < mosquito_stage_count; ++stage) {
        for (; cand <= mosquito_stage_last[stage]; ++cand) {
          const mosquito_tap_at& ta = taps[cand][0];
          const mosquito_tap_at& tb = taps[cand][1];
          const __m128i a = _mm_adds_epi16(load_quad(ta.frame + (ta.offset + x)), bias);
          const __m128i b = _mm_adds_epi16(load_quad(tb.frame + (tb.offset + x)), bias);
          const __m128i sum = _mm_adds_epi16(a, b);
          const __m128i cost = _mm_adds_epi16(absdiff_sat(sum, c2), absdiff_sat(a, b));
          // cost <= best, in the lanes the candidate applies to
          const __m128i take = _mm_andnot_si128(_mm_cmpgt_epi16(cost, best), lane_mask[cand]);
          v = select16(take, sum, v);
          best = select16(take, cost, best);
        }
        if (_mm_movemask_epi8(_mm_cmpgt_epi16(best, stop_cost)) == 0) break;
      }
      __m128i first, second;
      spread_quad(blend32(v, c2, bias), &first, &second);
      store_pixels4(out + x, first, second);
    }
  }
}
