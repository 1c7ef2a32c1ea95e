// One periodic level of four-tap Daubechies synthesis: 2n samples from the
// approximation L and the detail Hi (indices modulo n):
//   out[2i]     = h0*L[i] + h2*L[i-1] + h3*Hi[i] + h1*Hi[i-1]
//   out[2i + 1] = h1*L[i] + h3*L[i-1] - h2*Hi[i] - h0*Hi[i-1]
// summed as ((h0*L[i] + h3*Hi[i]) + h2*L[i-1]) + h1*Hi[i-1] for i >= 2 (odd
// outputs alike) but as ((h0*L[i] + h2*L[i-1]) + h3*Hi[i]) + h1*Hi[i-1] for
// i = 0 and 1. Every implementation keeps both orders, so results agree bit
// for bit whatever the memory layout.
#pragma once

#include <cstddef>

// The D4 scaling filter, (1 + sqrt3, 3 + sqrt3, 3 - sqrt3, 1 - sqrt3) / (4 sqrt2),
// rounded once to single precision.
constexpr float d4_h0 = static_cast<float>(0.48296291314453414337);
constexpr float d4_h1 = static_cast<float>(0.83651630373780790557);
constexpr float d4_h2 = static_cast<float>(0.22414386804201338102);
constexpr float d4_h3 = static_cast<float>(-0.12940952255126038117);

// A line: L = v[0, n), Hi = v[n, 2n) -> out[0, 2n).
// n a multiple of 4 and at least 8; v and out 16-byte aligned, not overlapping.
typedef void (*d4_synthesize_fn)(const float* v, int n, float* out);

// Four adjacent columns of a row-major plane, in place: rows [0, n) hold L,
// rows [n, 2n) hold Hi; afterwards rows [0, 2n) hold the synthesised columns.
// col: first of the four columns, 16-byte aligned; stride: row pitch in floats
// (a multiple of 4). hi_lo and hi_hi: 2n floats each, 16-byte aligned, receive
// a copy of Hi rows [0, n/2) and [n/2, n). Only the four columns are touched.
typedef void (*d4_synthesize_columns4_fn)(float* col, ptrdiff_t stride, int n, float* hi_lo,
                                          float* hi_hi);

void d4_synthesize_ref(const float* v, int n, float* out);
void d4_synthesize_sse2(const float* v, int n, float* out);
void d4_synthesize_columns4_ref(float* col, ptrdiff_t stride, int n, float* hi_lo, float* hi_hi);
void d4_synthesize_columns4_sse2(float* col, ptrdiff_t stride, int n, float* hi_lo, float* hi_hi);
