// Strong mode: a motion-compensated denoiser for a known (or estimated) noise
// level, reached from the command line only (the plug-in never calls it).
//
// What the folder offers:
//   - the noise estimator: the standard deviation of white noise in a plane,
//     from the finest diagonal detail of its flattest blocks;
//   - the settings rule: every parameter of the filter from the noise level;
//   - the filter: for each output picture, block motion search of every window
//     neighbour against the picture (hierarchical integer search on decimated
//     luma, then a sub-pixel step from the cost curve), motion-compensated
//     neighbours (four-tap cubic interpolation), and a weighted temporal mean
//     whose weights drop where a compensated block or sample does not match the
//     picture within the noise;
//   - its kernel table (block costs), filled by strong_select_kernels.
//
// Pictures are planes of float samples in 8-bit code values (a 10-bit sample
// of 512 is 128.0). Interlaced clips are filtered as two pictures per frame,
// one per field, each with its own filter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// ---------------------------------------------------------------------------
// Noise estimation

// Adds, for every 16x16 block of the plane (whole blocks only) that holds no
// clipped sample (0 or 255), the mean square of its second-order detail (the
// 3x3 mask [1 -2 1; -2 4 -2; 1 -2 1] over the block's 14x14 inner samples,
// divided by the mask's noise gain 36); for white noise of deviation s its
// expectation is s^2.
void noise_block_energies(const float* plane, int pitch, int width, int height,
                          std::vector<float>* energies);
// The noise deviation from the pooled block energies: the 5th percentile,
// corrected by the same percentile of the energy of a flat noisy block. Texture
// and edges raise the energy of their blocks only, so they leave the low end
// alone while at least one block in twenty is flat. 0 for no blocks. Sorts
// the energies.
float noise_sigma_from_energies(std::vector<float>* energies);

// ---------------------------------------------------------------------------
// Settings from the noise level

struct strong_params {
  float sigma_luma = 0;    // noise deviation, 8-bit code values
  float sigma_chroma = 0;
  int radius = 0;          // neighbours on each side (0: the picture passes unchanged)
  int search_range = 0;    // coarse search, in 4x-decimated pixels
  float block_low = 0;     // block weight 1 below block_low x the expected mismatch,
  float block_high = 0;    // 0 above block_high x it, linear between
  float sample_low = 0;    // the same per sample, for the squared difference
  float sample_high = 0;
};

// The one rule: every setting from the two deviations.
strong_params strong_params_for(float sigma_luma, float sigma_chroma);

// Largest radius any setting uses: the window the caller must be able to hold.
constexpr int strong_max_radius = 3;

// ---------------------------------------------------------------------------
// The filter

// A picture: three planes of floats, each with its own size and pitch.
struct strong_picture_view {
  const float* plane[3];
  int pitch[3];
};

struct strong_filter;  // buffers of one filter: the window and the pyramid

// A filter for pictures of width x height luma and chroma_w x chroma_h chroma
// (chroma_shift_x/y: 1 where chroma is halved; chroma_w at most the width
// rounded up to 16 and shifted, chroma_h likewise). Allocates everything it
// will use; null when memory cannot be had.
strong_filter* strong_create(int width, int height, int chroma_w, int chroma_h,
                             int chroma_shift_x, int chroma_shift_y);
void strong_destroy(strong_filter* f);

// Puts picture n into the window (it takes the slot of picture n - 2R - 1):
// copies the planes into padded planes and builds the decimated luma.
void strong_push(strong_filter* f, int64_t n, const strong_picture_view& picture);
// Whether picture n is in the window.
bool strong_holds(const strong_filter* f, int64_t n);

// Filters picture n with the neighbours n - k and n + k (k = 1 .. radius) that
// are held and lie within [first, last]; writes the three planes to out
// (pitches as given). Runs on the editor's worker threads through exec
// (a host_exec_multi_thread_func); the result does not depend on their number.
typedef int (*strong_exec_fn)(void (*job)(int, int, void*, void*), void* param1, void* param2);
void strong_process(strong_filter* f, const strong_params& params, int64_t n, int64_t first,
                    int64_t last, float* const out[3], const int out_pitch[3],
                    strong_exec_fn exec);

// ---------------------------------------------------------------------------
// Kernels

// Sum of squared differences of two 16x16 blocks of 8-bit samples.
typedef uint32_t (*block_ssd16_fn)(const uint8_t* a, int a_pitch, const uint8_t* b, int b_pitch);
// Sum of absolute differences of two blocks of 8-bit samples, 8 wide and h rows.
typedef uint32_t (*block_sad8_fn)(const uint8_t* a, int a_pitch, const uint8_t* b, int b_pitch,
                                  int h);

struct strong_kernel_table {
  block_ssd16_fn ssd16;
  block_sad8_fn sad8;
};
extern strong_kernel_table strong_kernels;

// Fills strong_kernels for a kernel level (0 scalar, 1 SSE2, 2 SSE3, 3 AVX2;
// levels without kernels of their own take the next lower ones).
void strong_select_kernels(int level);

uint32_t block_ssd16_ref(const uint8_t* a, int a_pitch, const uint8_t* b, int b_pitch);
uint32_t block_ssd16_sse2(const uint8_t* a, int a_pitch, const uint8_t* b, int b_pitch);
uint32_t block_sad8_ref(const uint8_t* a, int a_pitch, const uint8_t* b, int b_pitch, int h);
uint32_t block_sad8_sse2(const uint8_t* a, int a_pitch, const uint8_t* b, int b_pitch, int h);
