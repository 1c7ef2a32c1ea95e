// Noise estimation from the finest diagonal detail of the flattest blocks.
#include <algorithm>
#include <cmath>

#include "strong/strong.h"

void noise_block_energies(const float* plane, int pitch, int width, int height,
                          std::vector<float>* energies) {
  for (int by = 0; by + 16 <= height; by += 16) {
    for (int bx = 0; bx + 16 <= width; bx += 16) {
      double sum = 0;
      bool clipped = false;
      for (int y = by; y < by + 16; y += 2) {
        const float* r0 = plane + size_t(y) * pitch;
        const float* r1 = r0 + pitch;
        for (int x = bx; x < bx + 16; x += 2) {
          const float a = r0[x], b = r0[x + 1], c = r1[x], d = r1[x + 1];
          clipped = clipped || std::min(std::min(a, b), std::min(c, d)) <= 0.0f ||
                    std::max(std::max(a, b), std::max(c, d)) >= 255.0f;
          const double hh = (double(a) - b - c + d) * 0.5;
          sum += hh * hh;
        }
      }
      if (!clipped) energies->push_back(float(sum / 64.0));
    }
  }
}

float noise_sigma_from_energies(std::vector<float>* energies) {
  if (energies->empty()) return 0.0f;
  // The 5th percentile of the mean of 64 squared normal samples, as a
  // fraction of their variance (Wilson-Hilferty: (1 - 2/(9k) + z sqrt(2/(9k)))^3,
  // k = 64, z = -1.645).
  const double k = 64.0, z = -1.6448536;
  const double c = 1.0 - 2.0 / (9.0 * k) + z * std::sqrt(2.0 / (9.0 * k));
  const double fraction = c * c * c;
  const size_t at = energies->size() / 20;
  std::nth_element(energies->begin(), energies->begin() + at, energies->end());
  return float(std::sqrt((*energies)[at] / fraction));
}
