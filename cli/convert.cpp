// Conversion between frame bytes (y4m planes or raw YC48) and the editor's
// PIXEL_YC frames, with the editor's limited-range sample formulas.
//
// YC48 puts 8-bit black (16) at y = 0 and white (235) at y = 4096, and chroma
// 16 ... 240 at -2048 ... 2048. 8-bit samples use the editor's integer forms;
// deeper samples are first scaled to 16 bits (v << (16 - bits)) and use the
// 16-bit forms; the way out is the editor's at 8 bits and rounds deeper samples (see
// luma_offset).
#include <cstring>

#include "cli/convert.h"
#include "platform/simd_level.h"

namespace {

int clamp_int(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

// Rounding offsets of the way out, by depth (index bits - 8). 8-bit samples
// use the editor's own output form, Y = ((y * 219 + 383) >> 12) + 16, which
// brings every unfiltered sample back unchanged. Deeper samples round to
// nearest (half a step), which brings every 9- to 11-bit sample back; at 12
// bits the offset leans up just enough (167/256) that every sample still
// comes back; 13 to 16 bits are finer than YC48 and come back within one step.
const int luma_offset[9] = {383, 1024, 512, 256, 167, 64, 39, 16, 8};

int16_t read_le16(const uint8_t* p) { return int16_t(uint16_t(p[0] | p[1] << 8)); }

void write_le16(uint8_t* p, int v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

int read_sample(const uint8_t* plane, size_t index, int wide) {
  return wide ? (plane[2 * index] | plane[2 * index + 1] << 8) : plane[index];
}

void write_sample(uint8_t* plane, size_t index, int wide, int v) {
  if (wide) write_le16(plane + 2 * index, v);
  else plane[index] = uint8_t(v);
}

// Rounded mean of n (1, 2 or 4) values summing to sum: floor(sum / n + 1/2).
int rounded_mean(int sum, int n) {
  int shift = n == 1 ? 1 : n == 2 ? 2 : 3;  // log2(2n)
  return (2 * sum + n) >> shift;
}

}  // namespace

int yc48_luma_from_sample(int v, int bits) {
  v = clamp_int(v, 0, (1 << bits) - 1);
  if (bits == 8) return ((v * 1197) >> 6) - 299;
  return (((v << (16 - bits)) * 1197) >> 14) - 299;
}

int yc48_chroma_from_sample(int v, int bits) {
  v = clamp_int(v, 0, (1 << bits) - 1);
  if (bits == 8) return ((v - 128) * 4681 + 164) >> 8;
  return (((v << (16 - bits)) - 32768) * 4682 + 32768) >> 16;
}

int sample_from_yc48_luma(int y, int bits) {
  int v = ((y * 219 + luma_offset[bits - 8]) >> (20 - bits)) + (16 << (bits - 8));
  return clamp_int(v, 0, (1 << bits) - 1);
}

int sample_from_yc48_chroma(int c, int bits) {
  int v = bits == 16 ? (c + 2048) * 14 + 4096
                     : (((c + 2048) * 7 + (66 >> (bits - 8))) >> (15 - bits)) + (16 << (bits - 8));
  return clamp_int(v, 0, (1 << bits) - 1);
}

// Columns past the width repeat the row's last pixel; rows past the height
// repeat the last row.
void pad_frame(PIXEL_YC* frame, int w, int h, int pitch, int rows) {
  for (int r = 0; r < h; ++r) {
    PIXEL_YC* row = frame + size_t(r) * pitch;
    for (int x = w; x < pitch; ++x) row[x] = row[w - 1];
  }
  for (int r = h; r < rows; ++r)
    memcpy(frame + size_t(r) * pitch, frame + size_t(h - 1) * pitch, sizeof(PIXEL_YC) * pitch);
}

void make_chroma_rows(const video_format& f, bool field_aware, chroma_rows* map) {
  const int h = f.height, ch = chroma_height(f);
  map->of_row.assign(h, 0);
  map->first_row.assign(ch, -1);
  map->second_row.assign(ch, -1);
  for (int r = 0; r < h; ++r) {
    int cy = r;
    if (f.chroma == 420) {
      // Per field, chroma rows alternate top, bottom: field row r / 2 of field
      // r % 2 takes chroma row (r / 4) * 2 + r % 2.
      cy = field_aware ? (r / 4) * 2 + r % 2 : r / 2;
      if (cy >= ch) cy = ch - 1;
    }
    map->of_row[r] = cy;
    if (map->first_row[cy] < 0) map->first_row[cy] = r;
    else map->second_row[cy] = r;
  }
  for (int cy = 0; cy < ch; ++cy)
    if (map->first_row[cy] < 0) map->first_row[cy] = h - 1;  // not reached for 4:2:0 maps
}

void eight_bit_row_to_pixels_ref(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, int w,
                                 int chroma_shift, PIXEL_YC* out) {
  static int16_t luma8[256], chroma8[256];
  static const bool tables_ready = [] {
    for (int v = 0; v < 256; ++v) {
      luma8[v] = int16_t(yc48_luma_from_sample(v, 8));
      chroma8[v] = int16_t(yc48_chroma_from_sample(v, 8));
    }
    return true;
  }();
  (void)tables_ready;
  for (int x = 0; x < w; ++x) {
    out[x].y = luma8[y[x]];
    out[x].cb = chroma8[cb[x >> chroma_shift]];
    out[x].cr = chroma8[cr[x >> chroma_shift]];
  }
}

cli_kernel_table cli_kernels = {eight_bit_row_to_pixels_ref, luma_to_bytes_ref,
                                chroma_blocks_to_bytes_ref};

void cli_select_kernels(int level) {
  cli_kernel_table t = {eight_bit_row_to_pixels_ref, luma_to_bytes_ref,
                        chroma_blocks_to_bytes_ref};
#if defined(__SSE2__)
  if (level >= simd_sse2) {
    t.eight_bit_row_to_pixels = eight_bit_row_to_pixels_sse2;
    t.luma_to_bytes = luma_to_bytes_sse2;
    t.chroma_blocks_to_bytes = chroma_blocks_to_bytes_sse2;
  }
#else
  (void)level;
#endif
  cli_kernels = t;
}

void luma_to_bytes_ref(const PIXEL_YC* row, int w, uint8_t* out) {
  for (int x = 0; x < w; ++x) out[x] = uint8_t(sample_from_yc48_luma(row[x].y, 8));
}

void chroma_blocks_to_bytes_ref(const PIXEL_YC* r0, const PIXEL_YC* r1, int count, uint8_t* cb,
                                uint8_t* cr) {
  for (int cx = 0; cx < count; ++cx) {
    const int x0 = 2 * cx;
    const int sum_b = r0[x0].cb + r0[x0 + 1].cb + r1[x0].cb + r1[x0 + 1].cb;
    const int sum_r = r0[x0].cr + r0[x0 + 1].cr + r1[x0].cr + r1[x0 + 1].cr;
    cb[cx] = uint8_t(sample_from_yc48_chroma(rounded_mean(sum_b, 4), 8));
    cr[cx] = uint8_t(sample_from_yc48_chroma(rounded_mean(sum_r, 4), 8));
  }
}

void luma_to_bytes(const PIXEL_YC* row, int w, uint8_t* out) {
  cli_kernels.luma_to_bytes(row, w, out);
}

void chroma_blocks_to_bytes(const PIXEL_YC* r0, const PIXEL_YC* r1, int count, uint8_t* cb,
                            uint8_t* cr) {
  cli_kernels.chroma_blocks_to_bytes(r0, r1, count, cb, cr);
}

void rows_to_frame(const uint8_t* luma, const uint8_t* cb, const uint8_t* cr, int chroma_first,
                   int first, int count, stream_format layout, const video_format& f,
                   const chroma_rows& map, PIXEL_YC* frame, int pitch) {
  const int w = f.width;
  if (layout == format_yc48) {
    for (int r = first; r < first + count; ++r) {
      const uint8_t* src = luma + size_t(r - first) * w * 6;
      PIXEL_YC* row = frame + size_t(r) * pitch;
      for (int x = 0; x < w; ++x) {
        row[x].y = read_le16(src + 6 * x);
        row[x].cb = read_le16(src + 6 * x + 2);
        row[x].cr = read_le16(src + 6 * x + 4);
      }
    }
    return;
  }
  const int wide = f.bits > 8, cw = chroma_width(f);
  const int sx = f.chroma == 444 ? 0 : 1;
  for (int r = first; r < first + count; ++r) {
    PIXEL_YC* row = frame + size_t(r) * pitch;
    const size_t luma_base = size_t(r - first) * w;
    const size_t chroma_base = size_t(map.of_row[r] - chroma_first) * cw;
    if (!wide) {
      cli_kernels.eight_bit_row_to_pixels(luma + luma_base, cb + chroma_base, cr + chroma_base, w,
                                          sx, row);
    } else {
      for (int x = 0; x < w; ++x) {
        row[x].y = int16_t(yc48_luma_from_sample(read_sample(luma, luma_base + x, 1), f.bits));
        row[x].cb = int16_t(
            yc48_chroma_from_sample(read_sample(cb, chroma_base + (x >> sx), 1), f.bits));
        row[x].cr = int16_t(
            yc48_chroma_from_sample(read_sample(cr, chroma_base + (x >> sx), 1), f.bits));
      }
    }
  }
}

void payload_planes(const uint8_t* payload, stream_format layout, const video_format& f,
                    const uint8_t** cb, const uint8_t** cr) {
  *cb = payload + plane_row_bytes(layout, f, 0) * f.height;
  *cr = *cb + plane_row_bytes(layout, f, 1) * plane_rows(layout, f, 1);
}

void payload_to_frame(const uint8_t* payload, stream_format layout, const video_format& f,
                      const chroma_rows& map, PIXEL_YC* frame, int pitch, int rows) {
  const uint8_t *cb, *cr;
  payload_planes(payload, layout, f, &cb, &cr);
  rows_to_frame(payload, cb, cr, 0, 0, f.height, layout, f, map, frame, pitch);
  pad_frame(frame, f.width, f.height, pitch, rows);
}

void frame_to_plane_rows(const PIXEL_YC* frame, int pitch, stream_format layout,
                         const video_format& f, const chroma_rows& map, int plane, int first,
                         int count, uint8_t* out) {
  const int w = f.width;
  if (layout == format_yc48) {
    for (int r = first; r < first + count; ++r) {
      uint8_t* dst = out + size_t(r - first) * w * 6;
      const PIXEL_YC* row = frame + size_t(r) * pitch;
      for (int x = 0; x < w; ++x) {
        write_le16(dst + 6 * x, row[x].y);
        write_le16(dst + 6 * x + 2, row[x].cb);
        write_le16(dst + 6 * x + 4, row[x].cr);
      }
    }
    return;
  }
  const int wide = f.bits > 8, bits = f.bits;
  if (plane == 0) {
    for (int r = first; r < first + count; ++r) {
      const PIXEL_YC* row = frame + size_t(r) * pitch;
      uint8_t* dst = out + size_t(r - first) * w * (wide + 1);
      if (!wide) {
        luma_to_bytes(row, w, dst);
        continue;
      }
      for (int x = 0; x < w; ++x) write_sample(dst, x, wide, sample_from_yc48_luma(row[x].y, bits));
    }
    return;
  }
  // One plane: both are made a row at a time, the other into a scratch row.
  uint8_t scratch[2 * max_frame_width];
  const size_t row_bytes = plane_row_bytes(layout, f, plane);
  for (int cy = first; cy < first + count; ++cy) {
    uint8_t* dst = out + size_t(cy - first) * row_bytes;
    frame_to_chroma_rows(frame, pitch, f, map, cy, 1, plane == 1 ? dst : scratch,
                         plane == 1 ? scratch : dst);
  }
}

void frame_to_chroma_rows(const PIXEL_YC* frame, int pitch, const video_format& f,
                          const chroma_rows& map, int first, int count, uint8_t* cb, uint8_t* cr) {
  const int w = f.width, wide = f.bits > 8, bits = f.bits, cw = chroma_width(f);
  const int sx = f.chroma == 444 ? 0 : 1;
  const size_t row_bytes = size_t(cw) * (wide + 1);
  // Each chroma sample is the rounded mean of the pixels sharing it: one or
  // two columns of the one or two picture rows that use the chroma row.
  for (int cy = first; cy < first + count; ++cy) {
    const PIXEL_YC* r0 = frame + size_t(map.first_row[cy]) * pitch;
    const PIXEL_YC* r1 = map.second_row[cy] >= 0 ? frame + size_t(map.second_row[cy]) * pitch
                                                 : nullptr;
    uint8_t* dst[2] = {cb + size_t(cy - first) * row_bytes, cr + size_t(cy - first) * row_bytes};
    int start = 0;
    if (!wide && sx && r1) {
      // 8 bits, two rows and two columns: the common case, in one kernel.
      start = w / 2;
      chroma_blocks_to_bytes(r0, r1, start, dst[0], dst[1]);
    }
    for (int c = 0; c < 2; ++c) {
      short PIXEL_YC::*const part = c == 0 ? &PIXEL_YC::cb : &PIXEL_YC::cr;
      for (int cx = start; cx < cw; ++cx) {
        const int x0 = cx << sx;
        const bool pair = sx && x0 + 1 < w;
        int sum = r0[x0].*part;
        if (pair) sum += r0[x0 + 1].*part;
        if (r1) {
          sum += r1[x0].*part;
          if (pair) sum += r1[x0 + 1].*part;
        }
        const int n = (pair ? 2 : 1) * (r1 ? 2 : 1);
        write_sample(dst[c], cx, wide, sample_from_yc48_chroma(rounded_mean(sum, n), bits));
      }
    }
  }
}

void frame_to_payload(const PIXEL_YC* frame, int pitch, stream_format layout,
                      const video_format& f, const chroma_rows& map, uint8_t* payload) {
  for (int plane = 0; plane < plane_count(layout); ++plane) {
    const int rows = plane_rows(layout, f, plane);
    frame_to_plane_rows(frame, pitch, layout, f, map, plane, 0, rows, payload);
    payload += plane_row_bytes(layout, f, plane) * rows;
  }
}
