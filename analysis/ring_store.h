// Stores band lines into an interleaved ring. The ring keeps the K slots of a
// line side by side, four floats at a time, so a line's group g (floats
// 4g .. 4g+3) of slot s lies at ((line * N/4 + g) * K + s) * 4. Given the
// address of group 0 of the line in the slot, successive groups lie
// group_stride = 4K floats apart and successive lines N * K floats apart.
//
// The SIMD versions use streaming stores (the ring is read much later by another
// stage); a job that used them calls ring_store_fence before it returns.
#pragma once

#include <cstddef>

// ring_store_line(src, count, dst, group_stride): src[0, count) to groups
// 0 .. count/4 - 1 at dst. count a multiple of 4; src and dst 16-byte aligned.
typedef void (*ring_store_line_fn)(const float* src, int count, float* dst,
                                   ptrdiff_t group_stride);
void ring_store_line_ref(const float* src, int count, float* dst, ptrdiff_t group_stride);
void ring_store_line_sse2(const float* src, int count, float* dst, ptrdiff_t group_stride);

// ring_store_x4(src, rows, dst, line_stride, group_stride): rows [0, rows) of a
// four-line buffer (see columns_x4.h); lane c goes to the line at
// dst + c * line_stride. rows a multiple of 4.
typedef void (*ring_store_x4_fn)(const float* src, int rows, float* dst, ptrdiff_t line_stride,
                                 ptrdiff_t group_stride);
void ring_store_x4_ref(const float* src, int rows, float* dst, ptrdiff_t line_stride,
                       ptrdiff_t group_stride);
void ring_store_x4_sse2(const float* src, int rows, float* dst, ptrdiff_t line_stride,
                        ptrdiff_t group_stride);

// Orders the streaming stores of the calling thread before its later stores.
typedef void (*ring_store_fence_fn)();
void ring_store_fence_ref();
void ring_store_fence_sse2();
