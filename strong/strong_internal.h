// Inside the strong filter: the padded geometry and the per-block work.
#pragma once

#include <cstddef>
#include <cstdint>

#include "strong/dct8.h"
#include "strong/strong_filter.h"

// Padding of every luma plane of the window on each side, in pixels: the 8-bit
// pyramid has half of it at 2x decimation and a quarter at 4x, chroma planes
// half of it where chroma is halved. The motion search keeps its vectors, and
// so every read of the search and the compensation, inside it.
constexpr int strong_pad = 64;

// Levels of the 8-bit luma pyramid: full size, 2x and 4x decimated for every
// picture; all but the smallest pictures add coarser levels (8x, 16x, ...,
// up to 64x), whose motion fields guide the search at 4x (the wide search).
constexpr int strong_base_levels = 3;
constexpr int strong_max_levels = 7;
// Blocks of the motion fields: field_block x field_block pixels of their level.
constexpr int field_block = 8;

struct strong_geometry {
  int round_w = 0, round_h = 0;     // luma size rounded up to whole 16x16 blocks
  int w[3] = {}, h[3] = {};         // plane sizes
  int pad_x[3] = {}, pad_y[3] = {}; // padding of each float plane
  int pitch[3] = {}, rows[3] = {};  // padded float planes
  int levels = strong_base_levels;  // 8-bit luma pyramid levels
  int luma_pitch[strong_max_levels] = {}, luma_rows[strong_max_levels] = {};
  // The wide search (levels > strong_base_levels): the radius of the full
  // search at the top level, in its pixels, and the block grid of the motion
  // field at each level from strong_base_levels up.
  int field_range = 0;
  int field_w[strong_max_levels] = {}, field_h[strong_max_levels] = {};
};

// The pyramid and the wide search for pictures of width x height (luma), from
// g.round_w and g.round_h: the wide search reaches 64 pixels a frame at
// 1920x1080, in proportion to the size (28 at 720x480, 128 at 3840x2160);
// pictures where that is no farther than the search of 4x-decimated radius
// `search_range` around zero (or too small for a coarser level) keep three
// levels and that search alone.
void plan_search(strong_geometry* g, int width, int height);

// Motion vector (in quarter luma pixels for a block; in pixels of its level in
// a motion field).
struct motion_vector {
  int x, y;
};

// A motion field of the wide search at one level: a vector per block,
// row by row (g.field_w[level] x g.field_h[level]).
struct motion_field {
  const motion_vector* v = nullptr;
  int w = 0, h = 0;
};

// Fills rows [first, end) of the field at `level` for the current picture
// against a neighbour: a full search of radius g.field_range at the top
// level (coarser == nullptr), else one step around the doubled vectors of
// the coarser field's block and its four neighbours, and around zero.
void search_field_rows(const strong_geometry& g, int level, const uint8_t* current,
                       const uint8_t* neighbour, const motion_field* coarser, int first, int end,
                       motion_vector* out);

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
  // The wide search: the 8x motion field of a neighbour searched without a
  // predictor (w == 0: none).
  motion_field guide[2 * strong_max_radius];
  // Per plane: the share above which a cell takes part in the block transform
  // pass (transform_limits_of(*params, q).lowest), set once a frame.
  float transform_lowest[3] = {};
  // Each neighbour's weight: 1 in the searching run, then as
  // neighbour_weight_of says.
  float neighbour_weight[2 * strong_max_radius] = {};
};

// Picture n of the window: its padded float planes and 8-bit luma pyramid;
// false when it is not held.
struct strong_window_view {
  const float* plane[3];
  const uint8_t* luma8[3];
};
bool strong_window_of(const strong_filter* f, int64_t n, strong_window_view* view);
// The wide search's motion field at level strong_base_levels (the guide of
// search_block_motion) of picture n against picture m, computed into the
// filter's fields (which strong_process computes anew for itself) on the
// workers through exec; empty (w == 0) without the wide search or when either
// picture is not held.
motion_field strong_field_between(strong_filter* f, int64_t n, int64_t m, strong_exec_fn exec);
const strong_geometry& strong_geometry_of(const strong_filter* f);
void strong_chroma_shift(const strong_filter* f, int* shift_x, int* shift_y);

