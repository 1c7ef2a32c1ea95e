// The noise estimate's SIMD kernels against their scalar versions, bit for
// bit, on random blocks, extremes and every block width they are used with.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "host/cpu.h"
#include "strong/strong.h"

namespace {

std::mt19937_64 rng(2025);

float uniform(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); }

}  // namespace

// Blocks of every width (4 to 16) and height, at an odd pitch, with the
// samples past the block's end clipped (0 or 255: a kernel that read them
// would call the block clipped). Differences are random, of either sign, at
// and beside the bin edges (k + 1/2), in the outer bins and beyond them,
// large ones of one sign (beyond the bins the AVX2 version counts by
// comparison); a clipped sample is put at a random place, at each end of a
// row; equal blocks say so.
TEST(NoiseKernels, DifferenceBinsMatchTheReference) {
  if (detect_simd_level() < simd_sse2) GTEST_SKIP() << "no SSE2";
  const bool avx2 = detect_simd_level() >= simd_avx2;
  const int pitch = 21;
  for (int round = 0; round < 400; ++round) {
    const int w = 4 * (1 + round % 4), h = 1 + (round / 4) % 16;
    std::vector<float> cur(size_t(pitch) * h + 4, 0.0f), comp(size_t(pitch) * h + 4, 255.0f);
    const int kind = round % 6;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        float a = uniform(0.001f, 254.99f), b = a;
        if (kind == 0) b = uniform(0.001f, 254.99f);             // any magnitude
        if (kind == 1) b = uniform(std::max(0.01f, a - 6.0f), std::min(254.9f, a + 6.0f));
        if (kind == 2) {                                         // at a bin edge
          a = float(1 + rng() % 100);
          b = a + (rng() % 2 ? 1.0f : -1.0f) * (float(rng() % 70) + 0.5f);
          if (b <= 0.0f || b >= 255.0f) b = a;
        }
        if (kind == 3) b = std::nextafter(a, rng() % 2 ? 0.0f : 255.0f);  // tiny
        if (kind == 5) {                                         // 10 to 80 below
          a = uniform(90.0f, 254.0f);
          b = a - uniform(10.0f, 80.0f);
        }
        cur[size_t(y) * pitch + x] = a;
        comp[size_t(y) * pitch + x] = b;
      }
    if (round % 7 == 6) {  // one clipped sample: inside, or at a row's end
      const int y = int(rng() % h), x = round % 3 == 0 ? 0 : round % 3 == 1 ? w - 1 : int(rng() % w);
      (rng() % 2 ? cur : comp)[size_t(y) * pitch + x] = rng() % 2 ? 0.0f : 255.0f;
    }
    uint32_t want[noise_difference_bins] = {};
    want[5] = 3;  // the kernels add to what is there
    const int a = difference_bins_ref(cur.data(), pitch, comp.data(), pitch, w, h, want);
    EXPECT_EQ(a, round % 7 == 6 ? -1 : kind == 4 ? 0 : 1) << round;
    for (difference_bins_fn bins : {&difference_bins_sse2, &difference_bins_avx2}) {
      if (bins == &difference_bins_avx2 && !avx2) continue;
      uint32_t got[noise_difference_bins] = {};
      got[5] = 3;
      const int b = bins(cur.data(), pitch, comp.data(), pitch, w, h, got);
      const char* name = bins == &difference_bins_avx2 ? "avx2" : "sse2";
      ASSERT_EQ(a, b) << name << ", round " << round << ", " << w << "x" << h;
      if (a < 0) continue;
      EXPECT_EQ(std::memcmp(want, got, sizeof want), 0) << name << ", round " << round;
      uint32_t total = 0;
      for (uint32_t c : got) total += c;
      EXPECT_EQ(total, uint32_t(w * h + 3)) << name << ", round " << round;
    }
  }
}

