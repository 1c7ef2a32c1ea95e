// Loading of pixel columns for the column pass, one block of 16 adjacent pixel
// columns at a time: one walk down the frame gives the block's 16 luma columns
// and the Cb and Cr columns of its 8 even pixel columns.
#pragma once

#include <cstddef>

#include "host/host_api.h"

// Pixel columns per block, and the columns a block yields (16 Y, 8 Cb, 8 Cr).
constexpr int block_pixels = 16;
constexpr int block_columns = 32;

// load_block_x4 / load_block_x8(frame, max_w, x0, h, H, per_field, groups):
// pixel columns x0 .. x0+15 of a frame of h rows (pitch max_w pixels) into
// group buffers of H rows and 4 or 8 lanes (see columns.h): luma column x0 + i
// goes to lane i % lanes of groups[i / lanes]; the Cb of pixel column
// x0 + 2p to lane p % lanes of groups[16/lanes + p / lanes], the Cr to
// groups[24/lanes + p / lanes]. Odd pixel columns' Cb and Cr are not read.
// With per_field 0 a column is rows 0 .. h-1 with (H - h)/2 copies of row 0
// above and of row h-1 below. With per_field 1 the even rows, padded the same
// way with (H - h)/4 copies of their own first and last row, fill rows
// [0, H/2), and the odd rows likewise [H/2, H). H - h a positive multiple of 4
// (of 8 per field); h even. Samples convert exactly to float.
typedef void (*load_block_fn)(const PIXEL_YC* frame, int max_w, int x0, int h, int H,
                              int per_field, float* const* groups);
void load_block_x4_ref(const PIXEL_YC* frame, int max_w, int x0, int h, int H, int per_field,
                       float* const* groups);
void load_block_x4_sse2(const PIXEL_YC* frame, int max_w, int x0, int h, int H, int per_field,
                        float* const* groups);
void load_block_x8_ref(const PIXEL_YC* frame, int max_w, int x0, int h, int H, int per_field,
                       float* const* groups);
void load_block_x8_avx2(const PIXEL_YC* frame, int max_w, int x0, int h, int H, int per_field,
                        float* const* groups);

// The walk shared by the versions, given how one frame row becomes one row of
// every group: convert(pixels, groups, offset) writes floats offset ..
// offset + lanes - 1 of each group from the block's 16 pixels. Instantiate it
// only with a converter local to the calling file.
template <int lanes, class row_converter>
inline void walk_block(const PIXEL_YC* frame, int max_w, int x0, int h, int H, int per_field,
                       float* const* groups, row_converter convert) {
  // A walk down a column steps further than a page per row, which the hardware
  // prefetchers do not follow: request the rows ahead early.
  constexpr int prefetch_rows = 16;
  const int fields = per_field ? 2 : 1;
  const int pad = (H - h) / (2 * fields);
  const int field_rows = h / fields;
  for (int f = 0; f < fields; ++f) {
    const int base = f * (H / fields);  // first row of this field's half
    for (int i = 0; i < field_rows; ++i) {
      if (i + prefetch_rows < field_rows) {
        const char* ahead = reinterpret_cast<const char*>(
            frame + (ptrdiff_t)(f + (i + prefetch_rows) * fields) * max_w + x0);
        __builtin_prefetch(ahead);
        __builtin_prefetch(ahead + block_pixels * sizeof(PIXEL_YC) - 1);
      }
      convert(frame + (ptrdiff_t)(f + i * fields) * max_w + x0, groups,
              (ptrdiff_t)lanes * (base + pad + i));
    }
    for (int g = 0; g < block_columns / lanes; ++g) {
      const float* first = groups[g] + lanes * (base + pad);
      const float* last = first + lanes * (field_rows - 1);
      for (int i = 0; i < pad; ++i) {
        float* above = groups[g] + lanes * (base + i);
        float* below = groups[g] + lanes * (base + pad + field_rows + i);
        for (int c = 0; c < lanes; ++c) {
          above[c] = first[c];
          below[c] = last[c];
        }
      }
    }
  }
}
