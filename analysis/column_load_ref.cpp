// Scalar block loading: every sample converted on its own.
#include "analysis/column_load.h"

namespace {

template <int lanes>
struct scalar_row {
  void operator()(const PIXEL_YC* px, float* const* groups, ptrdiff_t offset) const {
    for (int i = 0; i < block_pixels; ++i)
      groups[i / lanes][offset + i % lanes] = (float)px[i].y;
    for (int p = 0; p < block_pixels / 2; ++p) {
      groups[16 / lanes + p / lanes][offset + p % lanes] = (float)px[2 * p].cb;
      groups[24 / lanes + p / lanes][offset + p % lanes] = (float)px[2 * p].cr;
    }
  }
};

}  // namespace

void load_block_x4_ref(const PIXEL_YC* frame, int max_w, int x0, int h, int H, int per_field,
                       float* const* groups) {
  walk_block<4>(frame, max_w, x0, h, H, per_field, groups, scalar_row<4>());
}

void load_block_x8_ref(const PIXEL_YC* frame, int max_w, int x0, int h, int H, int per_field,
                       float* const* groups) {
  walk_block<8>(frame, max_w, x0, h, H, per_field, groups, scalar_row<8>());
}
