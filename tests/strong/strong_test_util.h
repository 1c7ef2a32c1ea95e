// Synthetic pictures for the strong filter's tests: seeded Gaussian noise,
// flat, textured and edged planes, sub-pixel pans.
#pragma once

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

// A Gaussian noise source with a fixed seed.
struct test_noise {
  std::mt19937 engine;
  std::normal_distribution<double> normal{0.0, 1.0};
  explicit test_noise(uint32_t seed) : engine(seed) {}
  // v + N(0, s^2), rounded to nearest and clipped to 0..255.
  float add(float v, double s) {
    const double r = std::floor(v + s * normal(engine) + 0.5);
    return float(r < 0 ? 0 : r > 255 ? 255 : r);
  }
};

// A smooth texture of several orientations and scales, about 40..215, at a
// real-valued position (so that it can be panned by fractions of a pixel).
inline float texture_at(double x, double y) {
  return float(128.0 + 35.0 * std::sin(0.21 * x + 0.05 * y) + 30.0 * std::sin(0.13 * y - 0.4) +
               22.0 * std::sin(0.37 * (x + y)));
}
