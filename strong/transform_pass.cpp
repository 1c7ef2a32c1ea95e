// The block transform pass: where the temporal mean found few matching
// neighbours, most of the noise is still there and the local Wiener pass is
// too weak for it; where it took in nearly the whole window but the noise was
// high, what is left is still more than the local Wiener pass removes around
// edges and texture. There, 8x8 blocks on a grid of step transform_step are
// taken to the DCT and shrunk twice, as two estimates aggregated with weights:
//
//   1. threshold: coefficients below 2.2 deviations of the noise left in the
//      block are dropped, those above 3.2 kept, the gain rising linearly
//      between (a hard threshold at 2.7 that does not jump: a slight change
//      of the input, such as another sample format's rounding, moves the
//      result only slightly); each block weighs 1 / (noise x sum of the
//      squared gains), and the mean over the blocks covering a sample is the
//      pilot;
//   2. empirical Wiener: each coefficient is scaled by p^2 / (p^2 + noise), p
//      being the pilot's coefficient; each block weighs 1 / (noise x sum of the
//      squared gains), and the mean over the blocks covering a sample is the
//      estimate.
//
// A block runs by its share, its cells' mean inverse weight sum (the share of
// the noise the temporal mean left, were every weight whole; see
// transform_limits_of for the plane's limits):
//   - above transform_min_share (few neighbours matched), with a say rising
//     from 0 there to 1 at transform_min_share + transform_share_ramp;
//   - in a band of small shares, where the temporal mean took in at least
//     transform_window_part of the window (share up to band_full) and the
//     noise left, noise x share, is above transform_noise_floor (share above
//     band_low): the say rises from band_low to 1.5 band_low and falls from
//     band_full to 1.25 band_full. Between the band and transform_min_share
//     (partial matches: pictures unlike their neighbours, moving graphics,
//     noise that is not white) the pass did worse than the local Wiener pass.
// Its weights are scaled by its say, and a sample moves from the local Wiener
// pass's result toward the estimate by the sum of the says of the blocks
// covering it over the number of grid blocks that cover it: the output
// changes gradually, not by a jump, as a block's share crosses a limit.
//
// Above transform_min_share a block is shrunk for noise x share^2, not
// noise x share: neighbours that matched in part enter with weights below 1,
// which leave less noise than their sum says (sum w^2 / (sum w)^2 against
// 1 / sum w), and the interpolated ones carry less noise than the picture;
// where nothing matched (share 1) the two agree. On the public clips at
// sigma 2 the square kept the textured ones (coffee, the video call) at or
// above the local Wiener pass's figure, where the share itself lost up to
// 0.15 dB. In the band, where the neighbours matched whole, the noise left is
// noise x share itself; its square would leave it nearly unfiltered (a
// seventh of it at sigma 5: the clips scaled 2x lost 1 dB against the local
// Wiener pass alone). The noise is noise x max(share^2, min(share, c)),
// c = transform_min_share^2: the share up to c, the square from
// transform_min_share on, and c, joining the two, between.
//
// Noise read as coloured (blurred: strong at coarse scales, weak at fine
// ones) is shrunk coefficient by coefficient for its own share of the noise,
// the plane's shape (noise_shape.cpp): a low coefficient carries up to about
// seven times the mean variance, a high one a tenth of it. Taken as white,
// the low ones kept the blotches of the noise and the high ones lost detail;
// the 5x5 pass, whose neighbourhood is little larger than the blotches,
// removes little of it where the temporal mean matched, so there the band
// runs by the noise's coarse level (transform_limits_of).
//
// Every sum over blocks runs in the grid's raster order, and a band of rows
// takes every block that touches it, so the result of a sample does not
// depend on where the bands split.
#include <algorithm>
#include <cmath>

#include "strong/strong_internal.h"
#include "strong/strong_kernels.h"

