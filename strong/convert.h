// Conversion kernels: rows of 8-bit samples to the filter's float samples and
// back to the nearest code value. Any length; no alignment needed.
#pragma once

#include <cstdint>

// out[x] = in[x], x < n.
typedef void (*u8_to_float_fn)(const uint8_t* in, int n, float* out);
// The nearest code value of in[x] x scale, x < n: q = in[x] x scale + 0.5
// (a product and a sum, each rounded), truncated; 0 where q is below 0 or not
// a number, top where it is above top (top at most 255, a whole number).
typedef void (*float_to_u8_fn)(const float* in, int n, float scale, float top, uint8_t* out);

void u8_to_float_ref(const uint8_t* in, int n, float* out);
void u8_to_float_sse2(const uint8_t* in, int n, float* out);
void float_to_u8_ref(const float* in, int n, float scale, float top, uint8_t* out);
void float_to_u8_sse2(const float* in, int n, float scale, float top, uint8_t* out);
