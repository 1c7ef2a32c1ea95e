// The block transform pass: where the temporal mean found few matching
// neighbours, most of the noise is still there and the local Wiener pass is
// too weak for it; where it took in nearly the whole window but the noise was
// high, what is left is still more than the local Wiener pass removes around
// edges and texture. There, 8x8 blocks on a grid are taken to the DCT and
// shrunk twice, as two estimates aggregated with weights:
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
// The blocks above transform_min_share lie on a grid of step transform_step
// (2: each sample in 16 blocks), those of the band on one of step
// transform_band_step (4: in 4). Where time could not help, the denser grid
// keeps what the picture alone gives close to the best spatial denoisers
// (+0.85 dB on random crops of a photo at sigma 5, each picture taken alone,
// against step 4); the band covers most of what matched at sigma 5 and
// above, where the denser grid nearly doubled the filter's instructions for 0.1 to
// 0.3 dB. A band block weighs as the four dense blocks it stands for.
//
// Its weights are scaled by its say, and a sample moves from the local Wiener
// pass's result toward the estimate by the sum of the says of the blocks
// covering it over the number of blocks of their grid that cover it: the output
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

// Whether a position of the dense grid is one of the band's grid too.
bool on_band_grid(int at, int n) { return at % transform_band_step == 0 || at == n - size; }

// A band block weighs as the blocks of the dense grid it stands for, so that
// where the two grids meet, each estimate counts by the area it covers.
float grid_weight(bool band) {
  constexpr int ratio = transform_band_step / transform_step;
  return band ? float(ratio * ratio) : 1.0f;
}

void forward(const float* src, int pitch, float* coef) {
  strong_kernels.dct8_forward(src, pitch, coef);
}

void inverse(const float* coef, float* out) {
  strong_kernels.dct8_inverse(coef, size, out);
}

// The cells under the blocks of a row of blocks at y0, each column of cells
// summed from the top (column[cx] for cx in [from, to]): a block sums the
// columns it covers, so that the dense grid, with four times the blocks,
// does not read every cell four times as often.
constexpr int max_cell_columns = strong_max_width / 4 + 1;
void cell_columns(const transform_plane& p, int y0, int from, int to, float* column) {
  for (int cx = from; cx <= to; ++cx) column[cx] = 0.0f;
  for (int cy = y0 >> 2; cy <= (y0 + size - 1) >> 2; ++cy) {
    const float* row = p.cells + size_t(cy) * p.cell_w;
    for (int cx = from; cx <= to; ++cx) column[cx] += row[cx];
  }
}

