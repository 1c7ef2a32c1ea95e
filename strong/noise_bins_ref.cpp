// The temporal reading's histogram, one sample at a time.
#include <cstddef>

#include "strong/noise_bins.h"

int difference_bins_ref(const float* cur, int cur_pitch, const float* comp, int comp_pitch, int w,
                        int h, uint32_t count[noise_difference_bins]) {
  bool differs = false;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const float a = cur[std::size_t(y) * cur_pitch + x], b = comp[std::size_t(y) * comp_pitch + x];
      if (a <= 0.0f || a >= 255.0f || b <= 0.0f || b >= 255.0f) return -1;
      // The magnitude is exact either way round (b - a and a - b differ
      // only in sign), and a magnitude below 63 + 1/2 gives its bin by
      // truncation.
      const float d = b > a ? b - a : a - b;
      differs = differs || d != 0.0f;
      int bin = int(d + 0.5f);
      bin = bin < noise_median_bins - 1 ? bin : noise_median_bins - 1;
      ++count[b < a ? noise_zero_bin - bin : noise_zero_bin + bin];
    }
  return differs ? 1 : 0;
}
