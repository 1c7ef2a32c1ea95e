// The noise estimate of strong mode: the deviation of the noise in a plane,
// from the detail of its flattest blocks at three scales and, in a clip, from
// the motion-compensated difference of neighbouring pictures (the masks, the
// readings and how they combine: noise_estimate.cpp; the temporal blocks:
// noise_temporal.cpp).
#pragma once

#include <vector>

// The energies of the blocks of one kind of plane (luma, or chroma), by
// reading. For white noise of deviation s every expectation is s^2.
struct noise_energies {
  std::vector<float> grid;   // 3x3 [1 -2 1; -2 4 -2; 1 -2 1] over the 30x30 inner samples, / 36
  std::vector<float> rows;   // [1 -8 28 -56 70 -56 28 -8 1] along each row, 24 inner columns, / 12870
  std::vector<float> grid2;  // the grid mask over the means of 2x2 cells, x 4 / 36
  std::vector<float> grid4;  // and of 4x4 cells, x 16 / 36
  // Per 16x16 block of a picture, half the square of the difference with its
  // motion-compensated neighbour, from the median of its magnitude.
  std::vector<float> temporal;
  // The same for the difference less its median: a change of level over most
  // of the block (a fade, a flash, a trail that fades) taken out.
  std::vector<float> centred;
  // Luma: both again, each block read at the vector the search found for the
  // block before it in its row (noise_temporal.cpp).
  std::vector<float> crossed;
  std::vector<float> crossed_centred;
  // The samples of each temporal block (16x16 luma; chroma 8x8 in 4:2:0).
  int temporal_samples = 256;
};

// Noise blurred by the separable kernel [a 1 a] whose coarse level is ratio
// times its deviation (noise_shape.cpp): the correlations of samples one and
// two apart along a row or a column (0 for white noise, ratio 1 and below).
struct noise_blur {
  double r1 = 0, r2 = 0;
};
noise_blur noise_blur_for(float ratio);

// The side of the estimate's square blocks: a plane is cut into whole blocks
// of this many rows (and columns).
constexpr int noise_block_size = 32;

// Adds, for every 32x32 block of the plane (whole blocks only) that holds no
// clipped sample (0 or 255), the mean square of its response to each mask
// divided by the mask's noise gain. A field of an interlaced frame is a plane
// of its own (every second row: twice the frame's pitch), so that the combing
// of two fields apart in time is not read as noise.
void noise_block_energies(const float* plane, int pitch, int width, int height,
                          noise_energies* energies);

// A large picture gives the estimate a spread lattice of its blocks, not all
// of them: every step-th block of every step-th block row, from the top left
// corner. The step is the largest that still leaves the picture this many
// blocks (1 where it holds fewer), so that the pictures of a 9-picture window
// fill the pool of blocks between them: reading one more picture as a window
// moves costs the same at any size.
constexpr int noise_picture_blocks = 500;

// The lattice's step for a picture of cols x rows blocks.
int noise_lattice_step(int cols, int rows);

// Worker thread_id of thread_num's part of the lattice of 32x32 blocks of a
// plane (a run of lattice rows), measured as noise_block_energies does.
void noise_lattice_energies(const float* plane, int pitch, int width, int height, int thread_id,
                            int thread_num, noise_energies* energies);

// The temporal readings of one w x h block: comp is the neighbour's,
// compensated, whose difference with cur carries gain times the noise
// variance (2 for whole pixels; less where interpolation averaged the
// neighbour's noise). False for blocks with a clipped sample on either side
// and blocks where the two agree exactly (a repeated picture tells nothing);
// else energy->plain = (m / 0.6745)^2 / gain, m the median of |comp - cur|
// grouped in bins one code value wide, and energy->centred the same for
// |comp - cur - o|, o the bin of the median of comp - cur.
struct noise_temporal_reading {
  float plain, centred;
};
bool noise_temporal_energy(const float* cur, int cur_pitch, const float* comp, int comp_pitch,
                           int w, int h, float gain, noise_temporal_reading* energy);

// What the energies say about the noise deviation.
struct noise_reading {
  float sigma = 0;
  // The deviation at the scale of 4x4 cells: 4 times the deviation of a
  // cell's mean. The sigma above for white noise; for noise read as coloured,
  // the grid reading over the means of 4x4 cells, where higher.
  float coarse = 0;
  // Whether the noise was read as coloured (the coloured reading, below):
  // then coarse / sigma is the shape of its spectrum.
  bool coloured = false;
  bool measured = false;  // false: no block could be read (the picture is too small)
};

// The noise deviation from the pooled block energies. Per reading the 2nd
// percentile, corrected by the same percentile of a flat noisy block's
// energy. Texture and edges raise the energy of their blocks only, so they
// leave the low end alone while at least one block in fifty is flat.
//   white:    the lower of grid and rows (texture only adds energy; the grid
//             mask ignores smooth shading, the row mask all vertical detail);
//   coloured: the root mean square of the grid readings at the three scales,
//             taken where it is well above the white reading: noise that is
//             not white (blurred, demosaiced) is weak at the finest scale
//             and strong at the coarser ones, and its deviation follows
//             from the three;
//   temporal: texture and graphics that stay from one picture to the next
//             are no noise, nor are they in the compensated difference: where
//             it is clearly below the white reading, it is the estimate; it
//             also caps the coloured one. Where no spatial block could be
//             read, the temporal reading alone. It is the plain reading, or
//             the centred one where that is clearly below it: then changes of
//             level, not noise, raised the plain one.
// Sorts the energies.
noise_reading noise_sigma_from_energies(noise_energies* energies);
