// Noise estimate kernels: the histogram of the temporal reading, the signed
// differences of a block with its compensated neighbour in bins one code
// value wide. Integer counts, so every version gives the same counts. Blocks
// are w floats wide (w a multiple of 4), rows pitch floats apart; no
// alignment is needed.
#pragma once

#include <cstdint>

// Magnitudes the histogram tells apart: 0 to 62, and 63 for every larger one.
constexpr int noise_median_bins = 64;
// Bins of the signed histogram: a magnitude bin on either side of the zero
// bin.
constexpr int noise_difference_bins = 2 * noise_median_bins - 1;
constexpr int noise_zero_bin = noise_median_bins - 1;

// For the w x h block: -1 when a sample of either side is at most 0 or at
// least 255 (clipped; count then holds anything); else adds one to
// count[noise_zero_bin + k] for every sample, d = comp - cur, its magnitude's
// bin m = int(|d| + 0.5f) (63 at most) and k = m with the sign of d, and
// returns 1 when some d is not 0, 0 when the two blocks agree exactly.
// Samples are finite; w h at most 65535.
typedef int (*difference_bins_fn)(const float* cur, int cur_pitch, const float* comp,
                                  int comp_pitch, int w, int h,
                                  uint32_t count[noise_difference_bins]);

int difference_bins_ref(const float* cur, int cur_pitch, const float* comp, int comp_pitch, int w,
                        int h, uint32_t count[noise_difference_bins]);
int difference_bins_sse2(const float* cur, int cur_pitch, const float* comp, int comp_pitch,
                         int w, int h, uint32_t count[noise_difference_bins]);
int difference_bins_avx2(const float* cur, int cur_pitch, const float* comp, int comp_pitch,
                         int w, int h, uint32_t count[noise_difference_bins]);
