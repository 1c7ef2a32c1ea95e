// Column loading with per-field padding.
#include "analysis/column_load.h"

#include <cstddef>
#include <cstring>

namespace {

// Rows ahead of the current one whose samples are requested early: a walk down
// a column steps further than a page per row, which the hardware prefetchers
// do not follow.
constexpr int prefetch_rows = 6;

// Requests the cache lines the block covers in row y.
inline void prefetch_row(const PIXEL_YC* frame, int max_w, int x0, int step, int groups, int y) {
  const char* first = reinterpret_cast<const char*>(frame + (ptrdiff_t)y * max_w + x0);
  const char* last = reinterpret_cast<const char*>(frame + (ptrdiff_t)y * max_w + x0 +
                                                     (4 * groups - 1) * step + 1);
  for (const char* p = first; p < last; p += 64) __builtin_prefetch(p);
  __builtin_prefetch(last - 1);
}

// The samples of one frame row for every group, converted exactly to float.
// A component is a fixed byte offset into each 6-byte pixel.
inline void load_row(const PIXEL_YC* frame, int max_w, int component, int x0, int step,
                     int groups, int y, float* const* dst, int out_row) {
  const char* row = reinterpret_cast<const char*>(frame + (ptrdiff_t)y * max_w + x0) +
                    component * sizeof(short);
  const ptrdiff_t pitch = (ptrdiff_t)step * sizeof(PIXEL_YC);
  for (int g = 0; g < groups; ++g) {
    float* out = dst[g] + 4 * out_row;
    for (int c = 0; c < 4; ++c) {
      short v;
      std::memcpy(&v, row + (4 * g + c) * pitch, sizeof v);
      out[c] = (float)v;
    }
  }
}

inline void copy_row(const float* from, float* to) {
  for (int c = 0; c < 4; ++c) to[c] = from[c];
}

}  // namespace

void load_columns(const PIXEL_YC* frame, int max_w, int component, int x0, int step, int groups,
                  int h, int H, int per_field, float* const* dst) {
  const int fields = per_field ? 2 : 1;
  const int pad = (H - h) / (2 * fields);
  const int field_rows = h / fields;
  for (int f = 0; f < fields; ++f) {
    const int base = f * (H / fields);  // first row of this field's half
    for (int i = 0; i < field_rows; ++i) {
      if (i + prefetch_rows < field_rows) {
        prefetch_row(frame, max_w, x0, step, groups, f + (i + prefetch_rows) * fields);
      }
      load_row(frame, max_w, component, x0, step, groups, f + i * fields, dst, base + pad + i);
    }
    for (int g = 0; g < groups; ++g) {
      const float* first = dst[g] + 4 * (base + pad);
      const float* last = first + 4 * (field_rows - 1);
      for (int i = 0; i < pad; ++i) {
        copy_row(first, dst[g] + 4 * (base + i));
        copy_row(last, dst[g] + 4 * (base + pad + field_rows + i));
      }
    }
  }
}
