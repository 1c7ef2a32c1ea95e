// Noise estimation from the fine detail of the flattest blocks, by two masks.
//
// The grid mask is the 3x3 [1 -2 1; -2 4 -2; 1 -2 1] (the product of two
// second differences): it ignores every plane and every quadratic along a row
// or a column, so smooth shading adds almost nothing; for white noise of
// deviation s its mean square is 36 s^2. It looks across rows, so it sees the
// vertical detail of the picture at the picture's own row spacing: in a field
// picture (every second row of a frame) smooth shading varies twice as fast
// from row to row and its mixed fourth derivative reads sixteen times the
// energy.
//
// The row mask is the eighth difference [1 -8 28 -56 70 -56 28 -8 1] along a
// row (noise gain 12870): it ignores every polynomial of degree 7 along the row
// and all vertical detail, so the row spacing (and the combing of woven fields)
// does not matter to it; it sees more of fine horizontal texture.
//
// Texture and edges only ever add energy, so of the two readings the lower one
// is the closer to the noise, when the noise is white.
//
// Noise that is not white (blurred by a camera's demosaicing, a scaler or a
// codec) has little energy at the finest scale, where both masks look: the
// grid mask over the means of 2x2 and 4x4 cells sees it at the two coarser
// octaves. For white noise of deviation s the means carry s/2 and s/4, so the
// three grid readings, scaled to the finest, agree; for noise blurred by a 3x3
// box the coarse ones are three to six times the fine one, and their root mean
// square is close to the noise's own deviation. Natural texture is strong at
// coarse scales too, which is why the coloured reading is taken only against a
// temporal one (below) and where it is well above the white one.
//
// The temporal reading: the difference of a picture with its
// motion-compensated neighbour holds the noise of both (twice the variance,
// whatever its spectrum) and nothing of the texture or graphics that moved or
// stayed with it. Its median magnitude ignores the samples that changed
// (a moving figure, a graphic that changed) as long as they are fewer than
// half of a block. A change of level over most of a block (a fade, a flash,
// the trail of a game of life fading by a few code values a picture over
// much of the frame) moves the median itself: the centred reading takes the
// magnitudes around the median difference instead of around zero. It stands
// in for the plain one only where it is clearly lower, as the offset of a
// block is partly noise where the noise is blurred.
#include <algorithm>
#include <cmath>

#include "frame/stage_share.h"
#include "strong/noise_estimate.h"
#include "strong/strong_kernels.h"

