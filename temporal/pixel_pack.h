// Packing of eight frame rows: luma floats converted with sample_to_int16,
// chroma samples (one per pixel pair) from the chroma lines, written as
// PIXEL_YC (y, cb, cr) pixels.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/host_api.h"

// Row k (0 to 7) of the block:
//   dst[k * dst_stride + x].y  = sample_to_int16(luma[k * luma_stride + x])
//   dst[k * dst_stride + x].cb = cb[(x / 2) * chroma_stride + k], .cr likewise
// for x in [0, w). luma: 16-byte aligned, luma_stride a multiple of 4; w a
// multiple of 16; cb, cr and dst need no alignment. Writes nothing else.
typedef void (*pack_pixel_rows_fn)(const float* luma, ptrdiff_t luma_stride, const int16_t* cb,
                                   const int16_t* cr, ptrdiff_t chroma_stride, int w, PIXEL_YC* dst,
                                   ptrdiff_t dst_stride);

void pack_pixel_rows_ref(const float* luma, ptrdiff_t luma_stride, const int16_t* cb,
                         const int16_t* cr, ptrdiff_t chroma_stride, int w, PIXEL_YC* dst,
                         ptrdiff_t dst_stride);
void pack_pixel_rows_sse2(const float* luma, ptrdiff_t luma_stride, const int16_t* cb,
                          const int16_t* cr, ptrdiff_t chroma_stride, int w, PIXEL_YC* dst,
                          ptrdiff_t dst_stride);
