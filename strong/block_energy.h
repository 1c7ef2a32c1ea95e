// Noise estimate kernels: the detail of 32x32 blocks, as the sums of the
// squared responses of the estimate's masks (noise_estimate.cpp says what
// they see). Double sums, each taken in the same order by every version
// (the SIMD ones take several blocks at a time, one a lane), so every
// version gives the same bits. Rows are pitch floats apart; no alignment is
// needed.
#pragma once

// The side of a block.
constexpr int energy_block = 32;

// The sums of one block, before division by the masks' gains and sample
// counts.
struct block_energy_sums {
  double grid;   // the 3x3 grid mask over the 30x30 inner samples
  double rows;   // the eighth difference along each row, 24 inner columns
  double grid2;  // the grid mask over the means of 2x2 cells (as floats)
  double grid4;  // and of 4x4 cells
};

// The sums of `count` blocks of a row, block i at plane + spacing * i
// (spacing at least 32: side by side, or further apart), into sums[i].
// Samples are finite.
typedef void (*block_energies_fn)(const float* plane, int pitch, int count, int spacing,
                                  block_energy_sums* sums);

void block_energies_ref(const float* plane, int pitch, int count, int spacing,
                        block_energy_sums* sums);
void block_energies_sse2(const float* plane, int pitch, int count, int spacing,
                         block_energy_sums* sums);
void block_energies_avx2(const float* plane, int pitch, int count, int spacing,
                         block_energy_sums* sums);