// Motion of block (bx, by) (16x16 luma) from the current picture to a
// neighbour: coarse search at 4x decimation (radius `range` around zero,
// radius 1 around the doubled vectors of the guiding 8x field's block and its
// four neighbours when there is a field, and radius 1 around the predictor
// and around the vector `left` of the block to the left when there are
// those), one-step refinements at 2x and full size, then a quarter-pixel
// step from the parabola through the costs of the best position and its four
// neighbours.
motion_vector search_block_motion(const strong_geometry& g, const uint8_t* const current[],
                                  const uint8_t* const neighbour[], int bx, int by, int range,
                                  const motion_vector* predictor, const motion_field* guide,
                                  const motion_vector* left);
// The block to the left's vector v as that candidate, where it lies beyond
// the search around zero of radius range (4x-decimated pixels): motion that
// search does not reach. Nearer, one more candidate among costs that carry
// noise more often picks the noise than it finds better motion.
inline const motion_vector* left_candidate(const motion_vector& v, int range) {
  const int r = 16 * range;  // in quarter pixels
  return v.x > r || v.x < -r || v.y > r || v.y < -r ? &v : nullptr;
}

// Four-tap cubic interpolation of a bw x bh block of a padded float plane at
// (x + fx / 8, y + fy / 8) (x, y in the plane's padded coordinates).
void interpolate_block(const float* plane, int pitch, int x, int y, int fx, int fy, int bw,
                       int bh, float* out);
// Noise gain of the interpolation at fraction f / 8 (sum of squared taps).
float interpolation_gain(int f);

// How a neighbour's compensated block matches the picture's: its block
// weight (before the neighbour's weight), the scale of its sample limits and
// its brightness offset.
struct block_match {
  float weight = 0.0f;
  float sample_scale = 1.0f;
  float offset = 0.0f;
  int far = 0;          // samples beyond the sample limit
  bool robust = false;  // passed by the robust test alone
};

// A block's luma motion to one neighbour, from a searching run: the vector its
// luma is compensated at (the expected mismatch follows from it) and the
// match's block weight, sample scale and offset.
struct block_link {
  motion_vector v;
  float weight, sample_scale, offset;
};

// The temporal mean of one 16x16 luma block and its chroma block. With
// search, the block's motion to every neighbour is searched and its luma
// tested there, into links[i], and the return value says how far the block
// has structure (0 to 1 as its luma's variance goes from
// params.structured_low to structured_high times the noise's): those blocks
// tell whether a neighbour is related to the picture at all
// (neighbour_weight_of). row_vectors: on entry the block to the left's
// vector to each neighbour (read where bx > 0), on return this block's.
// Without search, the links are read as a searching run left them
// (row_vectors is not used).
//
// Writes the parts inside the picture to out, the sum of the weights of
// each sample to weight_out (same layout), and for each 4x4 cell of the
// plane the block covers, the inverse of its mean weight sum to cell_out
// (pitch cell_pitch; a cell partly outside the picture counts its samples
// inside), and for each row of cells the first and last cell above
// in.transform_lowest[q] to cell_span (two a row; none: first > last. Reset
// by the block of bx = 0 and widened by the others: the blocks of a row run
// in order, on one worker).
//
// A frame is filtered with search, every neighbour weighing 1; where
// neighbour_weight_of then weighs one down, it is filtered again from the
// links with those weights. Every block weight a neighbour brings is scaled
// by its weight.
float strong_filter_block(const strong_block_params& in, int bx, int by, bool search,
                         block_link* links, motion_vector* row_vectors, float* const out[3],
                         float* const weight_out[3], const int out_pitch[3],
                         float* const cell_out[3], const int cell_pitch[3],
                         int* const cell_span[3]);

