// Stores band lines into an interleaved ring. The ring keeps the K slots of a
// line side by side, sixteen floats (one cache line) at a time: position j of
// line l of slot s in a ring of lines of N floats lies at
// l * N * K + ((j / 16) * K + s) * 16 + j % 16. Writing one slot therefore
// touches only that slot's cache lines, never a line shared with another
// slot (which would have to be read in first).
//
// A store writes groups of four floats. dst is the address of the first
// group, which is group `phase` (0 to 3) of its sixteen-float block; the
// group after group 3 of a block is group 0 of the block block_stride floats
// on (16 * K in a ring; 16 gives one plain run of floats). The SIMD versions
// write the blocks they cover wholly with streaming stores (blocks are
// 64-byte aligned); a job that called them runs store_fence before it
// returns.
#pragma once

#include <cstddef>

// Address of group h of the blocks that start with the first group at dst.
inline float* ring_group_at(float* dst, int h, int phase, ptrdiff_t block_stride) {
  return dst - 4 * phase + (ptrdiff_t)(h >> 2) * block_stride + 4 * (h & 3);
}

// ring_store_line(src, count, dst, block_stride, phase): src[0, count) to
// groups phase .. phase + count/4 - 1. count a multiple of 4; src and dst
// 16-byte aligned.
typedef void (*ring_store_line_fn)(const float* src, int count, float* dst,
                                   ptrdiff_t block_stride, int phase);
void ring_store_line_ref(const float* src, int count, float* dst, ptrdiff_t block_stride,
                         int phase);

// ring_store_x4 / ring_store_x8(src, rows, dst, line_stride, block_stride,
// phase): rows [0, rows) of a group buffer of 4 or 8 lanes (see columns.h);
// lane c goes to the line at dst + c * line_stride. rows a multiple of 4.
typedef void (*ring_store_cols_fn)(const float* src, int rows, float* dst,
                                   ptrdiff_t line_stride, ptrdiff_t block_stride, int phase);
void ring_store_x4_ref(const float* src, int rows, float* dst, ptrdiff_t line_stride,
                       ptrdiff_t block_stride, int phase);
void ring_store_x4_sse2(const float* src, int rows, float* dst, ptrdiff_t line_stride,
                        ptrdiff_t block_stride, int phase);
void ring_store_x8_ref(const float* src, int rows, float* dst, ptrdiff_t line_stride,
                       ptrdiff_t block_stride, int phase);
void ring_store_x8_avx2(const float* src, int rows, float* dst, ptrdiff_t line_stride,
                        ptrdiff_t block_stride, int phase);
