// The derived values of every setting 0 to 30 (all six strengths at once) in
// both anime states, as one hash of their bit patterns, and the hash recorded
// from the single-precision evaluation of the formulas.
#pragma once

#include <cstdint>
#include <cstring>

#include "host/settings.h"

constexpr uint64_t recorded_settings_hash = 0x54eb377b1dc306e0ull;

inline uint64_t derived_settings_hash() {
  uint64_t h = 1469598103934665603ull;  // FNV-1a over the bytes
  auto mix = [&](float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    for (int i = 0; i < 4; ++i) {
      h ^= (u >> (8 * i)) & 255;
      h *= 1099511628211ull;
    }
  };
  for (int anime = 0; anime <= 1; ++anime)
    for (int v = 0; v <= 30; ++v) {
      int track[9] = {2, v, v, v, v, v, v, 5, 5};
      int check[4] = {1, anime, 0, 0};
      derive_settings(track, check);
      mix(thr3d_y_low_v);
      mix(thr3d_y_low_h);
      for (int i = 0; i < 3; ++i) mix(thr3d_y_high[i]);
      mix(thr3d_c_low);
      for (int i = 0; i < 3; ++i) mix(thr3d_c_high[i]);
      mix(level4_threshold[0]);
      mix(level4_threshold[1]);
      for (int j = 0; j < 4; ++j) {
        mix(thr2d_y[j]);
        mix(limit2d_y[j]);
        mix(thr2d_c[j]);
        mix(limit2d_c[j]);
      }
    }
  return h;
}
