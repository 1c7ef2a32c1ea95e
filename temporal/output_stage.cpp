// Output conversion: cuts the frame out of the padded canvas, converts luma to
// 16-bit samples and writes y, cb, cr pixels into the host's ycp_edit.
//
// Frame row y lives in canvas row R(y): (H - h)/2 + y, or per field
// (H - h)/4 + y/2 for even y and H/2 + (H - h)/4 + y/2 for odd y. Luma pixel x
// is canvas column (W - w)/2 + x; its chroma is sample R(y) of chroma line
// (W - w)/4 + x/2 (both pixels of a pair share it).

#include "driver/buffers.h"
#include "temporal/temporal.h"

void output_rows(int part, int d_first, int d_end, int scratch_index, uint8_t field,
                 const FILTER_PROC_INFO* fpip) {
  const int w = fpip->w, h = fpip->h;
  const long max_w = fpip->max_w;
  const int col0 = (canvas_w - w) / 2;
  const long line0 = (canvas_w - w) / 4;
  int16_t* yrow = out_row[scratch_index];
  for (int d = d_first; d < d_end; ++d) {
    int y, r;
    if (field) {
      y = 2 * d + part;
      r = part * (canvas_h / 2) + (canvas_h - h) / 4 + d;
    } else {
      y = part * (h / 2) + d;
      r = (canvas_h - h) / 2 + y;
    }
    temporal_kernels.row_to_int16(luma_canvas + static_cast<long>(r) * canvas_w + col0, w, yrow);
    PIXEL_YC* dst = fpip->ycp_edit + y * max_w;
    const int16_t* cb = cb_out + line0 * canvas_h + r;
    const int16_t* cr = cr_out + line0 * canvas_h + r;
    for (int x = 0; x < w; x += 2, cb += canvas_h, cr += canvas_h) {
      const int16_t u = *cb, v = *cr;
      dst[x].y = yrow[x];
      dst[x].cb = u;
      dst[x].cr = v;
      dst[x + 1].y = yrow[x + 1];
      dst[x + 1].cb = u;
      dst[x + 1].cr = v;
    }
  }
}

void output_job(int thread_id, int thread_num, void* field_flag, void* fpip_v) {
  const FILTER_PROC_INFO* fpip = static_cast<const FILTER_PROC_INFO*>(fpip_v);
  const uint8_t field = *static_cast<const uint8_t*>(field_flag);
  const int half = fpip->h / 2, quarter = fpip->h / 4;
  switch (thread_num <= 1 ? 1 : (thread_num >= 4 ? 4 : thread_num)) {
    case 1:
      if (thread_id == 0) {
        output_rows(0, 0, half, 0, field, fpip);
        output_rows(1, 0, half, 1, field, fpip);
      }
      break;
    case 2:
      if (thread_id == 0) output_rows(0, 0, half, 0, field, fpip);
      if (thread_id == 1) output_rows(1, 0, half, 1, field, fpip);
      break;
    case 3:
      if (thread_id == 0) output_rows(0, 0, half, 0, field, fpip);
      if (thread_id == 2) output_rows(1, 0, half, 1, field, fpip);
      break;
    default:
      if (thread_id == 0) output_rows(0, 0, quarter, 0, field, fpip);
      if (thread_id == 1) output_rows(1, 0, quarter, 1, field, fpip);
      if (thread_id == 2) output_rows(0, quarter, half, 2, field, fpip);
      if (thread_id == 3) output_rows(1, quarter, half, 3, field, fpip);
      break;
  }
}
