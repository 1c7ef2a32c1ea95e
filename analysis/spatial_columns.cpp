// Column pass of the spatial analysis: luma columns to the canvas, chroma
// columns to the chroma rings.
//
// Columns go through the four-column kernels four at a time (one column per
// lane), and blocks of up to four such groups share one walk down the frame:
// the load reads 16 adjacent samples of a row at once, and the luma results go
// into the canvas as whole 64-byte row segments. A column's numbers do not
// depend on its neighbours in the block.
#include <cstring>

#include "analysis/analysis.h"
#include "analysis/analysis_kernels.h"
#include "analysis/column_load.h"
#include "analysis/spatial_stage.h"
#include "driver/buffers.h"
#include "host/settings.h"

namespace {

constexpr int block_groups = 4;  // four-column groups per block

// Per lane: for each group of the block the line that receives the loaded
// columns and the outputs of split levels 2 and 4 (and, for luma, the merged
// low band) and the Hb line; one line for levels 1 and 3, shared by the groups.
struct column_scratch {
  alignas(64) float even[block_groups][4 * max_column_rows];
  alignas(64) float hb[block_groups][4 * max_column_rows];
  alignas(64) float odd[4 * max_column_rows];
};
column_scratch scratch[4];

// Splits the four lines of n rows in `even` four levels deep, shrinking the
// details of every level. Levels 1 and 3 write `odd`, levels 2 and 4 `even`.
void split_four_levels_x4(float* even, float* odd, float* hb, int n, const shrink_params& sp) {
  float* src = even;
  float* dst = odd;
  for (int level = 0; level < 4; ++level) {
    const int len = n >> level;
    const int m = len / 2;
    analysis_kernels.band_split_x4(len, src, dst, hb);
    analysis_kernels.keep_shrink_x4(dst + 4 * m, hb + 4 * m, m, sp.limit[level], sp.floor,
                                    sp.thr[level]);
    float* t = src;
    src = dst;
    dst = t;
  }
}

// A luma column's result: the merged low band in even rows [0, n/2), Hb1 in hb
// rows [n/2, n).
inline const float* luma_result_row(const float* even, const float* hb, int r, int n) {
  return (r < n / 2 ? even : hb) + 4 * r;
}

// Writes lane `lane` of a group's result into `count` adjacent canvas columns
// starting at col.
void fill_canvas_columns(const float* even, const float* hb, int rows, int lane, int col,
                         int count) {
  for (int r = 0; r < rows; ++r) {
    const float v = luma_result_row(even, hb, r, rows)[lane];
    float* dst = luma_canvas + (ptrdiff_t)r * canvas_w + col;
    for (int i = 0; i < count; ++i) dst[i] = v;
  }
}

// Luma columns [x_begin, x_end): per column, split and shrink four levels, undo
// levels 4 to 2, merge level 1's L and Ha into the Daubechies low band, and
// write [low band | Hb1] down canvas column (W - w)/2 + x. The outer columns
// of the picture are repeated over the padding columns.
void analyse_luma_columns(const analysis_params& ap, const FILTER_PROC_INFO& fpi, int lane,
                          int x_begin, int x_end) {
  const int rows = canvas_h;
  const int pad = (canvas_w - fpi.w) / 2;
  column_scratch& s = scratch[lane];
  float* even_lines[block_groups];
  for (int g = 0; g < block_groups; ++g) even_lines[g] = s.even[g];
  const shrink_params sp = luma_shrink_params();
  const analysis_kernel_table& t = analysis_kernels;
  for (int x0 = x_begin; x0 < x_end; x0 += 4 * block_groups) {
    const int groups = (x_end - x0) / 4 < block_groups ? (x_end - x0) / 4 : block_groups;
    load_columns(ap.src, fpi.max_w, 0, x0, 1, groups, fpi.h, rows, ap.field_mode, even_lines);
    for (int g = 0; g < groups; ++g) {
      float* even = s.even[g];
      split_four_levels_x4(even, s.odd, s.hb[g], rows, sp);
      t.synthesize_x4(even, s.hb[g], rows / 16, s.odd);  // L3 over L4's old line
      t.synthesize_x4(s.odd, s.hb[g], rows / 8, even);   // L2; Ha2 still after it
      t.synthesize_x4(even, s.hb[g], rows / 4, s.odd);   // L1; Ha1 still after it
      t.low_merge_x4(s.odd, rows / 2, even);
    }
    float* dst = luma_canvas + pad + x0;
    for (int r = 0; r < rows; ++r) {
      float* row = dst + (ptrdiff_t)r * canvas_w;
      for (int g = 0; g < groups; ++g) std::memcpy(row + 4 * g, luma_result_row(s.even[g], s.hb[g], r, rows), 16);
    }
    if (x0 == 0) fill_canvas_columns(s.even[0], s.hb[0], rows, 0, 0, pad);
    if (x0 + 4 * groups == fpi.w) {
      fill_canvas_columns(s.even[groups - 1], s.hb[groups - 1], rows, 3, pad + fpi.w, pad);
    }
  }
}

// Copies lane `lane` of the band lines of four-line buffers into plain lines:
// part A to a (in the layout store_band_line expects for both of its lines),
// part B to b.
void extract_band_line(const float* even, const float* odd, const float* hb, int n, int lane,
                       float* a, float* b) {
  for (int j = 0; j < n; ++j) {
    const bool from_even = j < n / 8 || (j >= n / 4 && j < n / 2);
    a[j] = (from_even ? even : odd)[4 * j + lane];
    b[j] = hb[4 * j + lane];
  }
}

// Chroma plane (1 Cb, 2 Cr): every even pixel column x split and shrunk four
// levels deep, its band line stored in line (W - w)/4 + x/2 of the plane's
// rings; the first and last band lines are repeated over the padding lines.
void analyse_chroma_columns(const analysis_params& ap, const FILTER_PROC_INFO& fpi, int plane) {
  const int lane = plane + 1;
  const int rows = canvas_h;
  const int k = ring_n;
  const int pad_lines = (canvas_w - fpi.w) / 4;
  float* ring_a = plane == 1 ? cb_ring_a : cr_ring_a;
  float* ring_b = plane == 1 ? cb_ring_b : cr_ring_b;
  column_scratch& s = scratch[lane];
  float* even_lines[block_groups];
  for (int g = 0; g < block_groups; ++g) {
    even_lines[g] = s.even[g];
    std::memset(s.hb[g], 0, sizeof(float) * 4 * (rows / 16));  // part B's unused head
  }
  const shrink_params sp = chroma_shrink_params();
  float* line_a = lane_lines[lane][0];
  float* line_b = lane_lines[lane][1];
  auto store_padding = [&](int first, int last) {
    for (int l = first; l < last; ++l) {
      store_band_line(line_a, line_a, line_b, rows, ring_line(ring_a, l, rows, k, ap.slot),
                      ring_line(ring_b, l, rows, k, ap.slot), k);
    }
  };

  for (int x0 = 0; x0 < fpi.w; x0 += 8 * block_groups) {
    const int groups = (fpi.w - x0) / 8 < block_groups ? (fpi.w - x0) / 8 : block_groups;
    load_columns(ap.src, fpi.max_w, plane, x0, 2, groups, fpi.h, rows, ap.field_mode, even_lines);
    for (int g = 0; g < groups; ++g) {
      // Odd is shared by the groups: store each group's band lines at once.
      split_four_levels_x4(s.even[g], s.odd, s.hb[g], rows, sp);
      const int x = x0 + 8 * g;
      const int line = pad_lines + x / 2;
      store_band_lines_x4(s.even[g], s.odd, s.hb[g], rows, ring_line(ring_a, line, rows, k, ap.slot),
                          ring_line(ring_b, line, rows, k, ap.slot), k);
      if (x == 0) {
        extract_band_line(s.even[g], s.odd, s.hb[g], rows, 0, line_a, line_b);
        store_padding(0, pad_lines);
      }
      if (x + 8 == fpi.w) {
        extract_band_line(s.even[g], s.odd, s.hb[g], rows, 3, line_a, line_b);
        store_padding(pad_lines + fpi.w / 2, canvas_w / 2);
      }
    }
  }
  analysis_kernels.ring_store_fence();
}

void run_column_job(int job, const analysis_params& ap, const FILTER_PROC_INFO& fpi) {
  switch (job) {
    case 0: analyse_luma_columns(ap, fpi, 0, 0, fpi.w / 2); break;
    case 1: analyse_luma_columns(ap, fpi, 1, fpi.w / 2, fpi.w); break;
    case 2: analyse_chroma_columns(ap, fpi, 1); break;
    default: analyse_chroma_columns(ap, fpi, 2); break;
  }
}

}  // namespace

// Jobs 0 luma left, 1 luma right, 2 Cb, 3 Cr, spread over the threads:
//   1 thread: 0 1 2 3 | 2 threads: 0 1 / 2 3 | 3 threads: 0 1 / 2 / 3 | 4+: one each.
void spatial_columns_job(int thread_id, int thread_num, void* param1, void* param2) {
  const analysis_params& ap = *static_cast<const analysis_params*>(param1);
  const FILTER_PROC_INFO& fpi = *static_cast<const FILTER_PROC_INFO*>(param2);
  if (canvas_h > max_column_rows) return;
  int first = 0;
  int last = 0;
  if (thread_num <= 1) {
    if (thread_id == 0) last = 4;
  } else if (thread_num == 2) {
    first = 2 * thread_id;
    last = thread_id < 2 ? first + 2 : first;
  } else if (thread_num == 3) {
    static const int begin[3] = {0, 2, 3};
    static const int end[3] = {2, 3, 4};
    if (thread_id < 3) {
      first = begin[thread_id];
      last = end[thread_id];
    }
  } else if (thread_id < 4) {
    first = thread_id;
    last = thread_id + 1;
  }
  for (int job = first; job < last; ++job) run_column_job(job, ap, fpi);
}
