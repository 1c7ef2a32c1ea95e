// The noise estimate of strong mode: the standard deviation of white noise in
// a plane, from the second-order detail of its flattest blocks (the masks and
// why two of them: noise_estimate.cpp).
#pragma once

#include <vector>

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
