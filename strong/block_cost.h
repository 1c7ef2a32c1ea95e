// Motion search kernels: the block costs of the search on the 8-bit luma
// pyramid. Integer sums, so every version gives the same value. Rows are
// pitch bytes apart; no alignment is needed.
#pragma once

#include <cstdint>

// Sum of squared differences of two 16x16 blocks (full size).
typedef uint32_t (*block_ssd16_fn)(const uint8_t* a, int a_pitch, const uint8_t* b, int b_pitch);
// Sum of absolute differences of two blocks 8 wide and h rows (2x decimated).
typedef uint32_t (*block_sad8_fn)(const uint8_t* a, int a_pitch, const uint8_t* b, int b_pitch,
                                  int h);
// Sum of absolute differences of two 4x4 blocks (4x decimated).
typedef uint32_t (*block_sad4_fn)(const uint8_t* a, int a_pitch, const uint8_t* b, int b_pitch);
// The same for the block at a against count blocks side by side:
// out[i] = sad4(a, b + i) for i < count. May read each of the four rows up to
// b + count + 22 (past the last block, whose end is b + count + 2), ignoring
// what lies there.
typedef void (*block_sad4_row_fn)(const uint8_t* a, int a_pitch, const uint8_t* b, int b_pitch,
                                  int count, uint32_t* out);

uint32_t block_ssd16_ref(const uint8_t* a, int a_pitch, const uint8_t* b, int b_pitch);
uint32_t block_ssd16_sse2(const uint8_t* a, int a_pitch, const uint8_t* b, int b_pitch);
uint32_t block_ssd16_avx2(const uint8_t* a, int a_pitch, const uint8_t* b, int b_pitch);

uint32_t block_sad8_ref(const uint8_t* a, int a_pitch, const uint8_t* b, int b_pitch, int h);
uint32_t block_sad8_sse2(const uint8_t* a, int a_pitch, const uint8_t* b, int b_pitch, int h);

uint32_t block_sad4_ref(const uint8_t* a, int a_pitch, const uint8_t* b, int b_pitch);
uint32_t block_sad4_sse2(const uint8_t* a, int a_pitch, const uint8_t* b, int b_pitch);

void block_sad4_row_ref(const uint8_t* a, int a_pitch, const uint8_t* b, int b_pitch, int count,
                        uint32_t* out);
void block_sad4_row_sse2(const uint8_t* a, int a_pitch, const uint8_t* b, int b_pitch, int count,
                         uint32_t* out);
void block_sad4_row_avx2(const uint8_t* a, int a_pitch, const uint8_t* b, int b_pitch, int count,
                         uint32_t* out);
