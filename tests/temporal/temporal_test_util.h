// Helpers of the temporal tests: bit-exact comparison, aligned scratch, buffers.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "frame/buffers.h"
#include "temporal/temporal.h"

const float quiet_nan = std::numeric_limits<float>::quiet_NaN();

inline uint32_t float_bits(float f) {
  uint32_t u;
  std::memcpy(&u, &f, 4);
  return u;
}

// A pixel as "(y, cb, cr)", so that a failed comparison shows all three.
inline std::string pixel_text(int y, int cb, int cr) {
  return "(" + std::to_string(y) + ", " + std::to_string(cb) + ", " + std::to_string(cr) + ")";
}
inline std::string pixel_text(const PIXEL_YC& p) { return pixel_text(p.y, p.cb, p.cr); }

// Compares bit patterns; on a mismatch reports seed, index and both values.
inline ::testing::AssertionResult same_bits(const float* a, const float* b, size_t n, int seed) {
  for (size_t i = 0; i < n; ++i)
    if (float_bits(a[i]) != float_bits(b[i])) {
      char text[128];
      std::snprintf(text, sizeof text, "seed %d, index %zu: %.9g (0x%08x) vs %.9g (0x%08x)", seed,
                    i, a[i], float_bits(a[i]), b[i], float_bits(b[i]));
      return ::testing::AssertionFailure() << text;
    }
  return ::testing::AssertionSuccess();
}

struct aligned_floats {  // 16-byte aligned
  std::vector<float> store;
  float* p;
  explicit aligned_floats(size_t n, float fill = 0.0f) : store(n + 4, fill), p(store.data()) {
    while (reinterpret_cast<uintptr_t>(p) % 16) ++p;
  }
  float& operator[](size_t i) { return p[i]; }
};

struct canvas_buffers {  // the working buffers of one test
  canvas_buffers(int w, int h, int slots) {
    canvas_w = w, canvas_h = h, half_w = w / 2, ring_n = slots;
    ok = allocate_working_buffers();
  }
  ~canvas_buffers() { free_buffers(); }
  bool ok = false;
};
