// Inside the strong filter: the padded geometry and the per-block work.
#pragma once

#include <cstddef>
#include <cstdint>

#include "strong/strong_filter.h"

// Padding of every luma plane of the window on each side, in pixels: the 8-bit
// pyramid has half of it at 2x decimation and a quarter at 4x, chroma planes
// half of it where chroma is halved. The motion search keeps its vectors, and
// so every read of the search and the compensation, inside it.
constexpr int strong_pad = 64;

struct strong_geometry {
  int round_w = 0, round_h = 0;     // luma size rounded up to whole 16x16 blocks
  int w[3] = {}, h[3] = {};         // plane sizes
  int pad_x[3] = {}, pad_y[3] = {}; // padding of each float plane
  int pitch[3] = {}, rows[3] = {};  // padded float planes
  int luma_pitch[3] = {}, luma_rows[3] = {};  // 8-bit luma: full, 2x, 4x decimated
};

// Motion vector in quarter luma pixels.
struct motion_vector {
  int x = 0, y = 0;
};

struct strong_block_params {
  const strong_geometry* g = nullptr;
  const strong_params* params = nullptr;
  int shift_x = 0, shift_y = 0;
  const float* current[3] = {};
  const uint8_t* current_luma8[3] = {};
  int neighbour_count = 0;
  const float* neighbour[2 * strong_max_radius][3] = {};
  const uint8_t* neighbour_luma8[2 * strong_max_radius][3] = {};
  int neighbour_distance[2 * strong_max_radius] = {};
};

// Picture n of the window: its padded float planes and 8-bit luma pyramid;
// false when it is not held.
struct strong_window_view {
  const float* plane[3];
  const uint8_t* luma8[3];
};
bool strong_window_of(const strong_filter* f, int64_t n, strong_window_view* view);
const strong_geometry& strong_geometry_of(const strong_filter* f);
void strong_chroma_shift(const strong_filter* f, int* shift_x, int* shift_y);

// Motion of block (bx, by) (16x16 luma) from the current picture to a
// neighbour: coarse search at 4x decimation (radius `range` around zero, and
// radius 1 around the predictor when there is one), one-step refinements at 2x
// and full size, then a quarter-pixel step from the parabola through the costs
// of the best position and its four neighbours.
motion_vector search_block_motion(const strong_geometry& g, const uint8_t* const current[3],
                                  const uint8_t* const neighbour[3], int bx, int by, int range,
                                  const motion_vector* predictor);

// Four-tap cubic interpolation of a bw x bh block of a padded float plane at
// (x + fx / 8, y + fy / 8) (x, y in the plane's padded coordinates).
void interpolate_block(const float* plane, int pitch, int x, int y, int fx, int fy, int bw,
                       int bh, float* out);
// Noise gain of the interpolation at fraction f / 8 (sum of squared taps).
float interpolation_gain(int f);

// Filters one 16x16 luma block and its chroma block; writes the parts inside
// the picture to out, and the sum of the weights of each sample to
// weight_out (same layout).
void strong_filter_block(const strong_block_params& in, int bx, int by, float* const out[3],
                         float* const weight_out[3], const int out_pitch[3]);

// The spatial pass over the temporal mean t (w x h, pitch w): a local Wiener
// (Lee) filter over 5x5 neighbourhoods, edges replicated. The noise left in a
// sample is taken as strength x variance / (its weight sum); rows
// [first, end) of out are written. scratch: 2 (w + 4) floats.
void spatial_rows(const float* t, const float* weight_sum, int w, int h, float variance,
                  float strength, int first, int end, float* scratch, float* out, int out_pitch);
