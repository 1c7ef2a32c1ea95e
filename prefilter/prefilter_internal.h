// Details shared by the scalar and SSE2 versions of the pre-filters: 16-bit
// saturating helpers, the sample layout of a quad, the block-noise limits and
// the mosquito-noise candidate pairs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "host/host_api.h"

// Copies what the filters pass through unchanged from src into dst, for rows
// [y_begin, y_end): whole rows outside the filtered rows [first, end), and
// pixels 0, 1, w - 2 and w - 1 of the filtered ones. An out-of-line function,
// so that every kernel version may call it.
void copy_unfiltered(const PIXEL_YC* src, PIXEL_YC* dst, ptrdiff_t pitch, int w, int y_begin,
                     int y_end, int first, int end);

namespace prefilter_detail {

inline int16_t sat16(int32_t v) {
  return static_cast<int16_t>(v > 32767 ? 32767 : (v < -32768 ? -32768 : v));
}
inline int16_t adds16(int16_t a, int16_t b) { return sat16(int32_t(a) + b); }
inline int16_t subs16(int16_t a, int16_t b) { return sat16(int32_t(a) - b); }
// |a - b| saturated to 32767, as the larger of the two saturated differences.
inline int16_t absdiff16(int16_t a, int16_t b) {
  const int16_t ab = subs16(a, b), ba = subs16(b, a);
  return ab > ba ? ab : ba;
}

// The eight samples of the quad at pixel x, in lane order: lane k is component
// quad_lane_comp[k] (0 y, 1 cb, 2 cr) of pixel x + quad_lane_pixel[k]. This is
// the order in which the first four shorts of pixels x and x + 2 lie in memory,
// so the SSE2 versions gather a lane vector with two 8-byte loads.
constexpr int quad_lane_pixel[8] = {0, 0, 0, 1, 2, 2, 2, 3};
constexpr int quad_lane_comp[8] = {0, 1, 2, 0, 0, 1, 2, 0};

inline int16_t sample_at(const PIXEL_YC* pixel, int comp) {
  return comp == 0 ? pixel->y : (comp == 1 ? pixel->cb : pixel->cr);
}

// A strength as the signed 16-bit value the filters compute with; values
// beyond the range saturate instead of wrapping to the other sign.
inline int16_t strength_to_int16(int v) { return sat16(v); }

// ---- Block noise ----

// Luma of a pixel pair is a skin tone when its first pixel lies in this range
// (all bounds exclusive); such luma is smoothed with a quarter of the limits.
inline bool is_skin_tone(const PIXEL_YC& p) {
  return p.y > 1400 && p.y < 3000 && p.cr > -50 && p.cr < 600 && p.cb > -680 && p.cb < 280;
}

// Per-sample limits: diff (every ring difference must stay below) and sum (the
// sum of the eight ring differences must stay below).
struct block_nr_limits {
  int16_t luma_diff, luma_sum;
  int16_t skin_diff, skin_sum;
  int16_t chroma_diff, chroma_sum;
};

inline block_nr_limits make_block_nr_limits(int diff_limit, int sum_limit) {
  const int16_t d = strength_to_int16(diff_limit);
  const int16_t s = strength_to_int16(sum_limit);
  block_nr_limits l;
  l.luma_diff = d;
  l.luma_sum = s;
  l.skin_diff = static_cast<int16_t>(d / 4);
  l.skin_sum = static_cast<int16_t>(s / 4);
  l.chroma_diff = static_cast<int16_t>(d / 2);
  l.chroma_sum = static_cast<int16_t>(s / 2);
  return l;
}

// First and last+1 rows of the frame that are filtered rather than copied.
inline int block_nr_first_row(int field_step) { return 2 * field_step; }
inline int block_nr_end_row(int h, int field_step) { return h - 2 * field_step; }

// ---- Mosquito noise ----

// Chroma is biased by this (saturating) before use and unbiased in the result.
constexpr int16_t mosquito_chroma_bias = 2048;
// The search stops for a quad once every sample's best cost is at most this.
constexpr int16_t mosquito_stop_cost = 15;

enum mosquito_frame : uint8_t { frame_src = 0, frame_prev = 1, frame_next = 2 };

// One end of a candidate pair: frame, pixel offset and row offset
// row_f * field_step + row_1.
struct mosquito_tap {
  uint8_t frame;
  int8_t dx;
  int8_t row_f;
  int8_t row_1;
};
struct mosquito_candidate {
  mosquito_tap a, b;
  bool luma_only;
};

// The candidate pairs in search order; stages end after the candidates whose
// index (0-based) is listed in mosquito_stage_last.
constexpr int mosquito_candidate_count = 19;
constexpr mosquito_candidate mosquito_candidates[mosquito_candidate_count] = {
    // stage 1: the same pixel in the neighbouring frames
    {{frame_prev, 0, 0, 0}, {frame_next, 0, 0, 0}, false},
    // stage 2: horizontally mirrored pixels in the neighbouring frames
    {{frame_prev, -1, 0, 0}, {frame_next, 1, 0, 0}, false},
    {{frame_prev, 1, 0, 0}, {frame_next, -1, 0, 0}, false},
    {{frame_prev, -2, 0, 0}, {frame_next, 2, 0, 0}, false},
    {{frame_prev, 2, 0, 0}, {frame_next, -2, 0, 0}, false},
    // stage 3: vertically mirrored rows (same field, then adjacent rows)
    {{frame_prev, 0, -1, 0}, {frame_next, 0, 1, 0}, false},
    {{frame_prev, 0, 1, 0}, {frame_next, 0, -1, 0}, false},
    {{frame_prev, 0, 0, -1}, {frame_next, 0, 0, 1}, false},
    {{frame_prev, 0, 0, 1}, {frame_next, 0, 0, -1}, false},
    // stage 4: the frame itself, vertical (same field) and horizontal pairs
    {{frame_src, 0, -1, 0}, {frame_src, 0, 1, 0}, false},
    {{frame_src, -1, 0, 0}, {frame_src, 1, 0, 0}, true},
    {{frame_src, -2, 0, 0}, {frame_src, 2, 0, 0}, true},
    // stage 5: diagonals within the same field
    {{frame_src, -2, -1, 0}, {frame_src, 2, 1, 0}, false},
    {{frame_src, 2, -1, 0}, {frame_src, -2, 1, 0}, false},
    {{frame_src, -1, -1, 0}, {frame_src, 1, 1, 0}, false},
    {{frame_src, 1, -1, 0}, {frame_src, -1, 1, 0}, false},
    // stage 6: the adjacent rows of the frame itself
    {{frame_src, 0, 0, -1}, {frame_src, 0, 0, 1}, false},
    {{frame_src, -1, 0, -1}, {frame_src, 1, 0, 1}, false},
    {{frame_src, 1, 0, -1}, {frame_src, -1, 0, 1}, false},
};
constexpr int mosquito_stage_count = 6;
constexpr int mosquito_stage_last[mosquito_stage_count] = {0, 4, 8, 11, 15, 18};

// Where one candidate end reads for the current row: pixel x of the quad is
// frame[offset + x] (offset = row * pitch + dx, so no pointer ever leaves the
// frame).
struct mosquito_tap_at {
  const PIXEL_YC* frame;
  ptrdiff_t offset;
};

inline void mosquito_row_taps(const PIXEL_YC* src, const PIXEL_YC* prev, const PIXEL_YC* next,
                              int pitch, int field_step, int y,
                              mosquito_tap_at taps[mosquito_candidate_count][2]) {
  const PIXEL_YC* frames[3] = {src, prev, next};
  for (int i = 0; i < mosquito_candidate_count; ++i) {
    const mosquito_tap ends[2] = {mosquito_candidates[i].a, mosquito_candidates[i].b};
    for (int e = 0; e < 2; ++e) {
      const int row = y + ends[e].row_f * field_step + ends[e].row_1;
      taps[i][e].frame = frames[ends[e].frame];
      taps[i][e].offset = static_cast<ptrdiff_t>(row) * pitch + ends[e].dx;
    }
  }
}

// The final blend of a sample c (biased) with the chosen pair sum v (doubled
// centre C2 = 2c when no pair was taken): three quarters of the pair's mean
// plus a quarter of the sample, rounded. Computed in 32 bits so that samples
// near the top of the range (whites up to and beyond 4096) are not clipped;
// only the unbiased result saturates.
inline int16_t mosquito_blend(int16_t v, int16_t c2, int16_t bias) {
  const int32_t t = ((2 * int32_t(v) + v) + c2) + 4;
  return sat16((t >> 3) - bias);
}

}  // namespace prefilter_detail