// The bins themselves: a magnitude of k + 1/2 rounds up, just below it down,
// either sign, and every magnitude from 63 + 1/2 on lands in the outer bin
// of its sign.
TEST(NoiseKernels, DifferenceBinsPlaceTheEdges) {
  for (difference_bins_fn bins : {&difference_bins_ref, &difference_bins_sse2, &difference_bins_avx2}) {
    if (bins != &difference_bins_ref && detect_simd_level() < (bins == &difference_bins_sse2 ? simd_sse2 : simd_avx2)) continue;
    const float cur[16] = {10, 10, 10, 10, 100, 100, 1, 1, 10, 10, 10, 12.5f, 100, 200, 250, 20};
    const float comp[16] = {10.5f, std::nextafter(10.5f, 0.0f), 12.5f, 9.0f, 163.5f, 162, 254.5f, 1,
                            9.5f, std::nextafter(9.5f, 20.0f), 7.5f, 10, 36.5f, 137, 1, 4.5f};
    const auto at = [](int k) { return noise_zero_bin + k; };
    uint32_t count[noise_difference_bins] = {};
    EXPECT_EQ(bins(cur, 16, comp, 16, 16, 1, count), 1);
    EXPECT_EQ(count[at(0)], 3u);   // 0.4999 either way, and 0
    EXPECT_EQ(count[at(1)], 1u);   // 0.5
    EXPECT_EQ(count[at(-1)], 2u);  // -0.5 and -1
    EXPECT_EQ(count[at(3)], 1u);   // 2.5
    EXPECT_EQ(count[at(-3)], 2u);  // -2.5 twice
    EXPECT_EQ(count[at(62)], 1u);
    EXPECT_EQ(count[at(-16)], 1u);  // -15.5: the first bin beyond the middle ones
    EXPECT_EQ(count[at(63)], 2u);   // 63.5 and 253.5
    EXPECT_EQ(count[at(-63)], 3u);  // -63.5, -63 and -249
  }
}

// Rows of 1 to 7 blocks (the SIMD versions leave the last ones to the narrower
// versions), side by side or further apart (a lattice's spacing, or an odd
// one), at an odd pitch and offset: random samples, flat and extreme blocks
// (the largest responses), a checkerboard and ±0, every block's sums
// compared bit for bit.
TEST(NoiseKernels, BlockEnergiesMatchTheReference) {
  if (detect_simd_level() < simd_sse2) GTEST_SKIP() << "no SSE2";
  const bool avx2 = detect_simd_level() >= simd_avx2;
  const int spacings[4] = {energy_block, 2 * energy_block, energy_block + 5, 3 * energy_block};
  const int pitch = 7 * 3 * energy_block + 3;
  for (int round = 0; round < 84; ++round) {
    std::vector<float> plane(size_t(pitch) * energy_block + 8);
    for (size_t i = 0; i < plane.size(); ++i) {
      const size_t x = i % pitch, y = i / pitch;
      switch (round % 6) {
        case 0: plane[i] = uniform(0.0f, 255.0f); break;
        case 1: plane[i] = uniform(120.0f, 130.0f); break;
        case 2: plane[i] = (x + y) % 2 ? 255.0f : 0.0f; break;
        case 3: plane[i] = rng() % 2 ? 1.0e30f : -1.0e30f; break;
        case 4: plane[i] = rng() % 2 ? 0.0f : -0.0f; break;
        default: plane[i] = float(rng() % 65536) / 4096.0f + float(rng() % 240); break;
      }
    }
    const int count = 1 + round % 7, off = round % 3, spacing = spacings[round % 4];
    block_energy_sums want[7], got[8];
    block_energies_ref(plane.data() + off, pitch, count, spacing, want);
    std::memset(got, 0xff, sizeof got);
    block_energies_sse2(plane.data() + off, pitch, count, spacing, got);
    EXPECT_EQ(std::memcmp(want, got, count * sizeof(block_energy_sums)), 0) << "sse2, round " << round;
    EXPECT_EQ(std::memcmp(&got[count], &got[7], sizeof got[7]), 0) << "sse2 wrote past the row";
    if (!avx2) continue;
    std::memset(got, 0xff, sizeof got);
    block_energies_avx2(plane.data() + off, pitch, count, spacing, got);
    EXPECT_EQ(std::memcmp(want, got, count * sizeof(block_energy_sums)), 0) << "avx2, round " << round;
    EXPECT_EQ(std::memcmp(&got[count], &got[7], sizeof got[7]), 0) << "avx2 wrote past the row";
  }
}

// A check of the sums themselves: a ramp has no response to either mask, a
// checkerboard of ±1 the largest one of each.
TEST(NoiseKernels, BlockEnergiesOfKnownBlocks) {
  std::vector<float> ramp(energy_block * energy_block), board(ramp.size());
  for (int y = 0; y < energy_block; ++y)
    for (int x = 0; x < energy_block; ++x) {
      ramp[y * energy_block + x] = float(x + 2 * y);
      board[y * energy_block + x] = (x + y) % 2 ? 1.0f : -1.0f;
    }
  block_energy_sums s;
  block_energies_ref(ramp.data(), energy_block, 1, energy_block, &s);
  EXPECT_EQ(s.grid, 0.0);
  EXPECT_EQ(s.rows, 0.0);
  block_energies_ref(board.data(), energy_block, 1, energy_block, &s);
  EXPECT_EQ(s.grid, 30.0 * 30.0 * 16.0 * 16.0);  // |response| 16 at every inner sample
  EXPECT_EQ(s.rows, 32.0 * 24.0 * 256.0 * 256.0);  // 1+8+28+56+70+56+28+8+1 = 256
  EXPECT_EQ(s.grid2, 0.0);  // the cells' means are all 0
}
