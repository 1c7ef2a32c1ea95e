// The block transform pass's kernels: the 8x8 orthonormal DCT-II, applied as
// two passes over the columns with a transposition between them, and the two
// shrinkages of 64 coefficients. Any pitch; no alignment needed.
#pragma once

// The 2-D transform: the column pass of in (for u, x < 8, the sum over
// k = 0 .. 7, in that order, starting from the product of k = 0, of
// m[8 u + k] x in[k pitch + x]), transposed, and the column pass of that
// (out, 64 values). With the forward matrix the coefficients come out
// transposed (C X^T C^T), which the elementwise shrinkages do not mind; the
// inverse matrix takes them back (C^T Y^T C).
typedef void (*dct8_2d_fn)(const float* in, int pitch, const float* m, float* out);
void dct8_2d_ref(const float* in, int pitch, const float* m, float* out);
void dct8_2d_sse2(const float* in, int pitch, const float* m, float* out);

// Both shrinkages scale each coefficient c[i] by its gain g and return the
// sum of the squared gains, taken in four lanes (lane i mod 4, in order of i)
// and then as (lane 0 + lane 1) + (lane 2 + lane 3).
//
// Threshold: g = min(max((|c| - low) x inv_span, 0), 1); c[0] keeps gain 1.
typedef float (*shrink_threshold_fn)(float* c, float low, float inv_span);
// Wiener: with e = pilot[i]^2, g = e / (e + noise).
typedef float (*shrink_wiener_fn)(float* c, const float* pilot, float noise);

float shrink_threshold_ref(float* c, float low, float inv_span);
float shrink_threshold_sse2(float* c, float low, float inv_span);
float shrink_wiener_ref(float* c, const float* pilot, float noise);
float shrink_wiener_sse2(float* c, const float* pilot, float noise);

// The DCT-II matrix (row u: the basis function of frequency u) and its
// transpose, the inverse.
extern const float dct8_forward_matrix[64];
extern const float dct8_inverse_matrix[64];