namespace {

constexpr int block = noise_block_size;

// The 2nd percentile of a flat noisy block's energy, as a fraction of the
// noise variance, per mask (the masks' responses overlap, so these are
// measured on simulated noise rather than taken from a chi-square law).
constexpr double grid_fraction = 0.82695;
constexpr double row_fraction = 0.8179;
constexpr double grid2_fraction = 0.657;
constexpr double grid4_fraction = 0.380;
constexpr double temporal_fraction = 0.745;

// The coloured reading, confirmed in time, counts where it is this many times
// the white one: for white noise over texture the coarse readings stay within
// about 1.2 times the fine one, for a 3x3 box blur they are 3 to 6 times it;
// a clean picture panned by fractions of a pixel leaves up to about 1.8 times
// its rounding noise in the temporal reading.
constexpr float coloured_ratio = 2.0f;
// The temporal reading replaces the white one where it is below this share of
// it: then the picture's own detail raised the spatial reading. Nearer, the
// two read the same noise, and the spatial one is the steadier.
constexpr float structure_ratio = 0.8f;
// The coarse level (the deviation at the scale of 4x4 cells): for noise read
// as coloured, or where texture raised the spatial readings, the grid reading
// over the means of 4x4 cells, at most this many times the deviation. Noise
// blurred by a 3x3 box reads about 2.3 times; texture, which that reading
// takes in too, no more than that.
constexpr float coarse_cap = 2.5f;
// The centred temporal reading replaces the plain one where it is below this
// share of it: then changes of level (a fade, a flash, a fading trail) raised
// the plain one. Nearer, the two read the same noise; the centred one a few
// per cent lower where the noise is blurred, as each block's offset then
// takes a larger share of it (0.91 to 0.93 of the plain reading for a 3x3
// box over the 8x8 chroma blocks of 4:2:0, 0.97 to 1 for white noise).
constexpr float level_ratio = 0.8f;
// Blurred noise gives each temporal block fewer independent samples: the low
// percentile of its blocks' readings lies lower. Measured on simulated noise
// blurred by a 3x3 box (16x16, 8x16 and 8x8 blocks), it lies where white
// noise's would over 2.2 times fewer samples (2.06 to 2.30 by block size);
// that box's correlations sum, squared, to 4.46 (white noise: 1). Between the
// two the excess is taken in proportion.
constexpr double blur_inflation = 1.2 / 3.46;
// Fewer temporal blocks than this make no reading.
constexpr size_t min_temporal_blocks = 8;

float sigma_at_percentile(std::vector<float>* energies, double fraction) {
  if (energies->empty()) return 0.0f;
  const size_t at = energies->size() / 50;
  std::nth_element(energies->begin(), energies->begin() + at, energies->end());
  return float(std::sqrt((*energies)[at] / fraction));
}

// Every step-th block of every step-th row of whole blocks.
void lattice_energies(const float* plane, int pitch, int width, int height, int step,
                      noise_energies* energies) {
  static_assert(energy_block == block, "the kernels' blocks are the estimate's");
  constexpr int chunk = 16;  // blocks of a row measured at a time
  block_energy_sums sums[chunk];
  const int spacing = step * block;
  const int cols = (width / block + step - 1) / step;  // lattice blocks in a row
  for (int by = 0; by + block <= height; by += spacing) {
    const float* row = plane + size_t(by) * pitch;
    for (int c0 = 0; c0 < cols; c0 += chunk) {
      const int count = std::min(chunk, cols - c0);
      strong_kernels.block_energies(row + size_t(c0) * spacing, pitch, count, spacing, sums);
      for (int i = 0; i < count; ++i) {
        const int bx = (c0 + i) * spacing;
        // A sample at most 0 or at least 255, found by the row's least and
        // greatest samples: no branch per sample.
        bool clipped = false;
        for (int y = by; y < by + block && !clipped; ++y) {
          const float* r = plane + size_t(y) * pitch + bx;
          float least = 1.0f, greatest = 254.0f;
          for (int x = 0; x < block; ++x) {
            least = r[x] < least ? r[x] : least;
            greatest = r[x] > greatest ? r[x] : greatest;
          }
          clipped = least <= 0.0f || greatest >= 255.0f;
        }
        if (clipped) continue;
        const block_energy_sums& e = sums[i];
        energies->grid.push_back(float(e.grid / (double((block - 2) * (block - 2)) * 36.0)));
        energies->rows.push_back(float(e.rows / (double(block * (block - 8)) * 12870.0)));
        energies->grid2.push_back(
            float(4.0 * e.grid2 / (double((block / 2 - 2) * (block / 2 - 2)) * 36.0)));
        energies->grid4.push_back(
            float(16.0 * e.grid4 / (double((block / 4 - 2) * (block / 4 - 2)) * 36.0)));
      }
    }
  }
}

// The energy of noise whose differences (over gain times its variance) have
// the histogram count, around the bin offset: the magnitudes |d - offset|
// from its bins, which place them up to 62 - |offset| (the rest, and the
// outer bins, go to the last one, 63), and their median grouped in those
// bins: bin k holds magnitudes from k - 1/2 to k + 1/2 (bin 0 from 0 to 1/2),
// its samples spread evenly over it. The bins are folded only up to the
// median's.
float median_energy(const uint32_t count[noise_difference_bins], int offset, uint32_t samples,
                    float gain) {
  const int placed = noise_median_bins - 1 - (offset < 0 ? -offset : offset);
  const int at = noise_zero_bin + offset;
  const double half = 0.5 * double(samples);
  uint32_t below = 0, in_bin;
  int k = 0;
  for (;; ++k) {
    if (k >= placed) {
      k = noise_median_bins - 1;
      in_bin = samples - below;
      break;
    }
    in_bin = count[at + k] + (k ? count[at - k] : 0);
    if (below + in_bin >= half) break;
    below += in_bin;
  }
  const double low = k ? k - 0.5 : 0.0, width = k ? 1.0 : 0.5;
  const double median = low + width * (half - double(below)) / double(in_bin);
  const double s = median / 0.6745;
  return float(s * s / gain);
}

// The temporal reading t of noise whose coarse level is ratio times its
// deviation, read in blocks of `samples`: the percentile's fraction for
// white noise over 256 samples (temporal_fraction) is that of white noise
// over 256 / samples x the blur's inflation as many (the fraction's logarithm
// goes with one over the root of the samples, as the spread of a median does).
// e^x for x of magnitude up to a few units, from its series at x / 16 and
// four squarings: plain arithmetic, so that every build gives the same bits
// (the libraries' exp need not).
double plain_exp(double x) {
  const double y = x / 16.0;
  double term = 1.0, sum = 1.0;
  for (int k = 1; k <= 14; ++k) {
    term = term * y / double(k);
    sum += term;
  }
  for (int k = 0; k < 4; ++k) sum *= sum;
  return sum;
}

// The logarithm of temporal_fraction.
constexpr double log_temporal_fraction = -0.29437106060257756;

float coloured_temporal(float t, int samples, float ratio) {
  const noise_blur b = noise_blur_for(ratio);
  const double line = 1.0 + 2.0 * (b.r1 * b.r1 + b.r2 * b.r2);
  const double inflation = 1.0 + blur_inflation * (line * line - 1.0);
  const double scale = std::sqrt(inflation * 256.0 / double(std::max(samples, 1)));
  // t x sqrt(temporal_fraction / temporal_fraction^scale)
  return float(double(t) * std::sqrt(plain_exp(log_temporal_fraction * (1.0 - scale))));
}

// The coarse level of noise of deviation sigma that the 4x4 cells' grid
// reading puts at grid4: that reading, capped, and never below sigma.
float coarse_level(float sigma, float grid4) {
  return std::max(sigma, std::min(grid4, coarse_cap * sigma));
}

}  // namespace

