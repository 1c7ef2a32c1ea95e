// Stores band lines into an interleaved ring. The ring keeps the K slots of a
// line side by side, four floats at a time, so a line's group g (floats
// 4g .. 4g+3) of slot s lies at ((line * N/4 + g) * K + s) * 4. Given the
// address of group 0 of the line in the slot, successive groups lie
// group_stride = 4K floats apart and successive lines N * K floats apart.
//
// Every store fills 16 bytes of a 64-byte cache line whose other bytes belong
// to other slots, so the stores are plain ones: streaming stores of partial
// lines cost the memory far more than reading each line in and writing it back.
#pragma once

#include <cstddef>

// ring_store_line(src, count, dst, group_stride): src[0, count) to groups
// 0 .. count/4 - 1 at dst. count a multiple of 4; src and dst 16-byte aligned.
typedef void (*ring_store_line_fn)(const float* src, int count, float* dst,
                                   ptrdiff_t group_stride);
void ring_store_line_ref(const float* src, int count, float* dst, ptrdiff_t group_stride);

// ring_store_x4 / ring_store_x8(src, rows, dst, line_stride, group_stride):
// rows [0, rows) of a group buffer of 4 or 8 lanes (see columns.h); lane c
// goes to the line at dst + c * line_stride. rows a multiple of 4.
typedef void (*ring_store_cols_fn)(const float* src, int rows, float* dst,
                                   ptrdiff_t line_stride, ptrdiff_t group_stride);
void ring_store_x4_ref(const float* src, int rows, float* dst, ptrdiff_t line_stride,
                       ptrdiff_t group_stride);
void ring_store_x4_sse2(const float* src, int rows, float* dst, ptrdiff_t line_stride,
                        ptrdiff_t group_stride);
void ring_store_x8_ref(const float* src, int rows, float* dst, ptrdiff_t line_stride,
                       ptrdiff_t group_stride);
void ring_store_x8_avx2(const float* src, int rows, float* dst, ptrdiff_t line_stride,
                        ptrdiff_t group_stride);