// A neighbour's weight from a searching run: `structured`, the sum of the
// picture's blocks' structure, and `matched`, the same sum with each block's
// structure times its luma block weight to the neighbour. A neighbour of the
// same scene, moved, matches most of the picture's structure; another scene,
// or another place of one large picture, little, by chance, and the smooth
// blocks it matches so bring another place's faint texture into the mean.
// The weight falls from 1 to 0 as (matched + 1) / (structured + 2) goes from
// related_high to related_low (a picture without structure keeps its
// neighbours). Every term changes gradually with the pictures, so the
// weight does not jump with a small change of them.
float neighbour_weight_of(float matched, float structured, const strong_params& p);

// The spatial pass over the temporal mean t (w x h, pitch w): a local Wiener
// (Lee) filter over 5x5 neighbourhoods, edges replicated. The noise left in a
// sample is taken as strength x variance / (its weight sum); rows
// [first, end) of out are written. scratch: 2 (w + 4) floats.
void spatial_rows(const float* t, const float* weight_sum, int w, int h, float variance,
                  float strength, int first, int end, float* scratch, float* out, int out_pitch);

// The block transform pass over one plane (transform_pass.cpp): 8x8 DCT
// blocks on a grid of this step where the temporal mean left most of the
// noise, and of the wider step in the band of small shares.
constexpr int transform_step = 2;
constexpr int transform_band_step = 4;
// Blocks take part from a share of transform_min_share, fully from this above.
constexpr float transform_share_ramp = 0.2f;
// The shares at which blocks of plane q run (transform_pass.cpp): above
// min_share (params.transform_min_share), and from band_low, fully from
// 1.5 band_low to band_full, none from 1.25 band_full (band_full 0: no band).
// lowest: the lower of min_share and band_low.
struct transform_limits {
  float min_share = 0, band_low = 0, band_full = 0, lowest = 0;
};
transform_limits transform_limits_of(const strong_params& params, int q);
// The shape over the coefficients of noise whose coarse level is ratio times
// its deviation (noise_shape.cpp; 1 and below: white, every coefficient 1).
void dct8_noise_shape_for(float ratio, dct8_noise_shape* shape);
struct transform_plane {
  const float* t = nullptr;      // the temporal mean, w x h, pitch w
  const float* cells = nullptr;  // inverse mean weight sum of each 4x4 cell
  int cell_w = 0;                // cells a row: (w + 3) / 4
  const int* cell_span = nullptr;  // each row of cells: the first and last above limits.lowest
  int w = 0, h = 0;
  float noise = 0;      // strength x sigma^2: the noise left where the weight sum is 1
  transform_limits limits;  // where blocks run, by their cells' mean
  // w x h: the blocks' weighted sums, their weights and their says; zero
  // outside a pass (each pass gives back to zero what it used), with the
  // columns [first, end) of each row that blocks wrote to (two a row; empty
  // outside a pass).
  float* num = nullptr;
  float* den = nullptr;
  float* cover = nullptr;       // the says of the blocks of the dense grid
  float* band_cover = nullptr;  // and of the band's
  int* row_span = nullptr;
  float* pilot = nullptr;  // w x h: the first estimate
  // The noise's shape over the coefficients where it is read as coloured;
  // nullptr: white.
  const dct8_noise_shape* shape = nullptr;
};
// Rows [first, end) of the pilot (the thresholded estimate), where a block
// runs; the blocks' sums of those rows are used and given back to zero.
void transform_pilot_rows(const transform_plane& p, int first, int end);
// Rows [first, end) of the Wiener estimate, over the pilot of every row,
// written to out where a block ran (the rest of out is left as it is).
void transform_wiener_rows(const transform_plane& p, int first, int end, float* out,
                           int out_pitch);
