// Block-noise reduction, scalar version.
//
// For a sample at pixel p, row y, the 5 x 5 window W(i, j) (i, j = -2 .. 2)
// holds the same component at pixel p + j, row y + i * F. The nine positions
// (ci, cj) of the inner 3 x 3 are the candidates; the eight positions around a
// centre form its ring:
//
//     W(-2,-2) .  .  .  W(-2,2)
//        .   [ -1,-1  -1,0  -1,1 ]          candidate (1, 1) compares
//        .   [  0,-1   0,0   0,1 ]  .       ring (di, dj) of the sample with
//        .   [  1,-1   1,0   1,1 ]          ring (1 + di, 1 + dj): W(0..2, 0..2)
//     W(2,-2)  .  .  .  W(2,2)
//
// A candidate is accepted when, position by position, every |W(d) - W(c + d)|
// is below the difference limit and the sum of the eight is below the sum
// limit. The sample moves by the mean offset A / n of the accepted candidates
// (A = sum of W(c) - W(0, 0)), plus one half, truncated toward zero.
#include "prefilter/prefilter.h"
#include "prefilter/prefilter_internal.h"

using namespace prefilter_detail;

namespace {

// Correction of one sample from its window and limits.
int16_t block_nr_delta(const int16_t w[5][5], int16_t diff_limit, int16_t sum_limit) {
  // The centre candidate compares its ring with itself (all differences 0):
  // accepted exactly when both limits are positive, and it adds 0 to A.
  int16_t acc = 0;
  int16_t n = (diff_limit > 0 && sum_limit > 0) ? 1 : 0;
  for (int ci = -1; ci <= 1; ++ci) {
    for (int cj = -1; cj <= 1; ++cj) {
      if (ci == 0 && cj == 0) continue;
      // Every difference is below the limit when the largest one is.
      int16_t peak = 0, sum = 0;
      for (int di = -1; di <= 1; ++di) {
        for (int dj = -1; dj <= 1; ++dj) {
          if (di == 0 && dj == 0) continue;
          const int16_t d = absdiff16(w[2 + di][2 + dj], w[2 + ci + di][2 + cj + dj]);
          peak = d > peak ? d : peak;
          sum = adds16(sum, d);
        }
      }
      if (peak < diff_limit && sum < sum_limit) {
        acc = adds16(acc, subs16(w[2 + ci][2 + cj], w[2][2]));
        ++n;
      }
    }
  }
  // Exact single-precision division; with nothing accepted A is 0 and the
  // divisor 1, so the correction is 0.
  const float mean = float(acc) / float(n > 0 ? n : 1);
  return sat16(static_cast<int32_t>(mean + 0.5f));
}

void block_nr_quad(const PIXEL_YC* const rows[5], const PIXEL_YC* centre, int x,
                   const int16_t diff_limit[8], const int16_t sum_limit[8], PIXEL_YC* out) {
  int16_t delta[8];
  for (int k = 0; k < 8; ++k) {
    int16_t w[5][5];
    for (int i = 0; i < 5; ++i)
      for (int j = 0; j < 5; ++j)
        w[i][j] = sample_at(&rows[i][x + quad_lane_pixel[k] + j - 2], quad_lane_comp[k]);
    delta[k] = block_nr_delta(w, diff_limit[k], sum_limit[k]);
  }
  // Luma of each pixel takes its own correction; the chroma corrections of
  // pixels x and x + 2 (lanes 1, 2 and 5, 6) also go to pixels x + 1 and x + 3.
  const int luma_lane[4] = {0, 3, 4, 7};
  for (int p = 0; p < 4; ++p) {
    const PIXEL_YC& s = centre[x + p];
    const int chroma_lane = p < 2 ? 1 : 5;
    out[x + p].y = adds16(s.y, delta[luma_lane[p]]);
    out[x + p].cb = adds16(s.cb, delta[chroma_lane]);
    out[x + p].cr = adds16(s.cr, delta[chroma_lane + 1]);
  }
}

}  // namespace

void block_nr_rows_ref(const FILTER_PROC_INFO* fpip, const PIXEL_YC* src, int field_step,
                       int diff_limit, int sum_limit, int y_begin, int y_end, uint8_t anime) {
  const int w = fpip->w;
  const int pitch = fpip->max_w;
  const block_nr_limits lim = make_block_nr_limits(diff_limit, sum_limit);
  const int first = block_nr_first_row(field_step);
  const int end = block_nr_end_row(fpip->h, field_step);
  copy_unfiltered(src, fpip->ycp_edit, pitch, w, y_begin, y_end, first, end);
  for (int y = y_begin > first ? y_begin : first; y < y_end && y < end; ++y) {
    const PIXEL_YC* in = src + static_cast<ptrdiff_t>(y) * pitch;
    PIXEL_YC* out = fpip->ycp_edit + static_cast<ptrdiff_t>(y) * pitch;
    const PIXEL_YC* rows[5];
    for (int i = 0; i < 5; ++i) rows[i] = in + static_cast<ptrdiff_t>((i - 2) * field_step) * pitch;
    for (int x = 2; x <= w - 6; x += 4) {
      const bool skin0 = anime != 1 && is_skin_tone(in[x]);
      const bool skin2 = anime != 1 && is_skin_tone(in[x + 2]);
      int16_t dl[8], sl[8];
      for (int k = 0; k < 8; ++k) {
        const bool skin = quad_lane_pixel[k] < 2 ? skin0 : skin2;
        if (quad_lane_comp[k] != 0) {
          dl[k] = lim.chroma_diff;
          sl[k] = lim.chroma_sum;
        } else {
          dl[k] = skin ? lim.skin_diff : lim.luma_diff;
          sl[k] = skin ? lim.skin_sum : lim.luma_sum;
        }
      }
      block_nr_quad(rows, in, x, dl, sl, out);
    }
  }
}