// The mean of the cells under the block at (x0, y0), when it is above the
// limit; 0 otherwise (no division for the blocks that do not run).
float block_share(const transform_plane& p, const float* column, int x0, int y0) {
  const int c0 = x0 >> 2, c1 = (x0 + size - 1) >> 2;
  float sum = 0.0f;
  for (int cx = c0; cx <= c1; ++cx) sum += column[cx];
  const int count = (c1 - c0 + 1) * (((y0 + size - 1) >> 2) - (y0 >> 2) + 1);
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

// Blocks of the grid of this step covering sample v of a side of n:
// positions in (v - size, v].
template <int step>
int covering(int v, int n) {
  static_assert(size % step == 0, "a whole number of positions in a block's span");
  // Inside, the size / step positions of (v - size, v]; the last one, where
  // it is off the step, only covers the last size samples.
  if (v >= size - 1 && v < n - size) return size / step;
  const int last = n - size;
  const int lo = std::max(v - size + 1, 0), hi = std::min(v, last);
  if (lo > hi) return 0;
  // Multiples of the step in [lo, hi], and the last position if it is not one.
  int count = hi / step - (lo + step - 1) / step + 1;
  if (last % step != 0 && lo <= last && last <= hi) ++count;
  return count;
}

// Adds weight x block to the rows of [first, end) it covers, and its say to
// its grid's cover.
void aggregate(const transform_plane& p, int x0, int y0, int first, int end, const float* block,
               float weight, float say, bool band) {
  float* const cover = band ? p.band_cover : p.cover;
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
                              cover + at);
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

// Runs visit(x0, y0, noise, say, band) for every block touching rows
// [first, end) whose share of the noise is large enough, in raster order:
// those above min_share on the dense grid, those of the band (band true) on
// the band's.
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
    // The blocks touching cells [lo, hi] cover at most two cells more on
    // either side.
    float column[max_cell_columns];
    const int from = std::max(lo - 2, 0), to = std::min(hi + 2, p.cell_w - 1);
    cell_columns(p, y0, from, to, column);
    // Off the band's grid only blocks above min_share run, and those cover
    // a column of cells whose mean is above it: the columns [dense_lo,
    // dense_hi] hold all such.
    const float dense_sum = p.limits.min_share * float(((y0 + size - 1) >> 2) - (y0 >> 2) + 1);
    int dense_lo = to + 1, dense_hi = from - 1;
    for (int cx = from; cx <= to; ++cx)
      if (column[cx] > dense_sum) {
        dense_lo = std::min(dense_lo, cx);
        dense_hi = cx;
      }
    const bool band_row = on_band_grid(y0, p.h);
    for (int x0 = 0; x0 < p.w; x0 = next_position(x0, p.w)) {
      if ((x0 + size - 1) >> 2 < lo) continue;
      if (x0 >> 2 > hi) break;
      const bool band_position = band_row && on_band_grid(x0, p.w);
      if (!band_position && ((x0 + size - 1) >> 2 < dense_lo || x0 >> 2 > dense_hi)) continue;
      const float share = block_share(p, column, x0, y0);
      const float say = block_say(p.limits, share);
      if (!(say > 0.0f)) continue;
      const bool band = !(share > p.limits.min_share);
      if (band && !band_position) continue;
      visit(x0, y0, p.noise * std::max(share * share, std::min(share, share_cap)), say, band);
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
  for_blocks(p, first, end, [&](int x0, int y0, float noise, float say, bool band) {
    alignas(16) float coef[64], block[64];
    forward(p.t + size_t(y0) * p.w + x0, p.w, coef);
    const float deviation = std::sqrt(noise);
    const float gains =
        p.shape ? strong_kernels.shrink_threshold_shaped(coef, 2.2f * deviation,
                                                         1.0f / deviation, p.shape)
                : strong_kernels.shrink_threshold(coef, 2.2f * deviation, 1.0f / deviation);
    inverse(coef, block);
    aggregate(p, x0, y0, first, end, block, grid_weight(band) * say / (noise * gains), say, band);
  });
  // The pilot where a block ran (the Wiener estimate reads it nowhere else);
  // the sums go back to zero.
  for (int y = first; y < end; ++y) {
    int* span = p.row_span + 2 * y;
    const size_t row = size_t(y) * p.w;
    for (int x = span[0]; x < span[1]; ++x)
      if (p.den[row + x] > 0.0f) {
        p.pilot[row + x] = p.num[row + x] / p.den[row + x];
        p.num[row + x] = p.den[row + x] = p.cover[row + x] = p.band_cover[row + x] = 0.0f;
      }
    span[0] = span[1] = 0;
  }
}

void transform_wiener_rows(const transform_plane& p, int first, int end, float* out,
                           int out_pitch) {
  if (p.w < size || p.h < size) return;
  for_blocks(p, first, end, [&](int x0, int y0, float noise, float say, bool band) {
    alignas(16) float coef[64], pilot[64], block[64];
    forward(p.t + size_t(y0) * p.w + x0, p.w, coef);
    forward(p.pilot + size_t(y0) * p.w + x0, p.w, pilot);
    const float gains = p.shape ? strong_kernels.shrink_wiener_shaped(coef, pilot, noise, p.shape)
                                : strong_kernels.shrink_wiener(coef, pilot, noise);
    inverse(coef, block);
    aggregate(p, x0, y0, first, end, block,
              grid_weight(band) * say / (noise * std::max(gains, 1.0f / 64.0f)), say, band);
  });
  for (int y = first; y < end; ++y) {
    int* span = p.row_span + 2 * y;
    if (span[0] >= span[1]) continue;
    const size_t row = size_t(y) * p.w;
    const int rows_dense = covering<transform_step>(y, p.h);
    const int rows_band = covering<transform_band_step>(y, p.h);
    float* dst = out + size_t(y) * out_pitch;
    for (int x = span[0]; x < span[1]; ++x)
      if (p.den[row + x] > 0.0f) {
        // (Most samples lie under blocks of one grid only: the other adds 0.)
        float c = 0.0f;
        if (p.cover[row + x] > 0.0f)
          c = p.cover[row + x] / float(rows_dense * covering<transform_step>(x, p.w));
        if (p.band_cover[row + x] > 0.0f)
          c += p.band_cover[row + x] / float(rows_band * covering<transform_band_step>(x, p.w));
        const float estimate = p.num[row + x] / p.den[row + x];
        dst[x] += std::min(c, 1.0f) * (estimate - dst[x]);
        p.num[row + x] = p.den[row + x] = p.cover[row + x] = p.band_cover[row + x] = 0.0f;
      }
    span[0] = span[1] = 0;
  }
}
