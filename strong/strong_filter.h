// The strong filter's interface: its settings from the noise level, and the
// filter itself (a window of pictures, each output picture filtered from its
// motion-compensated neighbours).
//
// Pictures are planes of float samples in 8-bit code values (a 10-bit sample
// of 512 is 128.0).
#pragma once

#include <cstdint>
#include <memory>

#include "strong/noise_estimate.h"

struct strong_params {
  float sigma_luma = 0;    // noise deviation, 8-bit code values
  float sigma_chroma = 0;
  int radius = 0;          // neighbours on each side (0: the picture passes unchanged)
  int search_range = 0;    // coarse search, in 4x-decimated pixels
  float block_low = 0;     // block weight 1 below block_low x the expected mismatch,
  float block_high = 0;    // 0 above block_high x it, linear between
  float sample_low = 0;    // the same per sample, for the squared difference
  float sample_high = 0;
  // A block may also pass with its samples beyond sample_high x the expected
  // mismatch counted as that much each, where the others' mean squared
  // difference is below inlier_low x it (0 above inlier_high x it).
  float inlier_low = 0;
  float inlier_high = 0;
  // A block that passes only so takes its sample weights over sample_low and
  // sample_high scaled by this.
  float robust_sample_scale = 1;
  // A matched block's brightness offset (its mean difference m) is taken out
  // shrunk by m^2 / (m^2 + offset_shrink x its variance under noise alone);
  // 0: taken out whole.
  float offset_shrink = 0;
  // The noise's deviation at the scale of 4x4 cells: 4 times the deviation of
  // a cell's mean (white noise: the sigma above; blurred noise: more). A
  // block's weight also falls from 1 to 0 as the spread of its cells' mean
  // differences around the offset goes from cell_low to cell_high times
  // what that noise gives it (chroma: cell_low_chroma, cell_high_chroma).
  float coarse_luma = 0;
  float coarse_chroma = 0;
  float cell_low = 0, cell_high = 0;
  float cell_low_chroma = 0, cell_high_chroma = 0;
  // What the cells' spread may hold beyond the noise: this share of the
  // spread of the picture's own cell means.
  float cell_structure = 0;
  // Where the estimate read the noise as coloured (blurred), its coarse level
  // over its deviation: the shape of its spectrum, by which the block
  // transform pass shrinks each coefficient and places its band. 1: white.
  float coloured_luma = 1;
  float coloured_chroma = 1;
  // Neighbours unrelated to the picture (neighbour_weight_of): a block has
  // structure from 0 to 1 as its luma's variance goes from structured_low
  // to structured_high times the noise's; a neighbour's weight falls from 1
  // to 0 as the share of that structure it matches goes from related_high
  // to related_low (related_high 0: every neighbour keeps weight 1).
  float structured_low = 0, structured_high = 0;
  float related_low = 0, related_high = 0;
  float spatial_strength = 0;  // spatial pass: noise left taken as this x sigma^2 / weight sum
  // Planes filtered and written: 3, or 1 for luma alone (a caller that keeps
  // its own chroma; the luma plane comes out as with 3).
  int planes = 3;
  // The block transform pass runs on 8x8 blocks whose mean inverse weight sum
  // (the share) is above this (1: no neighbour matched; 1 or above: never),
  float transform_min_share = 0;
  // and on a band of low shares: where the temporal mean took in nearly the
  // whole window (share up to 1 / (transform_window_part x (2 radius + 1)))
  // and still left noise, spatial_strength x sigma^2 x share, above
  // transform_noise_floor (0: no band).
  float transform_noise_floor = 0;
  float transform_window_part = 0;
};

// The one rule: every setting from the two deviations.
strong_params strong_params_for(float sigma_luma, float sigma_chroma);

// The coarse levels of the settings' noise, given or estimated, from what the
// estimate read of the clip's noise: each deviation times the ratio of the
// reading's coarse level to its deviation (the noise's spectrum), never
// below the deviation itself (white noise; also where nothing was read); and
// that ratio as coloured_luma / coloured_chroma where the reading found the
// noise coloured.
void strong_set_coarse(strong_params* params, const noise_reading& luma,
                       const noise_reading& chroma);

