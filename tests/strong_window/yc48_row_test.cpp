// The way back to YC48: the SSE2 version against the scalar one, bit for bit,
// on seeded random samples, the values where rounding and saturation turn,
// and every row length up to 40 (the rest of a row goes to the scalar code).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "platform/simd_level.h"
#include "strong_window/yc48_row.h"

namespace {

std::mt19937_64 rng(1);

// Samples biased toward the edges: code values and their YC48 halves, the
// ends of the 16-bit range (in the samples' scale), ±0, no value, infinities,
// huge values, and plain values around the picture's range.
float sample(float offset, float scale) {
  const uint64_t r = rng();
  const float unit = float(r >> 40) / float(1 << 24);
  switch (r % 12) {
    case 0: return std::nanf("");
    case 1: return (r & 64) ? std::numeric_limits<float>::infinity() : -std::numeric_limits<float>::infinity();
    case 2: return (r & 64) ? 0.0f : -0.0f;
    case 3: return (r & 64) ? 3e38f : -3e38f;
    case 4: {  // exactly a half step between two YC48 values
      const float k = float(int(r >> 48) - 32768) + 0.5f;
      return k * scale / 4096.0f + offset;
    }
    case 5: {  // near the saturation points
      const float k = (r & 64) ? 32767.5f : -32768.5f;
      return k * scale / 4096.0f + offset + (unit - 0.5f) * 0.01f;
    }
    case 6: return float(int(r >> 56));  // a code value
    default: return -40.0f + 340.0f * unit;
  }
}

}  // namespace

TEST(Yc48Row, Sse2MatchesScalarBitForBit) {
  const float settings[2][2] = {{16.0f, 219.0f}, {128.0f, 224.0f}};
  for (const auto& set : settings)
    for (int n = 0; n <= 40; ++n)
      for (int round = 0; round < 200; ++round) {
        std::vector<float> src(n + 1);
        for (float& v : src) v = sample(set[0], set[1]);
        // Guards after the row catch writes past its end.
        std::vector<short> a(n + 4, 0x5a5a), b(n + 4, 0x5a5a);
        yc48_row_ref(src.data(), n, set[0], set[1], a.data());
        yc48_row_sse2(src.data(), n, set[0], set[1], b.data());
        if (std::memcmp(a.data(), b.data(), a.size() * sizeof(short)) != 0) {
          for (int i = 0; i < n + 4; ++i)
            if (a[i] != b[i]) {
              ADD_FAILURE() << "round " << round << ", n " << n << ", at " << i << ": sample "
                            << (i < n ? src[i] : 0.0f) << ", scalar " << a[i] << ", SSE2 " << b[i];
              break;
            }
          return;
        }
        for (int i = n; i < n + 4; ++i) ASSERT_EQ(a[i], short(0x5a5a)) << "written past the row";
      }
}

TEST(Yc48Row, RoundsHalvesUpAndSaturates) {
  const float src[] = {16.0f, 16.0f + 219.0f / 8192.0f, 16.0f - 219.0f / 8192.0f, 1e9f, -1e9f,
                       std::nanf(""), 255.0f, 0.0f};
  const short want[] = {0, 1, 0, 32767, -32768, -32768, 4470, -299};
  short got[8];
  yc48_row_ref(src, 8, 16.0f, 219.0f, got);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(got[i], want[i]) << i;
}

TEST(Yc48Row, TheLevelChoosesTheKernel) {
  yc48_select_kernels(simd_ref);
  EXPECT_EQ(yc48_kernels.yc48_row, &yc48_row_ref);
  yc48_select_kernels(simd_sse2);
  EXPECT_EQ(yc48_kernels.yc48_row, &yc48_row_sse2);
  yc48_select_kernels(simd_avx2);
  EXPECT_EQ(yc48_kernels.yc48_row, &yc48_row_sse2);
  yc48_select_kernels(simd_ref);
}
