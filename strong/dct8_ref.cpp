// The block transform pass's kernels, scalar, and the DCT's matrices. The
// SSE2 versions do the same operations in the same order, four columns or
// coefficients at a time.
#include <cmath>

#include "strong/dct8.h"

// Row u: sqrt((u ? 2 : 1) / 8) cos((2k + 1) u pi / 16) for k = 0 .. 7,
// rounded to float.
const float dct8_forward_matrix[64] = {
    0.353553385f, 0.353553385f, 0.353553385f, 0.353553385f, 0.353553385f, 0.353553385f, 0.353553385f, 0.353553385f,
    0.490392625f, 0.415734798f, 0.277785122f, 0.0975451618f, -0.0975451618f, -0.277785122f, -0.415734798f, -0.490392625f,
    0.461939752f, 0.191341713f, -0.191341713f, -0.461939752f, -0.461939752f, -0.191341713f, 0.191341713f, 0.461939752f,
    0.415734798f, -0.0975451618f, -0.490392625f, -0.277785122f, 0.277785122f, 0.490392625f, 0.0975451618f, -0.415734798f,
    0.353553385f, -0.353553385f, -0.353553385f, 0.353553385f, 0.353553385f, -0.353553385f, -0.353553385f, 0.353553385f,
    0.277785122f, -0.490392625f, 0.0975451618f, 0.415734798f, -0.415734798f, -0.0975451618f, 0.490392625f, -0.277785122f,
    0.191341713f, -0.461939752f, 0.461939752f, -0.191341713f, -0.191341713f, 0.461939752f, -0.461939752f, 0.191341713f,
    0.0975451618f, -0.277785122f, 0.415734798f, -0.490392625f, 0.490392625f, -0.415734798f, 0.277785122f, -0.0975451618f,
};

// The same values transposed.
const float dct8_inverse_matrix[64] = {
    0.353553385f, 0.490392625f, 0.461939752f, 0.415734798f, 0.353553385f, 0.277785122f, 0.191341713f, 0.0975451618f,
    0.353553385f, 0.415734798f, 0.191341713f, -0.0975451618f, -0.353553385f, -0.490392625f, -0.461939752f, -0.277785122f,
    0.353553385f, 0.277785122f, -0.191341713f, -0.490392625f, -0.353553385f, 0.0975451618f, 0.461939752f, 0.415734798f,
    0.353553385f, 0.0975451618f, -0.461939752f, -0.277785122f, 0.353553385f, 0.415734798f, -0.191341713f, -0.490392625f,
    0.353553385f, -0.0975451618f, -0.461939752f, 0.277785122f, 0.353553385f, -0.415734798f, -0.191341713f, 0.490392625f,
    0.353553385f, -0.277785122f, -0.191341713f, 0.490392625f, -0.353553385f, -0.0975451618f, 0.461939752f, -0.415734798f,
    0.353553385f, -0.415734798f, 0.191341713f, 0.0975451618f, -0.353553385f, 0.490392625f, -0.461939752f, 0.277785122f,
    0.353553385f, -0.490392625f, 0.461939752f, -0.415734798f, 0.353553385f, -0.277785122f, 0.191341713f, -0.0975451618f,
};

namespace {

void columns(const float* in, int pitch, const float* m, float* out) {
  for (int u = 0; u < 8; ++u)
    for (int x = 0; x < 8; ++x) {
      float acc = m[8 * u] * in[x];
      for (int k = 1; k < 8; ++k) acc += m[8 * u + k] * in[k * pitch + x];
      out[8 * u + x] = acc;
    }
}

}  // namespace

void dct8_2d_ref(const float* in, int pitch, const float* m, float* out) {
  float a[64], b[64];
  columns(in, pitch, m, a);
  for (int r = 0; r < 8; ++r)
    for (int c = 0; c < 8; ++c) b[c * 8 + r] = a[r * 8 + c];
  columns(b, 8, m, out);
}

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