namespace {

constexpr int size = 8;

// Grid positions along a side of n samples: 0, step, 2 step, ... up to
// n - size, and n - size itself.
int next_position(int at, int n) {
  const int last = n - size;
  if (at >= last) return n;  // past the end
  return std::min(at + transform_step, last);
}

void forward(const float* src, int pitch, float* coef) {
  strong_kernels.dct8_forward(src, pitch, coef);
}

void inverse(const float* coef, float* out) {
  strong_kernels.dct8_inverse(coef, size, out);
}

// The mean of the cells under the block at (x0, y0), when it is above the
// limit; 0 otherwise (no division for the blocks that do not run).
float block_share(const transform_plane& p, int x0, int y0) {
  float sum = 0.0f;
  int count = 0;
  for (int cy = y0 >> 2; cy <= (y0 + size - 1) >> 2; ++cy)
    for (int cx = x0 >> 2; cx <= (x0 + size - 1) >> 2; ++cx) {
      sum += p.cells[size_t(cy) * p.cell_w + cx];
      ++count;
    }
  if (!(sum > p.limits.lowest * float(count))) return 0.0f;
  return sum / float(count);
}

// The cells [*lo, *hi] of the rows under a block at y0 that are above the
// limit: a block's mean is above it only if one of its cells is.
void cells_above(const transform_plane& p, int y0, int* lo, int* hi) {
  *lo = 1 << 30;
  *hi = -1;
  for (int cy = y0 >> 2; cy <= (y0 + size - 1) >> 2; ++cy) {
    *lo = std::min(*lo, p.cell_span[2 * cy]);
    *hi = std::max(*hi, p.cell_span[2 * cy + 1]);
  }
}

// Grid blocks covering sample v of a side of n: positions in (v - size, v].
int covering(int v, int n) {
  const int last = n - size;
  const int lo = std::max(v - size + 1, 0), hi = std::min(v, last);
  if (lo > hi) return 0;
  // Multiples of the step in [lo, hi], and the last position if it is not one.
  int count = hi / transform_step - (lo + transform_step - 1) / transform_step + 1;
  if (last % transform_step != 0 && lo <= last && last <= hi) ++count;
  return count;
}

// Adds weight x block to the rows of [first, end) it covers, and its say.
void aggregate(const transform_plane& p, int x0, int y0, int first, int end, const float* block,
               float weight, float say) {
  for (int y = std::max(y0, first); y < std::min(y0 + size, end); ++y) {
    int* span = p.row_span + 2 * y;
    if (span[0] >= span[1]) {
      span[0] = x0;
      span[1] = x0 + size;
    } else {
      span[0] = std::min(span[0], x0);
      span[1] = std::max(span[1], x0 + size);
    }
    const size_t at = size_t(y) * p.w + x0;
    strong_kernels.aggregate8(block + (y - y0) * size, weight, say, p.num + at, p.den + at,
                              p.cover + at);
  }
}

// A block's say from its share: rising over transform_share_ramp above
// min_share; in the band rising from band_low to 1.5 band_low, falling from
// band_full to 1.25 band_full; 0 elsewhere.
float block_say(const transform_limits& l, float share) {
  if (share > l.min_share) return std::min((share - l.min_share) / transform_share_ramp, 1.0f);
  if (!(l.band_full > 0.0f) || !(share > l.band_low)) return 0.0f;
  const float up = (share - l.band_low) / (0.5f * l.band_low);
  const float down = (1.25f * l.band_full - share) / (0.25f * l.band_full);
  return std::min(std::min(up, down), 1.0f);
}

// Runs visit(x0, y0, noise, say) for every block touching rows [first, end)
// whose share of the noise is large enough, in raster order.
template <typename Visit>
void for_blocks(const transform_plane& p, int first, int end, Visit visit) {
  // The noise of a block: noise x max(share^2, min(share, min_share^2)).
  const float share_cap = p.limits.min_share * p.limits.min_share;
  for (int y0 = 0; y0 < p.h; y0 = next_position(y0, p.h)) {
    if (y0 + size <= first) continue;
    if (y0 >= end) break;
    int lo, hi;
    cells_above(p, y0, &lo, &hi);
    if (lo > hi) continue;
    for (int x0 = 0; x0 < p.w; x0 = next_position(x0, p.w)) {
      if ((x0 + size - 1) >> 2 < lo) continue;
      if (x0 >> 2 > hi) break;
      const float share = block_share(p, x0, y0);
      const float say = block_say(p.limits, share);
      if (!(say > 0.0f)) continue;
      visit(x0, y0, p.noise * std::max(share * share, std::min(share, share_cap)), say);
    }
  }
}

}  // namespace

