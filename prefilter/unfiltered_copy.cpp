// The parts of a band that the pre-filters pass through unchanged.
#include "prefilter/prefilter_internal.h"

void copy_unfiltered(const PIXEL_YC* src, PIXEL_YC* dst, ptrdiff_t pitch, int w, int y_begin,
                     int y_end, int first, int end) {
  for (int y = y_begin; y < y_end; ++y) {
    const PIXEL_YC* in = src + y * pitch;
    PIXEL_YC* out = dst + y * pitch;
    if (y < first || y >= end) {
      std::memcpy(out, in, sizeof(PIXEL_YC) * static_cast<size_t>(w));
    } else {
      std::memcpy(out, in, sizeof(PIXEL_YC) * 2);
      std::memcpy(out + w - 2, in + w - 2, sizeof(PIXEL_YC) * 2);
    }
  }
}
