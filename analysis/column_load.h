// Loading of pixel columns for the column passes.
#pragma once

#include "host/host_api.h"

// Loads one component (0 y, 1 cb, 2 cr) of 4 * groups pixel columns x0,
// x0 + step, x0 + 2 step, ... of a frame of h rows (pitch max_w pixels): columns
// 4g .. 4g+3 of the block become the four-line buffer dst[g] of H rows (see
// columns_x4.h). With per_field 0 a column is rows 0 .. h-1 with (H - h)/2
// copies of row 0 above and of row h-1 below. With per_field 1 the even rows,
// padded the same way with (H - h)/4 copies of their own first and last row,
// fill rows [0, H/2), and the odd rows likewise [H/2, H). H - h a positive
// multiple of 4 (of 8 per field); h even. One pass down the frame serves the
// whole block.
void load_columns(const PIXEL_YC* frame, int max_w, int component, int x0, int step, int groups,
                  int h, int H, int per_field, float* const* dst);
