// Scalar row conversion: sample_to_int16 on each value. The 16-bit saturation
// step of sample_to_int16 is folded into the final clamp, which is narrower.
#include "temporal/sample_convert.h"

void row_to_int16_ref(const float* src, int count, int16_t* dst) {
  for (int k = 0; k < count; ++k) dst[k] = sample_to_int16(src[k]);
}