void noise_block_energies(const float* plane, int pitch, int width, int height,
                          noise_energies* energies) {
  lattice_energies(plane, pitch, width, height, 1, energies);
}

int noise_lattice_step(int cols, int rows) {
  int step = 1;
  while (size_t((cols + step) / (step + 1)) * size_t((rows + step) / (step + 1)) >=
         size_t(noise_picture_blocks))
    ++step;
  return step;
}

void noise_lattice_energies(const float* plane, int pitch, int width, int height, int thread_id,
                            int thread_num, noise_energies* energies) {
  const int rows = height / block, step = noise_lattice_step(width / block, rows);
  int first, end;
  if (!stage_share((rows + step - 1) / step, 1, thread_id, thread_num, &first, &end)) return;
  lattice_energies(plane + size_t(first) * step * block * pitch, pitch, width,
                   ((end - first - 1) * step + 1) * block, step, energies);
}

bool noise_temporal_energy(const float* cur, int cur_pitch, const float* comp, int comp_pitch,
                           int w, int h, float gain, noise_temporal_reading* energy) {
  // Signed bins one code value wide.
  uint32_t count[noise_difference_bins] = {};
  if (strong_kernels.difference_bins(cur, cur_pitch, comp, comp_pitch, w, h, count) <= 0)
    return false;
  const uint32_t samples = uint32_t(w * h);
  // The median difference's bin, as far as the bins place it.
  int offset = 0;
  for (uint32_t below = 0; 2 * (below + count[offset]) < samples;) below += count[offset++];
  offset -= noise_zero_bin;
  energy->plain = median_energy(count, 0, samples, gain);
  energy->centred = offset ? median_energy(count, offset, samples, gain) : energy->plain;
  return true;
}

namespace {

// The temporal reading of the plain energies and the centred ones: the plain
// one, or the centred one where that is clearly lower (0: too few blocks).
float temporal_sigma(std::vector<float>* plain, std::vector<float>* centred) {
  if (plain->size() < min_temporal_blocks) return 0.0f;
  const float t = sigma_at_percentile(plain, temporal_fraction);
  if (centred->size() < min_temporal_blocks) return t;
  const float c = sigma_at_percentile(centred, temporal_fraction);
  return c < level_ratio * t ? c : t;
}

}  // namespace

noise_reading noise_sigma_from_energies(noise_energies* energies) {
  noise_reading r;
  const bool temporal = energies->temporal.size() >= min_temporal_blocks;
  const float t = temporal_sigma(&energies->temporal, &energies->centred);
  if (energies->grid.empty()) {
    r.sigma = r.coarse = t;
    r.measured = temporal;
    return r;
  }
  r.measured = true;
  const float grid = sigma_at_percentile(&energies->grid, grid_fraction);
  const float white = std::min(grid, sigma_at_percentile(&energies->rows, row_fraction));
  if (!temporal) {
    r.sigma = r.coarse = white;
    return r;
  }
  const float grid2 = sigma_at_percentile(&energies->grid2, grid2_fraction);
  const float grid4 = sigma_at_percentile(&energies->grid4, grid4_fraction);
  const float coloured =
      float(std::sqrt((double(grid) * grid + double(grid2) * grid2 + double(grid4) * grid4) / 3.0));
  const float confirmed = std::min(coloured, t);
  if (confirmed > coloured_ratio * white) {
    // The spectrum's shape from the two readings as they stand, both low
    // percentiles of blocks; the temporal one then taken for the blur.
    const float ratio = coarse_level(confirmed, grid4) / confirmed;
    // Where the blocks were also read at their left neighbour's vectors,
    // those readings: for blurred noise, the search's choice lowers the
    // others on flat pictures.
    const float crossed = temporal_sigma(&energies->crossed, &energies->crossed_centred);
    r.sigma = std::min(coloured, coloured_temporal(crossed > 0.0f ? crossed : t,
                                                   energies->temporal_samples, ratio));
    r.coarse = r.sigma * ratio;
    r.coloured = true;
  } else if (t < structure_ratio * white) {
    r.sigma = t;
    r.coarse = coarse_level(t, grid4);
  } else {
    r.sigma = r.coarse = white;
  }
  return r;
}
