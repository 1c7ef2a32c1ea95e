// Strong mode: a motion-compensated denoiser for a known (or estimated) noise
// level, reached from the command line only (the plug-in never calls it).
//
// What the folder offers, a header each:
//   noise_estimate.h  the noise estimate: the deviation of the noise, from
//                     the detail of the flattest blocks at three scales
//                     and the motion-compensated difference of neighbouring
//                     pictures (that reading, on the filter's window:
//                     strong_temporal_noise in strong_filter.h);
//   strong_filter.h   the settings rule (every parameter from the noise
//                     level) and the filter: for each output picture, block
//                     motion search of every window neighbour against the
//                     picture (hierarchical integer search on decimated luma,
//                     then a sub-pixel step from the cost curve),
//                     motion-compensated neighbours (four-tap cubic
//                     interpolation), a weighted temporal mean whose weights
//                     drop where a compensated block or sample does not match
//                     the picture within the noise, or where the neighbour
//                     matches few of the picture's blocks with structure
//                     (another scene, another place), and a spatial (local
//                     Wiener) pass for the noise that the mean leaves, with
//                     a block transform pass (8x8 DCT shrinkage, hard
//                     threshold then Wiener) where it left much of it;
//   strong_kernels.h  the kernel table and strong_select_kernels, over the
//                     kernel families, a contract each:
//       convert.h        8-bit rows to float and back;
//       block_cost.h     motion search: block costs on 8-bit luma;
//       interpolate.h    compensation: the interpolation passes;
//       weighted_mean.h  temporal mean: block match, weighted sums, their
//                        start and end;
//       spatial_pass.h   spatial pass: column sums and the filter's rows;
//       dct8.h           block transform pass: the 8x8 DCT, the shrinkages.
// strong_internal.h holds what the filter's files share among themselves.
//
// Interlaced clips are filtered as two pictures per frame, one per field,
// each with its own filter.
// This header includes the three that the command line uses.
#pragma once

#include "strong/noise_estimate.h"
#include "strong/strong_filter.h"
#include "strong/strong_kernels.h"
