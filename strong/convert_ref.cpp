// The conversion kernels, scalar.
#include "strong/convert.h"

void u8_to_float_ref(const uint8_t* in, int n, float* out) {
  for (int x = 0; x < n; ++x) out[x] = float(in[x]);
}

void float_to_u8_ref(const float* in, int n, float scale, float top, uint8_t* out) {
  for (int x = 0; x < n; ++x) {
    // Within 0 .. top the truncation of q is its floor.
    float q = in[x] * scale + 0.5f;
    q = !(q >= 0.0f) ? 0.0f : q > top ? top : q;
    out[x] = uint8_t(int(q));
  }
}
