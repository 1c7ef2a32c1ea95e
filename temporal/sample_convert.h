// Conversion of working floats to the host's signed 16-bit samples.
#pragma once

#include <cstdint>

// f + 0.5 in single precision, truncated toward zero to 32 bits (NaN and values
// outside the 32-bit range give -2^31, as the processor's conversion does),
// saturated to 16 bits, then clamped to [-8192, 8192]. For negative f this is
// not rounding to nearest: every f in (-1.5, 0.5) gives 0.
inline int16_t sample_to_int16(float f) {
  const float t = f + 0.5f;
  int32_t i = INT32_MIN;
  if (t >= -2147483648.0f && t < 2147483648.0f) i = static_cast<int32_t>(t);
  if (i < -8192) i = -8192;
  if (i > 8192) i = 8192;
  return static_cast<int16_t>(i);
}

// dst[k] = sample_to_int16(src[k]) for k < count. count a multiple of 8; src
// and dst 16-byte aligned.
typedef void (*row_to_int16_fn)(const float* src, int count, int16_t* dst);

void row_to_int16_ref(const float* src, int count, int16_t* dst);
void row_to_int16_sse2(const float* src, int count, int16_t* dst);
