// Conversion between frame bytes (y4m planes or raw YC48) and the editor's
// PIXEL_YC frames, whole frames or a few rows at a time, both ways; the 8-bit
// row kernels of the conversions and their table, filled for a kernel level.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "cli/video_format.h"
#include "host/host_api.h"

// Sample formulas (limited range). 8-bit uses the editor's own forms; deeper
// samples go through the 16-bit forms.
int yc48_luma_from_sample(int v, int bits);
int yc48_chroma_from_sample(int v, int bits);
int sample_from_yc48_luma(int y, int bits);
int sample_from_yc48_chroma(int c, int bits);

// Which chroma row each picture row uses, and back. Vertically subsampled
// chroma is field-aware when per-field processing is on: chroma rows alternate
// between the fields, so a row takes its chroma from its own field.
struct chroma_rows {
  std::vector<int> of_row;     // chroma row of each picture row
  std::vector<int> first_row;  // per chroma row: picture rows that use it
  std::vector<int> second_row; // (-1 when only one)
};
void make_chroma_rows(const video_format& f, bool field_aware, chroma_rows* map);

// Frame bytes (layout y4m or yc48) to a PIXEL_YC frame of pitch x rows pixels;
// columns past the width repeat the row's last pixel, rows past the height
// repeat the last row.
void payload_to_frame(const uint8_t* payload, stream_format layout, const video_format& f,
                      const chroma_rows& map, PIXEL_YC* frame, int pitch, int rows);
// The same a part at a time: picture rows [first, first + count) from their
// plane rows. luma points at the luma (or YC48) row first; cb and cr at chroma
// row chroma_first, which must be the smallest chroma row those rows use
// (unused for YC48). pad_frame then fills the columns and rows past the picture.
void rows_to_frame(const uint8_t* luma, const uint8_t* cb, const uint8_t* cr, int chroma_first,
                   int first, int count, stream_format layout, const video_format& f,
                   const chroma_rows& map, PIXEL_YC* frame, int pitch);
void pad_frame(PIXEL_YC* frame, int w, int h, int pitch, int rows);
// One row of 8-bit samples to w pixels: luma y[x], chroma cb[x >> chroma_shift]
// and cr[x >> chroma_shift] (chroma_shift 1 for horizontally halved chroma).
// Both versions give the same pixels; conversions call the one in cli_kernels.
typedef void (*eight_bit_row_fn)(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, int w,
                                 int chroma_shift, PIXEL_YC* out);
typedef void (*luma_to_bytes_fn)(const PIXEL_YC* row, int w, uint8_t* out);
typedef void (*chroma_blocks_to_bytes_fn)(const PIXEL_YC* r0, const PIXEL_YC* r1, int count,
                                          uint8_t* cb, uint8_t* cr);
struct cli_kernel_table {
  eight_bit_row_fn eight_bit_row_to_pixels;
  luma_to_bytes_fn luma_to_bytes;
  chroma_blocks_to_bytes_fn chroma_blocks_to_bytes;
};
// Written only by cli_select_kernels; the scalar version until then.
extern cli_kernel_table cli_kernels;
// Fills cli_kernels for a kernel level (platform/simd_level.h): the SSE2
// version from level 1 up where the build targets SSE2, else the scalar one.
// editor_open calls it with the level the filter chose.
void cli_select_kernels(int level);
void eight_bit_row_to_pixels_ref(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, int w,
                                 int chroma_shift, PIXEL_YC* out);
void eight_bit_row_to_pixels_sse2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, int w,
                                  int chroma_shift, PIXEL_YC* out);
// The way back for 8-bit samples: w luma samples of a row, and count samples
// of each chroma plane, each the rounded mean of a 2x2 block (columns 2 cx and
// 2 cx + 1 of rows r0 and r1). The _sse2 versions give the same bytes; the
// plain names call the versions in cli_kernels.
void luma_to_bytes(const PIXEL_YC* row, int w, uint8_t* out);
void luma_to_bytes_ref(const PIXEL_YC* row, int w, uint8_t* out);
void luma_to_bytes_sse2(const PIXEL_YC* row, int w, uint8_t* out);
void chroma_blocks_to_bytes(const PIXEL_YC* r0, const PIXEL_YC* r1, int count, uint8_t* cb,
                            uint8_t* cr);
void chroma_blocks_to_bytes_ref(const PIXEL_YC* r0, const PIXEL_YC* r1, int count, uint8_t* cb,
                                uint8_t* cr);
void chroma_blocks_to_bytes_sse2(const PIXEL_YC* r0, const PIXEL_YC* r1, int count, uint8_t* cb,
                                 uint8_t* cr);
// Where a payload's Cb and Cr planes start (y4m; for YC48 they are unused).
void payload_planes(const uint8_t* payload, stream_format layout, const video_format& f,
                    const uint8_t** cb, const uint8_t** cr);
// A PIXEL_YC frame to frame bytes. Subsampled chroma is the rounded mean of
// the pixels that share it.
void frame_to_payload(const PIXEL_YC* frame, int pitch, stream_format layout,
                      const video_format& f, const chroma_rows& map, uint8_t* payload);
// Rows [first, first + count) of both chroma planes (y4m), to cb and cr.
void frame_to_chroma_rows(const PIXEL_YC* frame, int pitch, const video_format& f,
                          const chroma_rows& map, int first, int count, uint8_t* cb, uint8_t* cr);
// The same a part at a time: rows [first, first + count) of one plane, written
// to out (count * plane_row_bytes).
void frame_to_plane_rows(const PIXEL_YC* frame, int pitch, stream_format layout,
                         const video_format& f, const chroma_rows& map, int plane, int first,
                         int count, uint8_t* out);
