// The block transform pass's kernels, scalar. The SSE2 versions do the same
// operations in the same order, four columns or coefficients at a time.
#include <cmath>

#include "strong/dct8.h"
#include "strong/dct8_butterfly.h"

namespace {

// A constant as a value of the type (an object, so that the butterflies
// inline).
struct splat {
  float operator()(float v) const { return v; }
};

// The 1-D transform down each column, the transposition, and again.
template <bool inverse>
void transform(const float* in, int pitch, float* out) {
  float a[64], b[64];
  for (int pass = 0; pass < 2; ++pass) {
    const float* src = pass ? b : in;
    const int step = pass ? 8 : pitch;
    float* dst = pass ? out : a;
    for (int x = 0; x < 8; ++x) {
      float column[8], result[8];
      for (int k = 0; k < 8; ++k) column[k] = src[k * step + x];
      if (inverse)
        dct8_butterfly::inverse(column, splat(), result);
      else
        dct8_butterfly::forward(column, splat(), result);
      for (int u = 0; u < 8; ++u) dst[u * 8 + x] = result[u];
    }
    if (pass == 0)
      for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c) b[c * 8 + r] = a[r * 8 + c];
  }
}

}  // namespace

void dct8_forward_ref(const float* in, int pitch, float* out) { transform<false>(in, pitch, out); }
void dct8_inverse_ref(const float* in, int pitch, float* out) { transform<true>(in, pitch, out); }

float shrink_threshold_ref(float* c, float low, float inv_span) {
  float lane[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  for (int i = 0; i < 64; ++i) {
    const float q = (std::fabs(c[i]) - low) * inv_span;
    const float g = i == 0 ? 1.0f : q > 0.0f ? (q < 1.0f ? q : 1.0f) : 0.0f;
    c[i] *= g;
    lane[i & 3] += g * g;
  }
  return (lane[0] + lane[1]) + (lane[2] + lane[3]);
}

float shrink_wiener_ref(float* c, const float* pilot, float noise) {
  float lane[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  for (int i = 0; i < 64; ++i) {
    const float e = pilot[i] * pilot[i];
    const float g = e / (e + noise);
    c[i] *= g;
    lane[i & 3] += g * g;
  }
  return (lane[0] + lane[1]) + (lane[2] + lane[3]);
}

float shrink_threshold_shaped_ref(float* c, float low, float inv_span,
                                  const dct8_noise_shape* shape) {
  float lane[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  for (int i = 0; i < 64; ++i) {
    const float q = ((std::fabs(c[i]) - low * shape->dev[i]) * inv_span) * shape->inv_dev[i];
    const float g = i == 0 ? 1.0f : q > 0.0f ? (q < 1.0f ? q : 1.0f) : 0.0f;
    c[i] *= g;
    lane[i & 3] += (g * g) * shape->var[i];
  }
  return (lane[0] + lane[1]) + (lane[2] + lane[3]);
}

float shrink_wiener_shaped_ref(float* c, const float* pilot, float noise,
                               const dct8_noise_shape* shape) {
  float lane[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  for (int i = 0; i < 64; ++i) {
    const float e = pilot[i] * pilot[i];
    const float g = e / (e + noise * shape->var[i]);
    c[i] *= g;
    lane[i & 3] += (g * g) * shape->var[i];
  }
  return (lane[0] + lane[1]) + (lane[2] + lane[3]);
}

void aggregate8_ref(const float* row, float weight, float say, float* num, float* den,
                    float* cover) {
  for (int x = 0; x < 8; ++x) {
    num[x] += weight * row[x];
    den[x] += weight;
    cover[x] += say;
  }
}
