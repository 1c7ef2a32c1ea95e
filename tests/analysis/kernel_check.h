// Test helpers for the analysis kernels: aligned lines, seeded inputs biased
// to edge values, and bit-pattern comparison that reports the first mismatch.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include <gtest/gtest.h>

inline uint32_t float_bits(float f) {
  uint32_t u;
  std::memcpy(&u, &f, 4);
  return u;
}
inline float bits_float(uint32_t u) {
  float f;
  std::memcpy(&f, &u, 4);
  return f;
}

// A 64-byte aligned float line.
struct aligned_line {
  std::unique_ptr<float, decltype(&std::free)> mem{nullptr, &std::free};
  size_t n = 0;
  explicit aligned_line(size_t count, float fill = 0.0f) : n(count) {
    mem.reset(static_cast<float*>(std::aligned_alloc(64, (count * 4 + 127) / 64 * 64)));
    for (size_t i = 0; i < count; ++i) mem.get()[i] = fill;
  }
  aligned_line(const aligned_line& o) : aligned_line(o.n) { std::memcpy(data(), o.data(), n * 4); }
  float* data() const { return mem.get(); }
  float& operator[](size_t i) const { return mem.get()[i]; }
};

// Besides ordinary values at several scales, integers, ±0, denormals and the
// given specials (either sign): with_huge adds values near the float limit
// (sums overflow), with_nan a quiet NaN. Never both, so every NaN a kernel
// produces has one payload whatever the operand order.
enum value_mix { plain_values, with_huge, with_nan };

inline void fill_edge_values(float* x, size_t n, uint32_t seed, value_mix mix,
                             const std::vector<float>& specials = {}) {
  std::mt19937 rng(seed);
  for (size_t i = 0; i < n; ++i) {
    const int r = (int)(rng() % 100) - (i < 3 || i + 3 >= n ? 25 : 0);  // ends: more edges
    const float sign = (rng() & 1) ? -1.0f : 1.0f;
    if (r < 30) x[i] = sign * (float)(rng() % 1000000) * (float)(1u << (rng() % 24)) / 1e6f;
    else if (r < 45) x[i] = (float)((int)(rng() % 601) - 300);
    else if (r < 55) x[i] = sign * 0.0f;
    else if (r < 60) x[i] = sign * 1e-40f;
    else if (r < 80 && !specials.empty()) x[i] = sign * specials[rng() % specials.size()];
    else if (r < 90 && mix == with_huge) x[i] = sign * 3.0e36f * (float)(1 + rng() % 100);
    else if (r < 90 && mix == with_nan && rng() % 4 == 0) x[i] = bits_float(0x7fc01234u);
    else x[i] = sign * (float)(rng() % 32768);
  }
}

inline value_mix mix_for(uint32_t seed) { return (value_mix)(seed % 3); }

inline ::testing::AssertionResult same_bits(const float* expected, const float* actual, size_t n,
                                            uint32_t seed, const char* what) {
  for (size_t i = 0; i < n; ++i) {
    if (float_bits(expected[i]) != float_bits(actual[i])) {
      char text[200];
      std::snprintf(text, sizeof text, "%s: seed %u, index %zu: expected %08x (%.9g), got %08x (%.9g)",
                    what, seed, i, float_bits(expected[i]), expected[i], float_bits(actual[i]), actual[i]);
      return ::testing::AssertionFailure() << text;
    }
  }
  return ::testing::AssertionSuccess();
}

// Canvas heights and widths and their halves down to level 4: every length the
// analysis and the synthesis meet (1984 .. 32).
inline std::vector<int> stage_line_lengths(int deepest_level) {
  std::vector<int> out;
  for (int n : {512, 832, 1152, 1472, 1984})
    for (int k = 0; k <= deepest_level; ++k) out.push_back(n >> k);
  return out;
}
