// Stores band lines into the rings. A slot's copy of a ring line is one run of
// floats (see frame/buffers.h), so a frame's analysis writes whole cache lines
// of its own: where a lane's line covers a whole 64-byte line, the SIMD
// versions write it with streaming stores (the ring is read back only by the
// next stage, long after), so it is not first read in from memory. The caller
// runs store_fence before other threads read the ring.
#pragma once

#include <cstddef>

// ring_store_x4 / ring_store_x8(src, rows, dst, line_stride): rows [0, rows)
// of a group buffer of 4 or 8 lanes (see columns.h); lane c goes to
// dst[c * line_stride + 0 .. rows - 1]. rows a multiple of 4; src, dst and
// line_stride 16-byte aligned, line_stride a multiple of 16 floats.
typedef void (*ring_store_cols_fn)(const float* src, int rows, float* dst, ptrdiff_t line_stride);
void ring_store_x4_ref(const float* src, int rows, float* dst, ptrdiff_t line_stride);
void ring_store_x4_sse2(const float* src, int rows, float* dst, ptrdiff_t line_stride);
void ring_store_x8_ref(const float* src, int rows, float* dst, ptrdiff_t line_stride);
void ring_store_x8_avx2(const float* src, int rows, float* dst, ptrdiff_t line_stride);
