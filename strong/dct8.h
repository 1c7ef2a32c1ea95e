// The block transform pass's kernels: the 8x8 orthonormal DCT-II and its
// inverse, the two shrinkages of 64 coefficients and the aggregation of a
// row (scalar and SSE2; the transforms and the aggregation also AVX2). Any
// pitch; no alignment needed.
#pragma once

// The 2-D transforms (dct8_butterfly.h): the 8-point transform down every
// column of in (eight rows at pitch), the result transposed, and the
// transform down its columns again (out, 64 values). The forward one gives
// the coefficients transposed (C X^T C^T), which the elementwise shrinkages
// do not mind; the inverse one takes them back (C^T Y^T C).
typedef void (*dct8_2d_fn)(const float* in, int pitch, float* out);
void dct8_forward_ref(const float* in, int pitch, float* out);
void dct8_forward_sse2(const float* in, int pitch, float* out);
void dct8_forward_avx2(const float* in, int pitch, float* out);
void dct8_inverse_ref(const float* in, int pitch, float* out);
void dct8_inverse_sse2(const float* in, int pitch, float* out);
void dct8_inverse_avx2(const float* in, int pitch, float* out);

// Both shrinkages scale each coefficient c[i] by its gain g and return the
// sum of the squared gains, taken in four lanes (lane i mod 4, in order of i)
// and then as (lane 0 + lane 1) + (lane 2 + lane 3).
//
// Threshold: g = min(max((|c| - low) x inv_span, 0), 1); c[0] keeps gain 1.
typedef float (*shrink_threshold_fn)(float* c, float low, float inv_span);
// Wiener: with e = pilot[i]^2, g = e / (e + noise).
typedef float (*shrink_wiener_fn)(float* c, const float* pilot, float noise);

// Noise that is not white, over the 64 coefficients (in the forward
// transform's order): each coefficient's variance over the mean one (var; the
// 64 average 1), its square root (dev) and the root's inverse (inv_dev).
struct dct8_noise_shape {
  alignas(16) float var[64];
  alignas(16) float dev[64];
  alignas(16) float inv_dev[64];
};
// The same shrinkages for such noise, each coefficient's noise scaled by its
// shape; they return the sum of g^2 x var[i], taken in the same lanes.
// Threshold: g = min(max(((|c| - low x dev[i]) x inv_span) x inv_dev[i], 0), 1);
// c[0] keeps gain 1.
typedef float (*shrink_threshold_shaped_fn)(float* c, float low, float inv_span,
                                            const dct8_noise_shape* shape);
// Wiener: with e = pilot[i]^2, g = e / (e + noise x var[i]).
typedef float (*shrink_wiener_shaped_fn)(float* c, const float* pilot, float noise,
                                         const dct8_noise_shape* shape);

// The aggregation of a block's row: for x < 8, num[x] += weight x row[x],
// den[x] += weight, cover[x] += say.
typedef void (*aggregate8_fn)(const float* row, float weight, float say, float* num, float* den,
                              float* cover);
void aggregate8_ref(const float* row, float weight, float say, float* num, float* den,
                    float* cover);
void aggregate8_sse2(const float* row, float weight, float say, float* num, float* den,
                     float* cover);
void aggregate8_avx2(const float* row, float weight, float say, float* num, float* den,
                     float* cover);

float shrink_threshold_ref(float* c, float low, float inv_span);
float shrink_threshold_sse2(float* c, float low, float inv_span);
float shrink_wiener_ref(float* c, const float* pilot, float noise);
float shrink_wiener_sse2(float* c, const float* pilot, float noise);
float shrink_threshold_shaped_ref(float* c, float low, float inv_span,
                                  const dct8_noise_shape* shape);
float shrink_threshold_shaped_sse2(float* c, float low, float inv_span,
                                   const dct8_noise_shape* shape);
float shrink_wiener_shaped_ref(float* c, const float* pilot, float noise,
                               const dct8_noise_shape* shape);
float shrink_wiener_shaped_sse2(float* c, const float* pilot, float noise,
                                const dct8_noise_shape* shape);
