// Strong mode: a motion-compensated denoiser for a known (or estimated) noise
// level, reached from the command line only (the plug-in never calls it).
//
// What the folder offers:
//   - the noise estimator: the standard deviation of white noise in a plane,
//     from the second-order detail of its flattest blocks;
//   - the settings rule: every parameter of the filter from the noise level;
//   - the filter: for each output picture, block motion search of every window
//     neighbour against the picture (hierarchical integer search on decimated
//     luma, then a sub-pixel step from the cost curve), motion-compensated
//     neighbours (four-tap cubic interpolation), a weighted temporal mean
//     whose weights drop where a compensated block or sample does not match the
//     picture within the noise, and a spatial (local Wiener) pass for the noise
//     that the mean leaves;
//   - its kernel table (block costs, interpolation, weighted sums, the spatial
//     pass's rows), filled by strong_select_kernels.
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

// The energies of the blocks of one kind of plane (luma, or chroma), by mask.
struct noise_energies {
  std::vector<float> grid;  // 3x3 [1 -2 1; -2 4 -2; 1 -2 1] over the 30x30 inner samples, / 36
  std::vector<float> rows;  // [1 -8 28 -56 70 -56 28 -8 1] along each row, 24 inner columns, / 12870
};

// Adds, for every 32x32 block of the plane (whole blocks only) that holds no
// clipped sample (0 or 255), the mean square of its response to each mask
// divided by the mask's noise gain; for white noise of deviation s both
// expectations are s^2. A field of an interlaced frame is a plane of its own
// (every second row: twice the frame's pitch), so that the combing of two
// fields apart in time is not read as noise.
void noise_block_energies(const float* plane, int pitch, int width, int height,
                          noise_energies* energies);
// The noise deviation from the pooled block energies: per mask the 2nd
// percentile, corrected by the same percentile of the energy of a flat noisy
// block, and of the two the lower (texture only adds energy; the grid mask
// ignores smooth shading, the row mask all vertical detail, which in a field
// picture is sampled at half the rate). Texture and edges raise the energy of
// their blocks only, so they leave the low end alone while at least one block
// in fifty is flat. 0 for no blocks. Sorts the energies.
float noise_sigma_from_energies(noise_energies* energies);

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
  float spatial_strength = 0;  // spatial pass: noise left taken as this x sigma^2 / weight sum
};

// The one rule: every setting from the two deviations.
strong_params strong_params_for(float sigma_luma, float sigma_chroma);

// Largest radius any setting uses: the window the caller must be able to hold.
constexpr int strong_max_radius = 4;

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
// Puts picture n into the window: copies the planes into padded planes
// (nothing to copy for planes already written into strong_slot_for's view),
// pads them and builds the decimated luma, on the worker threads through exec.
void strong_push(strong_filter* f, int64_t n, const strong_picture_view& picture,
                 strong_exec_fn exec);
// Whether picture n is in the window.
bool strong_holds(const strong_filter* f, int64_t n);

// Filters picture n with the neighbours n - k and n + k (k = 1 .. radius) that
// are held and lie within [first, last]; writes the three planes to out
// (pitches as given). Runs on the editor's worker threads through exec
// (a host_exec_multi_thread_func); the result does not depend on their number.
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

// Horizontal pass of the four-tap interpolation: for rows r < rows and
// i < bw (a multiple of 4), dst[r * bw + i] = (t0 s[i-1] + t1 s[i]) +
// (t2 s[i+1] + t3 s[i+2]), s being row r of src (pitch floats apart).
typedef void (*interp_rows_fn)(const float* src, int pitch, int rows, int bw, const float taps[4],
                               float* dst);
// Vertical pass: out[r * bw + i] = (t0 a[r] + t1 a[r+1]) + (t2 a[r+2] + t3 a[r+3])
// at column i, a being the rows of src (bw floats apart), for r < bh.
typedef void (*interp_columns_fn)(const float* src, int bw, int bh, const float taps[4],
                                  float* out);
// Sum of squared differences of a bw x bh float block (bw a multiple of 4)
// against cur (cur_pitch apart): four running sums, column i going to sum
// i mod 4, rows in order; the result is (s0 + s1) + (s2 + s3).
typedef float (*block_sq_diff_fn)(const float* cur, int cur_pitch, const float* comp, int bw,
                                  int bh);
// Adds a compensated block to the weighted sums: per sample d = comp - cur,
// w = block * min(max((high - d*d) / (high - low), 0), 1); acc += w * comp;
// weight += w (acc and weight bw floats a row, bw a multiple of 4).
typedef void (*accumulate_fn)(const float* cur, int cur_pitch, const float* comp, int bw, int bh,
                              float block, float low, float high, float* acc, float* weight);

