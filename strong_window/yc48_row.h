// The way back to YC48, a row at a time: the filtered float samples of a
// plane to 16-bit YC48 values. Its table is filled with the strong filter's,
// after the processor check.
//
// yc48_row: dst[i] for i < n is the nearest YC48 value to
// (src[i] - offset) * 4096 / scale (halves up), below -32768 (or no value)
// -32768, above 32767 32767. Luma: offset 16, scale 219; chroma: 128, 224.
// Any n >= 0, no alignment; src and dst do not overlap.
#pragma once

typedef void (*yc48_row_fn)(const float* src, int n, float offset, float scale, short* dst);

void yc48_row_ref(const float* src, int n, float offset, float scale, short* dst);
void yc48_row_sse2(const float* src, int n, float offset, float scale, short* dst);

struct yc48_kernel_table {
  yc48_row_fn yc48_row;
};
extern yc48_kernel_table yc48_kernels;
// Fills the table for a kernel level (platform/simd_level.h).
void yc48_select_kernels(int level);
