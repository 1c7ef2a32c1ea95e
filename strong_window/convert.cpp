// The conversions between PIXEL_YC frames and the strong filter's planes: the
// sample formulas, and the jobs that convert a frame's rows on the workers.
#include "frame/stage_share.h"
#include "strong_window/strong_window.h"
#include "strong_window/strong_window_internal.h"
#include "strong_window/yc48_row.h"

namespace {

constexpr int convert_min_rows = 16;  // rows a converting worker takes at least
constexpr int chunk = 64;             // samples converted back at a time

}  // namespace

// The editor's YC48 values of the 8-bit ends: luma 0 and 255, chroma 255.
constexpr short yc48_luma_0 = -299, yc48_luma_255 = 4470, yc48_chroma_255 = 2322;

// 219 / 4096 and 224 / 4096 are exact in single precision, and so is every
// product with a 16-bit sample and the sum with the offset (at most 24
// significant bits): the way in rounds nothing. Except at the 8-bit ends,
// which the scale puts 0.013 (luma 0), 0.003 (luma 255) and 0.02 (chroma 255)
// inside the range: there the way in gives the ends themselves, so that the
// noise estimate knows those samples for clipped, as it does the command
// line's. (Chroma 0, -2340, stays at 0.029: no value at or below 0 would come
// back to it.)
float strong_luma_from_yc48(short y) {
  if (y == yc48_luma_0) return 0.0f;
  if (y == yc48_luma_255) return 255.0f;
  return float(y) * (219.0f / 4096.0f) + 16.0f;
}
float strong_chroma_from_yc48(short c) {
  if (c == yc48_chroma_255) return 255.0f;
  return float(c) * (224.0f / 4096.0f) + 128.0f;
}
// The exact inverse on what the way in gives: (v - 16) and its product with
// 4096 are exact there, and the division then gives y itself; the ends come
// back to -299 (from -299.25), 4470 (4470.06) and 2322 (2322.29).
short strong_yc48_from_luma(float v) {
  short y;
  yc48_row_ref(&v, 1, 16.0f, 219.0f, &y);
  return y;
}
short strong_yc48_from_chroma(float v) {
  short c;
  yc48_row_ref(&v, 1, 128.0f, 224.0f, &c);
  return c;
}

// Frame row r belongs to field r % fields, as that field's row r / fields.
void frame_to_planes_job(int thread_id, int thread_num, void* param1, void*) {
  const frame_to_planes_params& c = *static_cast<const frame_to_planes_params*>(param1);
  int first, end;
  if (!stage_share(c.h, convert_min_rows, thread_id, thread_num, &first, &end)) return;
  for (int row = first; row < end; ++row) {
    const int f = row % c.fields, y = row / c.fields;
    const PIXEL_YC* src = c.src + size_t(row) * c.src_pitch;
    float* luma = c.slot[f].plane[0] + size_t(y) * c.slot[f].pitch[0];
    float* cb = c.slot[f].plane[1] + size_t(y) * c.slot[f].pitch[1];
    float* cr = c.slot[f].plane[2] + size_t(y) * c.slot[f].pitch[2];
    for (int x = 0; x < c.w; ++x) {
      luma[x] = strong_luma_from_yc48(src[x].y);
      cb[x] = strong_chroma_from_yc48(src[x].cb);
      cr[x] = strong_chroma_from_yc48(src[x].cr);
    }
  }
}

void planes_to_frame_job(int thread_id, int thread_num, void* param1, void*) {
  const planes_to_frame_params& c = *static_cast<const planes_to_frame_params*>(param1);
  int first, end;
  if (!stage_share(c.h, convert_min_rows, thread_id, thread_num, &first, &end)) return;
  for (int row = first; row < end; ++row) {
    const int f = row % c.fields, y = row / c.fields;
    PIXEL_YC* dst = c.dst + size_t(row) * c.dst_pitch;
    const size_t at = size_t(y) * c.w;
    const float* luma = c.plane[f][0] + at;
    const float* cb = c.plane[f][1] + at;
    const float* cr = c.plane[f][2] + at;
    for (int x0 = 0; x0 < c.w; x0 += chunk) {
      const int n = c.w - x0 < chunk ? c.w - x0 : chunk;
      short values[3][chunk];
      yc48_kernels.yc48_row(luma + x0, n, 16.0f, 219.0f, values[0]);
      for (int i = 0; i < n; ++i) dst[x0 + i].y = values[0][i];
      if (!c.chroma) continue;
      yc48_kernels.yc48_row(cb + x0, n, 128.0f, 224.0f, values[1]);
      yc48_kernels.yc48_row(cr + x0, n, 128.0f, 224.0f, values[2]);
      for (int i = 0; i < n; ++i) {
        dst[x0 + i].cb = values[1][i];
        dst[x0 + i].cr = values[2][i];
      }
    }
  }
}
