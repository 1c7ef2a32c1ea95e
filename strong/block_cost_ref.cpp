// Block costs of the motion search, scalar: integer sums, so every version
// gives the same value.
#include "strong/block_cost.h"

uint32_t block_ssd16_ref(const uint8_t* a, int a_pitch, const uint8_t* b, int b_pitch) {
  uint32_t sum = 0;
  for (int y = 0; y < 16; ++y, a += a_pitch, b += b_pitch)
    for (int x = 0; x < 16; ++x) {
      const int d = int(a[x]) - int(b[x]);
      sum += uint32_t(d * d);
    }
  return sum;
}

uint32_t block_sad8_ref(const uint8_t* a, int a_pitch, const uint8_t* b, int b_pitch, int h) {
  uint32_t sum = 0;
  for (int y = 0; y < h; ++y, a += a_pitch, b += b_pitch)
    for (int x = 0; x < 8; ++x) {
      const int d = int(a[x]) - int(b[x]);
      sum += uint32_t(d < 0 ? -d : d);
    }
  return sum;
}

uint32_t block_sad4_ref(const uint8_t* a, int a_pitch, const uint8_t* b, int b_pitch) {
  uint32_t sum = 0;
  for (int y = 0; y < 4; ++y, a += a_pitch, b += b_pitch)
    for (int x = 0; x < 4; ++x) {
      const int d = int(a[x]) - int(b[x]);
      sum += uint32_t(d < 0 ? -d : d);
    }
  return sum;
}

void block_sad4_row_ref(const uint8_t* a, int a_pitch, const uint8_t* b, int b_pitch, int count,
                        uint32_t* out) {
  for (int i = 0; i < count; ++i) out[i] = block_sad4_ref(a, a_pitch, b + i, b_pitch);
}
