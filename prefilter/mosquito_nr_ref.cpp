// Mosquito-noise reduction, scalar version.
//
// For each sample c (chroma biased by 2048), the candidate pairs (a, b) of
// mosquito_candidates are tried in order. A pair explains the sample well when
// its sum is close to 2c and its two ends agree:
//     cost = |(a + b) - 2c| + |a - b|
// The pair of least cost not above 2 * strength wins, a later pair winning a
// tie; the sample becomes three quarters of the pair's mean plus a quarter of
// itself. Without an accepted pair the sample keeps its value (v = 2c).
//
// The candidates come in six stages, cheapest first: after each of the first
// five, the search ends for the whole quad when all eight samples have found a
// pair of cost at most 15. The stop is decided per quad, as the SSE2 version
// does, so the two agree.
#include "prefilter/prefilter.h"
#include "prefilter/prefilter_internal.h"

using namespace prefilter_detail;

namespace {

void mosquito_nr_quad(const mosquito_tap_at taps[mosquito_candidate_count][2],
                      const PIXEL_YC* centre, int x, int16_t strength, PIXEL_YC* out) {
  int16_t bias[8], c2[8], best[8], v[8];
  for (int k = 0; k < 8; ++k) {
    bias[k] = quad_lane_comp[k] != 0 ? mosquito_chroma_bias : 0;
    const int16_t c = adds16(sample_at(&centre[x + quad_lane_pixel[k]], quad_lane_comp[k]), bias[k]);
    c2[k] = adds16(c, c);
    best[k] = adds16(strength, strength);
    v[k] = c2[k];
  }
  int cand = 0;
  for (int stage = 0; stage < mosquito_stage_count; ++stage) {
    for (; cand <= mosquito_stage_last[stage]; ++cand) {
      const mosquito_tap_at& ta = taps[cand][0];
      const mosquito_tap_at& tb = taps[cand][1];
      for (int k = 0; k < 8; ++k) {
        const int comp = quad_lane_comp[k];
        if (mosquito_candidates[cand].luma_only && comp != 0) continue;
        const int px = x + quad_lane_pixel[k];
        const int16_t a = adds16(sample_at(&ta.frame[ta.offset + px], comp), bias[k]);
        const int16_t b = adds16(sample_at(&tb.frame[tb.offset + px], comp), bias[k]);
        const int16_t sum = adds16(a, b);
        const int16_t cost = adds16(absdiff16(sum, c2[k]), absdiff16(a, b));
        if (cost <= best[k]) {
          v[k] = sum;
          best[k] = cost;
        }
      }
    }
    bool calm = true;
    for (int k = 0; k < 8; ++k) calm = calm && best[k] <= mosquito_stop_cost;
    if (calm) break;
  }
  int16_t o[8];
  for (int k = 0; k < 8; ++k) o[k] = mosquito_blend(v[k], c2[k], bias[k]);
  // Luma of each pixel takes its own result; pixels x + 1 and x + 3 take the
  // chroma results of pixels x and x + 2 (lanes 1, 2 and 5, 6).
  const int luma_lane[4] = {0, 3, 4, 7};
  for (int p = 0; p < 4; ++p) {
    const int chroma_lane = p < 2 ? 1 : 5;
    out[x + p].y = o[luma_lane[p]];
    out[x + p].cb = o[chroma_lane];
    out[x + p].cr = o[chroma_lane + 1];
  }
}

}  // namespace

void mosquito_nr_rows_ref(const PIXEL_YC* src, const PIXEL_YC* prev, const PIXEL_YC* next,
                          const FILTER_PROC_INFO* fpip, int field_step, int strength, int y_begin,
                          int y_end) {
  const int w = fpip->w;
  const int h = fpip->h;
  const int pitch = fpip->max_w;
  const int16_t s = strength_to_int16(strength);
  copy_unfiltered(src, fpip->ycp_temp, pitch, w, y_begin, y_end, 2, h - 2);
  for (int y = y_begin > 2 ? y_begin : 2; y < y_end && y < h - 2; ++y) {
    const PIXEL_YC* in = src + static_cast<ptrdiff_t>(y) * pitch;
    PIXEL_YC* out = fpip->ycp_temp + static_cast<ptrdiff_t>(y) * pitch;
    mosquito_tap_at taps[mosquito_candidate_count][2];
    mosquito_row_taps(src, prev, next, pitch, field_step, y, taps);
    for (int x = 2; x <= w - 6; x += 4) mosquito_nr_quad(taps, in, x, s, out);
  }
}