transform_limits transform_limits_of(const strong_params& params, int q) {
  transform_limits l;
  l.min_share = l.lowest = params.transform_min_share;
  const float s = q ? params.sigma_chroma : params.sigma_luma;
  const float noise = params.spatial_strength * s * s;
  const int radius = std::min(params.radius, strong_max_radius);
  if (!(params.transform_noise_floor > 0.0f) || !(params.transform_window_part > 0.0f) ||
      !(noise > 0.0f) || radius <= 0)
    return l;
  // Blurred noise is strongest at coarse scales, where the local Wiener pass
  // removes the least of it: the band takes its level there, the coarse one.
  const float coloured = q ? params.coloured_chroma : params.coloured_luma;
  const float level = coloured > 1.0f ? noise * coloured * coloured : noise;
  const float low = params.transform_noise_floor / level;
  const float full = 1.0f / (params.transform_window_part * float(2 * radius + 1));
  if (!(low < 1.25f * full) || !(low < l.min_share)) return l;  // an empty band
  l.band_low = l.lowest = low;
  l.band_full = full;
  return l;
}

void transform_pilot_rows(const transform_plane& p, int first, int end) {
  if (p.w < size || p.h < size) return;
  for_blocks(p, first, end, [&](int x0, int y0, float noise, float say) {
    alignas(16) float coef[64], block[64];
    forward(p.t + size_t(y0) * p.w + x0, p.w, coef);
    const float deviation = std::sqrt(noise);
    const float gains =
        p.shape ? strong_kernels.shrink_threshold_shaped(coef, 2.2f * deviation,
                                                         1.0f / deviation, p.shape)
                : strong_kernels.shrink_threshold(coef, 2.2f * deviation, 1.0f / deviation);
    inverse(coef, block);
    aggregate(p, x0, y0, first, end, block, say / (noise * gains), say);
  });
  // The pilot where a block ran (the Wiener estimate reads it nowhere else);
  // the sums go back to zero.
  for (int y = first; y < end; ++y) {
    int* span = p.row_span + 2 * y;
    const size_t row = size_t(y) * p.w;
    for (int x = span[0]; x < span[1]; ++x)
      if (p.den[row + x] > 0.0f) {
        p.pilot[row + x] = p.num[row + x] / p.den[row + x];
        p.num[row + x] = p.den[row + x] = p.cover[row + x] = 0.0f;
      }
    span[0] = span[1] = 0;
  }
}

void transform_wiener_rows(const transform_plane& p, int first, int end, float* out,
                           int out_pitch) {
  if (p.w < size || p.h < size) return;
  for_blocks(p, first, end, [&](int x0, int y0, float noise, float say) {
    alignas(16) float coef[64], pilot[64], block[64];
    forward(p.t + size_t(y0) * p.w + x0, p.w, coef);
    forward(p.pilot + size_t(y0) * p.w + x0, p.w, pilot);
    const float gains = p.shape ? strong_kernels.shrink_wiener_shaped(coef, pilot, noise, p.shape)
                                : strong_kernels.shrink_wiener(coef, pilot, noise);
    inverse(coef, block);
    aggregate(p, x0, y0, first, end, block, say / (noise * std::max(gains, 1.0f / 64.0f)), say);
  });
  for (int y = first; y < end; ++y) {
    int* span = p.row_span + 2 * y;
    if (span[0] >= span[1]) continue;
    const size_t row = size_t(y) * p.w;
    const int rows_covering = covering(y, p.h);
    float* dst = out + size_t(y) * out_pitch;
    for (int x = span[0]; x < span[1]; ++x)
      if (p.den[row + x] > 0.0f) {
        const float c = p.cover[row + x] / float(rows_covering * covering(x, p.w));
        const float estimate = p.num[row + x] / p.den[row + x];
        dst[x] += std::min(c, 1.0f) * (estimate - dst[x]);
        p.num[row + x] = p.den[row + x] = p.cover[row + x] = 0.0f;
      }
    span[0] = span[1] = 0;
  }
}
