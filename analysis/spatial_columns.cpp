// Column pass of the spatial analysis: luma columns to the canvas, chroma
// columns to the chroma rings.
//
// The frame is cut into blocks of 16 pixel columns. One walk down the frame
// loads a block's 16 luma columns and the Cb and Cr of its 8 even pixel
// columns into group buffers of 4 or 8 lanes (one column per lane), which the
// column-group kernels then split, shrink and (luma) synthesise and merge; the
// luma results go into the canvas as whole 64-byte row segments. A column's
// numbers do not depend on its neighbours in the block, nor on which thread
// runs the block.
#include <cstring>

#include "analysis/analysis.h"
#include "analysis/analysis_kernels.h"
#include "analysis/spatial_stage.h"
#include "frame/buffers.h"
#include "frame/stage_params.h"
#include "frame/stage_share.h"
#include "host/settings.h"

namespace {

// A block's buffers in a worker's scratch.
struct block_buffers {
  float* group[block_columns / 4];  // luma groups, then Cb, then Cr (column_load.h)
  float* luma_hb[16 / 4];           // Hb lines of the luma groups
  float* odd;                       // split outputs of levels 1 and 3
};

block_buffers carve_block_buffers(float* scratch, int lanes, int rows) {
  block_buffers b;
  const size_t group_floats = (size_t)lanes * rows;
  for (int g = 0; g < block_columns / lanes; ++g) b.group[g] = scratch + g * group_floats;
  float* hb = scratch + (size_t)block_columns * rows;
  for (int g = 0; g < 16 / lanes; ++g) b.luma_hb[g] = hb + g * group_floats;
  b.odd = hb + (size_t)16 * rows;
  return b;
}

// A luma column's result: the merged low band in even rows [0, n/2), Hb1 in hb
// rows [n/2, n).
inline const float* luma_result_row(const float* even, const float* hb, int lanes, int r, int n) {
  return (r < n / 2 ? even : hb) + lanes * r;
}

// Writes lane `lane` of a luma group's result into `count` adjacent canvas
// columns starting at col.
void fill_canvas_columns(const float* even, const float* hb, int lanes, int rows, int lane,
                         int col, int count) {
  for (int r = 0; r < rows; ++r) {
    const float v = luma_result_row(even, hb, lanes, r, rows)[lane];
    float* dst = luma_canvas + (ptrdiff_t)r * canvas_w + col;
    for (int i = 0; i < count; ++i) dst[i] = v;
  }
}

// Per luma column of a group: split and shrink four levels, undo levels 4 to 2,
// merge level 1's L and Ha into the Daubechies low band.
void analyse_luma_group(float* even, float* hb, float* odd, int rows, const shrink_params& sp) {
  const analysis_kernel_table& t = analysis_kernels;
  split_four_levels(even, odd, hb, rows, sp);
  t.synthesize_cols(even, hb, rows / 16, odd);  // L3 over L4's old line
  t.synthesize_cols(odd, hb, rows / 8, even);   // L2; Ha2 still after it
  t.synthesize_cols(even, hb, rows / 4, odd);   // L1; Ha1 still after it
  t.low_merge_cols(odd, rows / 2, even);
}

// Copies lane `lane` of the band lines of group buffers into plain lines:
// part A to a (in the layout store_band_line expects for both of its lines),
// part B to b.
void extract_band_line(const float* even, const float* odd, const float* hb, int n, int lanes,
                       int lane, float* a, float* b) {
  for (int j = 0; j < n; ++j) {
    const bool from_even = j < n / 8 || (j >= n / 4 && j < n / 2);
    a[j] = (from_even ? even : odd)[lanes * j + lane];
    b[j] = hb[lanes * j + lane];
  }
}

// The block of pixel columns [x0, x0 + 16). Luma column x goes down canvas
// column (W - w)/2 + x as [low band | Hb1]; the outer columns of the picture
// are repeated over the padding columns. The Cb and Cr of even pixel column x
// go to line (W - w)/4 + x/2 of the chroma rings; the first and last lines are
// repeated over the padding lines.
void analyse_block(const analysis_params& ap, const FILTER_PROC_INFO& fpi, float* scratch,
                   int x0) {
  const analysis_kernel_table& t = analysis_kernels;
  const int lanes = t.column_lanes;
  const int rows = canvas_h;
  const int luma_groups = block_pixels / lanes;
  const int chroma_groups = luma_groups / 2;
  const bool first_block = x0 == 0;
  const bool last_block = x0 + block_pixels == fpi.w;
  block_buffers b = carve_block_buffers(scratch, lanes, rows);
  t.load_block(ap.src, fpi.max_w, x0, fpi.h, rows, ap.field_mode, b.group);

  const shrink_params luma = luma_shrink_params();
  for (int g = 0; g < luma_groups; ++g) analyse_luma_group(b.group[g], b.luma_hb[g], b.odd, rows, luma);
  const int pad = (canvas_w - fpi.w) / 2;
  const float* high[16 / 4];
  for (int g = 0; g < luma_groups; ++g) high[g] = b.luma_hb[g] + lanes * (rows / 2);
  float* dst = luma_canvas + pad + x0;
  t.store_block_rows(b.group, rows / 2, dst, canvas_w);
  t.store_block_rows(high, rows / 2, dst + (ptrdiff_t)(rows / 2) * canvas_w, canvas_w);
  if (first_block) fill_canvas_columns(b.group[0], b.luma_hb[0], lanes, rows, 0, 0, pad);
  if (last_block) {
    fill_canvas_columns(b.group[luma_groups - 1], b.luma_hb[luma_groups - 1], lanes, rows,
                        lanes - 1, pad + fpi.w, pad);
  }

  // Chroma: the luma groups' lines are free now. Hb's head rows [0, n/16) hold
  // no band; they go to the ring as zeros.
  const shrink_params chroma = chroma_shrink_params();
  const int k = ring_n;
  const int pad_lines = (canvas_w - fpi.w) / 4;
  float* hb = b.luma_hb[0];
  float* line_a = b.group[0];
  float* line_b = b.group[0] + rows;
  for (int plane = 0; plane < 2; ++plane) {
    float* ring_a = plane == 0 ? cb_ring_a : cr_ring_a;
    float* ring_b = plane == 0 ? cb_ring_b : cr_ring_b;
    auto store_padding = [&](int first, int last) {
      for (int l = first; l < last; ++l) {
        store_band_line(line_a, line_a, line_b, rows, ring_line(ring_a, l, rows, k, ap.slot),
                        ring_line(ring_b, l, rows, k, ap.slot));
      }
    };
    for (int g = 0; g < chroma_groups; ++g) {
      float* even = b.group[luma_groups + plane * chroma_groups + g];
      std::memset(hb, 0, sizeof(float) * lanes * (rows / 16));
      split_four_levels(even, b.odd, hb, rows, chroma);
      const int line = pad_lines + x0 / 2 + lanes * g;
      store_band_lines(even, b.odd, hb, rows, ring_line(ring_a, line, rows, k, ap.slot),
                       ring_line(ring_b, line, rows, k, ap.slot), ring_line_stride(rows, k));
      if (first_block && g == 0) {
        extract_band_line(even, b.odd, hb, rows, lanes, 0, line_a, line_b);
        store_padding(0, pad_lines);
      }
      if (last_block && g == chroma_groups - 1) {
        extract_band_line(even, b.odd, hb, rows, lanes, lanes - 1, line_a, line_b);
        store_padding(pad_lines + fpi.w / 2, canvas_w / 2);
      }
    }
  }
}

}  // namespace

