// Noise estimate kernels: the histogram of the temporal reading, the
// magnitudes of a block's difference with its compensated neighbour in bins
// one code value wide. Integer counts, so every version gives the same
// counts. Blocks are w floats wide (w a multiple of 4), rows pitch floats
// apart; no alignment is needed.
#pragma once

#include <cstdint>

// Bins of the histogram; larger magnitudes go to the last.
constexpr int noise_median_bins = 64;

// For the w x h block: -1 when a sample of either side is at most 0 or at
// least 255 (clipped; count then holds anything); else adds to count[k] the
// samples whose d = |comp - cur| gives int(d + 0.5f) = k (the last bin
// taking every larger one), and returns 1 when some d is not 0, 0 when the
// two blocks agree exactly. Samples are finite; w h at most 65535.
typedef int (*difference_bins_fn)(const float* cur, int cur_pitch, const float* comp,
                                  int comp_pitch, int w, int h,
                                  uint32_t count[noise_median_bins]);

int difference_bins_ref(const float* cur, int cur_pitch, const float* comp, int comp_pitch, int w,
                        int h, uint32_t count[noise_median_bins]);
int difference_bins_sse2(const float* cur, int cur_pitch, const float* comp, int comp_pitch,
                         int w, int h, uint32_t count[noise_median_bins]);
int difference_bins_avx2(const float* cur, int cur_pitch, const float* comp, int comp_pitch,
                         int w, int h, uint32_t count[noise_median_bins]);
