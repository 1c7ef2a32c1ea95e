// Output conversion: cuts the frame out of the padded canvas, converts luma to
// 16-bit samples and writes y, cb, cr pixels into the host's ycp_edit, eight
// rows at a time.
//
// Frame row y lives in canvas row R(y): (H - h)/2 + y, or per field
// (H - h)/4 + y/2 for even y and H/2 + (H - h)/4 + y/2 for odd y. Luma pixel x
// is canvas column (W - w)/2 + x; its chroma is sample R(y) of chroma line
// (W - w)/4 + x/2 (both pixels of a pair share it). Within a piece (top or
// bottom half, or one field) consecutive d give consecutive canvas rows.

#include "frame/buffers.h"
#include "frame/stage_share.h"
#include "temporal/temporal.h"

int output_canvas_row(int part, int h, uint8_t field) {
  return field ? part * (canvas_h / 2) + (canvas_h - h) / 4 : (canvas_h - h) / 2 + part * (h / 2);
}

void output_rows(int part, int d_first, int d_end, uint8_t field, const FILTER_PROC_INFO* fpip) {
  const int w = fpip->w, h = fpip->h;
  const ptrdiff_t max_w = fpip->max_w;
  const int col0 = (canvas_w - w) / 2;
  const ptrdiff_t line0 = static_cast<ptrdiff_t>((canvas_w - w) / 4) * canvas_h;
  // Canvas row and frame row of d = 0, and the frame rows between consecutive d.
  const int r_base = output_canvas_row(part, h, field);
  const int y_base = field ? part : part * (h / 2);
  const ptrdiff_t y_step = field ? 2 : 1;
  for (int d = d_first; d < d_end; d += 8) {
    const int r = r_base + d;
    temporal_kernels.pack_pixel_rows(luma_canvas + static_cast<ptrdiff_t>(r) * canvas_w + col0,
                                     canvas_w, cb_out + line0 + r, cr_out + line0 + r, canvas_h, w,
                                     fpip->ycp_edit + (y_base + y_step * d) * max_w,
                                     y_step * max_w);
  }
}

bool output_split(int h, int thread_id, int thread_num, int* first, int* end) {
  return stage_share(2 * (h / 16), output_min_blocks, thread_id, thread_num, first, end);
}

void output_job(int thread_id, int thread_num, void* field_flag, void* fpip_v) {
  const FILTER_PROC_INFO* fpip = static_cast<const FILTER_PROC_INFO*>(fpip_v);
  const uint8_t field = *static_cast<const uint8_t*>(field_flag);
  // Blocks of eight rows, h/16 per piece; this worker takes blocks [b0, b1).
  int b0 = 0, b1 = 0;
  if (!output_split(fpip->h, thread_id, thread_num, &b0, &b1)) return;
  const int per_piece = fpip->h / 16;
  for (int part = 0; part < 2; ++part) {
    const int first = b0 > part * per_piece ? b0 - part * per_piece : 0;
    const int end = b1 < (part + 1) * per_piece ? b1 - part * per_piece : per_piece;
    if (first < end) output_rows(part, 8 * first, 8 * end, field, fpip);
  }
}
