// The block transform pass's kernels with SSE2: the scalar versions'
// operations in the same order, four columns or coefficients at a time.
#include <emmintrin.h>

#include "strong/dct8.h"
#include "strong/dct8_butterfly.h"

namespace {

// A constant in all four lanes (an object, so that the butterflies inline).
struct splat {
  __m128 operator()(float v) const { return _mm_set1_ps(v); }
};

void transpose4(__m128* r0, __m128* r1, __m128* r2, __m128* r3) {
  _MM_TRANSPOSE4_PS(*r0, *r1, *r2, *r3);
}

// The 1-D transform down the columns of eight rows held as their left (lo)
// and right (hi) halves.
template <bool inverse>
void columns(const __m128 lo[8], const __m128 hi[8], __m128 out_lo[8], __m128 out_hi[8]) {
  if (inverse) {
    dct8_butterfly::inverse(lo, splat(), out_lo);
    dct8_butterfly::inverse(hi, splat(), out_hi);
  } else {
    dct8_butterfly::forward(lo, splat(), out_lo);
    dct8_butterfly::forward(hi, splat(), out_hi);
  }
}

template <bool inverse>
void transform(const float* in, int pitch, float* out) {
  __m128 lo[8], hi[8], a_lo[8], a_hi[8];
  for (int k = 0; k < 8; ++k) {
    lo[k] = _mm_loadu_ps(in + k * pitch);
    hi[k] = _mm_loadu_ps(in + k * pitch + 4);
  }
  columns<inverse>(lo, hi, a_lo, a_hi);
  // The transposition by 4x4 quarters: the top right quarter of a becomes the
  // bottom left one of b, and the bottom left the top right.
  for (int r = 0; r < 8; r += 4) {
    transpose4(&a_lo[r], &a_lo[r + 1], &a_lo[r + 2], &a_lo[r + 3]);
    transpose4(&a_hi[r], &a_hi[r + 1], &a_hi[r + 2], &a_hi[r + 3]);
  }
  for (int k = 0; k < 4; ++k) {
    lo[k] = a_lo[k];
    lo[k + 4] = a_hi[k];
    hi[k] = a_lo[k + 4];
    hi[k + 4] = a_hi[k + 4];
  }
  columns<inverse>(lo, hi, a_lo, a_hi);
  for (int u = 0; u < 8; ++u) {
    _mm_storeu_ps(out + 8 * u, a_lo[u]);
    _mm_storeu_ps(out + 8 * u + 4, a_hi[u]);
  }
}

// (lane 0 + lane 1) + (lane 2 + lane 3).
float lane_total(__m128 v) {
  alignas(16) float lane[4];
  _mm_store_ps(lane, v);
  return (lane[0] + lane[1]) + (lane[2] + lane[3]);
}

}  // namespace

void dct8_forward_sse2(const float* in, int pitch, float* out) { transform<false>(in, pitch, out); }
void dct8_inverse_sse2(const float* in, int pitch, float* out) { transform<true>(in, pitch, out); }

float shrink_threshold_sse2(float* c, float low, float inv_span) {
  const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
  const __m128 vlow = _mm_set1_ps(low), vinv = _mm_set1_ps(inv_span);
  const __m128 zero = _mm_setzero_ps(), one = _mm_set1_ps(1.0f);
  // The mean's lane: gain 1 in lane 0 of the first four.
  const __m128 first = _mm_castsi128_ps(_mm_set_epi32(0, 0, 0, -1));
  __m128 sum = _mm_setzero_ps();
  for (int i = 0; i < 64; i += 4) {
    const __m128 v = _mm_loadu_ps(c + i);
    const __m128 q = _mm_mul_ps(_mm_sub_ps(_mm_and_ps(v, magnitude), vlow), vinv);
    __m128 g = _mm_min_ps(_mm_max_ps(q, zero), one);
    if (i == 0) g = _mm_or_ps(_mm_and_ps(first, one), _mm_andnot_ps(first, g));
    _mm_storeu_ps(c + i, _mm_mul_ps(v, g));
    sum = _mm_add_ps(sum, _mm_mul_ps(g, g));
  }
  return lane_total(sum);
}

