// One periodic level of four-tap Daubechies synthesis across rows: the two
// picture rows 2i and 2i + 1 from the approximation rows L[i], L[i-1] and the
// detail rows Hi[i], Hi[i-1] (i - 1 taken modulo the row count), value by
// value along the row:
//   even = h0*L[i] + h2*L[i-1] + h3*Hi[i] + h1*Hi[i-1]
//   odd  = h1*L[i] + h3*L[i-1] - h2*Hi[i] - h0*Hi[i-1]
// summed as ((h0*L[i] + h3*Hi[i]) + h2*L[i-1]) + h1*Hi[i-1] for i >= 2 (odd
// alike) but as ((h0*L[i] + h2*L[i-1]) + h3*Hi[i]) + h1*Hi[i-1] for i = 0
// and 1 (the head order). Every implementation keeps both orders.
#pragma once

// The D4 scaling filter, (1 + sqrt3, 3 + sqrt3, 3 - sqrt3, 1 - sqrt3) / (4 sqrt2),
// rounded once to single precision.
constexpr float d4_h0 = static_cast<float>(0.48296291314453414337);
constexpr float d4_h1 = static_cast<float>(0.83651630373780790557);
constexpr float d4_h2 = static_cast<float>(0.22414386804201338102);
constexpr float d4_h3 = static_cast<float>(-0.12940952255126038117);

// l = L[i], lp = L[i-1], h = Hi[i], hp = Hi[i-1]: count floats each; head:
// nonzero for i = 0 and 1. Writes even[0, count) and odd[0, count). count a
// multiple of 8; every pointer 16-byte aligned; outputs overlap no input.
typedef void (*d4_synthesize_rows_fn)(const float* l, const float* lp, const float* h,
                                      const float* hp, int count, int head, float* even,
                                      float* odd);

void d4_synthesize_rows_ref(const float* l, const float* lp, const float* h, const float* hp,
                            int count, int head, float* even, float* odd);
void d4_synthesize_rows_sse2(const float* l, const float* lp, const float* h, const float* hp,
                             int count, int head, float* even, float* odd);