// The blocks are shared out in contiguous runs (stage_share), each block with
// all three planes, so every worker gets the same mix of work; only the padding
// columns and lines (first and last block) make a block dearer, by a fraction.
// A worker's blocks write whole ring lines, and whole 64-byte canvas lines
// wherever the padding (W - w)/2 is a multiple of 16 columns; otherwise two
// neighbouring workers share one canvas line per row at their boundary.
bool spatial_columns_split(int w, int thread_id, int thread_num, int* first, int* end) {
  return stage_share(w / block_pixels, spatial_columns_min_blocks, thread_id, thread_num, first,
                     end);
}

void spatial_columns_job(int thread_id, int thread_num, void* param1, void* param2) {
  const analysis_params& ap = *static_cast<const analysis_params*>(param1);
  const FILTER_PROC_INFO& fpi = *static_cast<const FILTER_PROC_INFO*>(param2);
  if (canvas_h > max_canvas_h || canvas_w > max_canvas_w || !worker_scratch_base) return;
  int first = 0;
  int end = 0;
  if (!spatial_columns_split(fpi.w, thread_id, thread_num, &first, &end)) return;
  float* scratch = stage_scratch(thread_id);
  for (int block = first; block < end; ++block) analyse_block(ap, fpi, scratch, block * block_pixels);
  analysis_kernels.store_fence();
}