// Sum of absolute differences of two 4x4 blocks of 8-bit samples.
typedef uint32_t (*block_sad4_fn)(const uint8_t* a, int a_pitch, const uint8_t* b, int b_pitch);
// The same for the block at a against count blocks side by side:
// out[i] = sad4(a, b + i) for i < count. May read each of the four rows up to
// b + count + 22 (past the last block, whose end is b + count + 2), ignoring
// what lies there.
typedef void (*block_sad4_row_fn)(const uint8_t* a, int a_pitch, const uint8_t* b, int b_pitch,
                                  int count, uint32_t* out);

// Spatial pass, column sums: for x < w, sum[x] = (((r0 + r1) + r2) + r3) + r4
// of rows[k][x], and sq[x] the same of the squares.
typedef void (*column_sums_fn)(const float* const rows[5], int w, float* sum, float* sq);
// Spatial pass, one output row: for x < w, with s and q the sums of
// sum[x .. x+4] and sq[x .. x+4] taken in order, m = s a, v = q a - m m
// (a = 1/25), n = noise / weight[x]:
// out[x] = m + (v > n ? (v - n) / v : 0) (here[x] - m).
typedef void (*lee_row_fn)(const float* sum, const float* sq, const float* here,
                           const float* weight, int w, float noise, float* out);

struct strong_kernel_table {
  block_ssd16_fn ssd16;
  block_sad8_fn sad8;
  block_sad4_fn sad4;
  block_sad4_row_fn sad4_row;
  interp_rows_fn interp_rows;
  interp_columns_fn interp_columns;
  block_sq_diff_fn sq_diff;
  accumulate_fn accumulate;
  column_sums_fn column_sums;
  lee_row_fn lee_row;
};
extern strong_kernel_table strong_kernels;

// Fills strong_kernels for a kernel level (0 scalar, 1 SSE2, 2 SSE3, 3 AVX2;
// levels without kernels of their own take the next lower ones).
void strong_select_kernels(int level);

uint32_t block_ssd16_ref(const uint8_t* a, int a_pitch, const uint8_t* b, int b_pitch);
uint32_t block_ssd16_sse2(const uint8_t* a, int a_pitch, const uint8_t* b, int b_pitch);
uint32_t block_sad8_ref(const uint8_t* a, int a_pitch, const uint8_t* b, int b_pitch, int h);
uint32_t block_sad8_sse2(const uint8_t* a, int a_pitch, const uint8_t* b, int b_pitch, int h);
uint32_t block_sad4_ref(const uint8_t* a, int a_pitch, const uint8_t* b, int b_pitch);
uint32_t block_sad4_sse2(const uint8_t* a, int a_pitch, const uint8_t* b, int b_pitch);
uint32_t block_ssd16_avx2(const uint8_t* a, int a_pitch, const uint8_t* b, int b_pitch);
void block_sad4_row_ref(const uint8_t* a, int a_pitch, const uint8_t* b, int b_pitch, int count,
                        uint32_t* out);
void block_sad4_row_sse2(const uint8_t* a, int a_pitch, const uint8_t* b, int b_pitch, int count,
                         uint32_t* out);
void block_sad4_row_avx2(const uint8_t* a, int a_pitch, const uint8_t* b, int b_pitch, int count,
                         uint32_t* out);
void interp_rows_ref(const float* src, int pitch, int rows, int bw, const float taps[4], float* dst);
void interp_rows_sse2(const float* src, int pitch, int rows, int bw, const float taps[4],
                      float* dst);
void interp_columns_ref(const float* src, int bw, int bh, const float taps[4], float* out);
void interp_columns_sse2(const float* src, int bw, int bh, const float taps[4], float* out);
float block_sq_diff_ref(const float* cur, int cur_pitch, const float* comp, int bw, int bh);
float block_sq_diff_sse2(const float* cur, int cur_pitch, const float* comp, int bw, int bh);
void accumulate_ref(const float* cur, int cur_pitch, const float* comp, int bw, int bh,
                    float block, float low, float high, float* acc, float* weight);
void column_sums_ref(const float* const rows[5], int w, float* sum, float* sq);
void column_sums_sse2(const float* const rows[5], int w, float* sum, float* sq);
void lee_row_ref(const float* sum, const float* sq, const float* here, const float* weight, int w,
                 float noise, float* out);
void lee_row_sse2(const float* sum, const float* sq, const float* here, const float* weight, int w,
                  float noise, float* out);
void accumulate_sse2(const float* cur, int cur_pitch, const float* comp, int bw, int bh,
                     float block, float low, float high, float* acc, float* weight);