float shrink_wiener_sse2(float* c, const float* pilot, float noise) {
  const __m128 vn = _mm_set1_ps(noise);
  __m128 sum = _mm_setzero_ps();
  for (int i = 0; i < 64; i += 4) {
    const __m128 p = _mm_loadu_ps(pilot + i);
    const __m128 e = _mm_mul_ps(p, p);
    const __m128 g = _mm_div_ps(e, _mm_add_ps(e, vn));
    _mm_storeu_ps(c + i, _mm_mul_ps(_mm_loadu_ps(c + i), g));
    sum = _mm_add_ps(sum, _mm_mul_ps(g, g));
  }
  return lane_total(sum);
}

float shrink_threshold_shaped_sse2(float* c, float low, float inv_span,
                                   const dct8_noise_shape* shape) {
  const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
  const __m128 vlow = _mm_set1_ps(low), vinv = _mm_set1_ps(inv_span);
  const __m128 zero = _mm_setzero_ps(), one = _mm_set1_ps(1.0f);
  const __m128 first = _mm_castsi128_ps(_mm_set_epi32(0, 0, 0, -1));
  __m128 sum = _mm_setzero_ps();
  for (int i = 0; i < 64; i += 4) {
    const __m128 v = _mm_loadu_ps(c + i);
    const __m128 low_i = _mm_mul_ps(vlow, _mm_loadu_ps(shape->dev + i));
    const __m128 at = _mm_sub_ps(_mm_and_ps(v, magnitude), low_i);
    const __m128 q = _mm_mul_ps(_mm_mul_ps(at, vinv), _mm_loadu_ps(shape->inv_dev + i));
    __m128 g = _mm_min_ps(_mm_max_ps(q, zero), one);
    if (i == 0) g = _mm_or_ps(_mm_and_ps(first, one), _mm_andnot_ps(first, g));
    _mm_storeu_ps(c + i, _mm_mul_ps(v, g));
    sum = _mm_add_ps(sum, _mm_mul_ps(_mm_mul_ps(g, g), _mm_loadu_ps(shape->var + i)));
  }
  return lane_total(sum);
}

float shrink_wiener_shaped_sse2(float* c, const float* pilot, float noise,
                                const dct8_noise_shape* shape) {
  const __m128 vn = _mm_set1_ps(noise);
  __m128 sum = _mm_setzero_ps();
  for (int i = 0; i < 64; i += 4) {
    const __m128 p = _mm_loadu_ps(pilot + i);
    const __m128 e = _mm_mul_ps(p, p);
    const __m128 var = _mm_loadu_ps(shape->var + i);
    const __m128 g = _mm_div_ps(e, _mm_add_ps(e, _mm_mul_ps(vn, var)));
    _mm_storeu_ps(c + i, _mm_mul_ps(_mm_loadu_ps(c + i), g));
    sum = _mm_add_ps(sum, _mm_mul_ps(_mm_mul_ps(g, g), var));
  }
  return lane_total(sum);
}

void aggregate8_sse2(const float* row, float weight, float say, float* num, float* den,
                     float* cover) {
  const __m128 w = _mm_set1_ps(weight), s = _mm_set1_ps(say);
  for (int x = 0; x < 8; x += 4) {
    _mm_storeu_ps(num + x, _mm_add_ps(_mm_loadu_ps(num + x), _mm_mul_ps(w, _mm_loadu_ps(row + x))));
    _mm_storeu_ps(den + x, _mm_add_ps(_mm_loadu_ps(den + x), w));
    _mm_storeu_ps(cover + x, _mm_add_ps(_mm_loadu_ps(cover + x), s));
  }
}