// Largest radius any setting uses: the window the caller must be able to hold.
constexpr int strong_max_radius = 4;

// The largest picture the filter takes (a 3840x2160 4:2:0 window holds about
// 0.6 GB, 7680x4320 four times that).
constexpr int strong_max_width = 8192, strong_max_height = 8192;

// How far the motion search reaches for the nearest neighbours, in luma
// pixels a frame, for pictures of width x height: at least 64 at 1920x1080
// and in proportion to the size (71 there, 39 at 720x480, 143 at
// 3840x2160), never below the 15 of the search around zero.
int strong_search_reach(int width, int height);

// A picture: three planes of floats, each with its own size and pitch.
struct strong_picture_view {
  const float* plane[3];
  int pitch[3];
};

struct strong_filter;  // buffers of one filter: the window and the pyramid
struct strong_filter_free {
  void operator()(strong_filter* f) const;
};
// A filter and its buffers, given back together when the owner goes.
using strong_filter_ptr = std::unique_ptr<strong_filter, strong_filter_free>;

// A filter for pictures of width x height luma and chroma_w x chroma_h chroma
// (chroma_shift_x/y: 1 where chroma is halved; chroma_w at most the width
// rounded up to 16 and shifted, chroma_h likewise). Allocates everything it
// will use; empty when memory cannot be had.
strong_filter_ptr strong_create(int width, int height, int chroma_w, int chroma_h,
                                int chroma_shift_x, int chroma_shift_y);

typedef int (*strong_exec_fn)(void (*job)(int, int, void*, void*), void* param1, void* param2);

// Where picture n goes in the window (the slot of picture n - 2R - 1,
// R = strong_max_radius, which is no longer held from now on): the pictures'
// samples inside the padded planes. A caller may write picture n there and
// then push that view, which saves a copy.
struct strong_picture_slot {
  float* plane[3];
  int pitch[3];
};
strong_picture_slot strong_slot_for(strong_filter* f, int64_t n);
// The slot's planes as a picture to read.
inline strong_picture_view strong_view_of(const strong_picture_slot& slot) {
  strong_picture_view view;
  for (int p = 0; p < 3; ++p) {
    view.plane[p] = slot.plane[p];
    view.pitch[p] = slot.pitch[p];
  }
  return view;
}
// Puts picture n into the window: copies the planes into padded planes
// (nothing to copy for planes already written into strong_slot_for's view),
// pads them and builds the decimated luma, on the worker threads through exec.
void strong_push(strong_filter* f, int64_t n, const strong_picture_view& picture,
                 strong_exec_fn exec);
// Whether picture n is in the window.
bool strong_holds(const strong_filter* f, int64_t n);

// The pictures [*lo, *hi] of picture n's window: the 2 radius + 1 around n,
// moved inward where they would pass first or last (the clip's ends), as far
// as the clip is long.
void strong_window_span(int64_t n, int radius, int64_t first, int64_t last, int64_t* lo,
                        int64_t* hi);

// Filters picture n with the held neighbours of its window: the 2 radius + 1
// pictures around n, moved inward where they would pass first or last (the
// clip's ends), so that pictures near the ends draw on as many neighbours as
// the others, all on one side; writes the planes params.planes
// asks for to out (pitches as given). Runs on the editor's worker threads through exec
// (a host_exec_multi_thread_func); the result does not depend on their number.
void strong_process(strong_filter* f, const strong_params& params, int64_t n, int64_t first,
                    int64_t last, float* const out[3], const int out_pitch[3],
                    strong_exec_fn exec);

// The temporal noise reading of picture n against picture m (both held): for
// every whole 16x16 block of the picture, its motion to m (the filter's
// search, the wide search's field computed for it where there is one) and
// the difference with m's samples at the nearest whole-pixel
// vector, read by noise_temporal_energy; luma blocks go to
// parts[2 t], chroma blocks to parts[2 t + 1] of worker t (parts holds two
// for each of max_workers). Runs on the worker threads through exec; the
// readings do not depend on their number, only their order does.
void strong_temporal_noise(strong_filter* f, int64_t n, int64_t m, noise_energies* parts,
                           strong_exec_fn exec);
