// D4 line synthesis and sample conversion.
#include "temporal_test_util.h"

// (The four-column kernels are checked against the scalar line kernel through
// the vertical synthesis stage.)
TEST(D4Synthesize, SimdMatchesScalarBitForBit) {
  for (int n : {8, 12, 256, 576})
    for (int seed = 1; seed <= 10; ++seed) {
      std::mt19937 rng(seed * 31 + n);
      std::uniform_real_distribution<float> u(-300.0f, 300.0f);
      const float edges[4] = {0.0f, -0.0f, -32768.0f, 1e-39f};
      aligned_floats v(2 * n), a(2 * n + 4, quiet_nan), b(2 * n + 4, quiet_nan);
      for (int i = 0; i < 2 * n; ++i) v[i] = rng() % 8 ? u(rng) : edges[rng() % 4];
      d4_synthesize_ref(v.p, n, a.p);
      d4_synthesize_sse2(v.p, n, b.p);
      ASSERT_TRUE(same_bits(a.p, b.p, 2 * n + 4, seed)) << "n " << n;  // nothing past 2n either
    }
}

// Pairs 0 and 1 sum in their own order, the others in the body order; indices
// wrap at the ends. Random inputs make the two orders round differently.
TEST(D4Synthesize, KeepsTheHeadAndBodyAdditionOrders) {
  const float h0 = d4_h0, h1 = d4_h1, h2 = d4_h2, h3 = d4_h3;
  EXPECT_EQ(float_bits(h0), 0x3ef746eau);  // 0.482962906: (1 + sqrt3) / (4 sqrt2)
  const int n = 8;
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> u(-1000.0f, 1000.0f);
  int orders_differ = 0;
  for (int round = 0; round < 100; ++round) {
    aligned_floats v(2 * n), out(2 * n);
    for (int i = 0; i < 2 * n; ++i) v[i] = u(rng);
    const float *l = v.p, *hi = v.p + n;
    for (auto synth : {d4_synthesize_ref, d4_synthesize_sse2}) {
      synth(v.p, n, out.p);
      for (int i = 0, p = n - 1; i < n; p = i++) {
        const float body = ((h0 * l[i] + h3 * hi[i]) + h2 * l[p]) + h1 * hi[p];
        const float head = ((h0 * l[i] + h2 * l[p]) + h3 * hi[i]) + h1 * hi[p];
        const float odd = i < 2 ? ((h1 * l[i] + h3 * l[p]) - h2 * hi[i]) - h0 * hi[p]
                                : ((h1 * l[i] - h2 * hi[i]) + h3 * l[p]) - h0 * hi[p];
        orders_differ += body != head;
        ASSERT_EQ(float_bits(out[2 * i]), float_bits(i < 2 ? head : body)) << "pair " << i;
        ASSERT_EQ(float_bits(out[2 * i + 1]), float_bits(odd)) << "pair " << i;
      }
    }
  }
  EXPECT_GT(orders_differ, 0);
}

TEST(SampleConversion, RoundsHalfUpTruncatesTowardZeroAndClamps) {
  const float in[] = {
      100.5f,  100.49f,  -0.7f,     -1.7f,    -1.5f,  9000.0f,    -9000.0f,
      8192.5f, -8192.4f, quiet_nan, INFINITY, 3.0e9f, 0.49999997f /* the sum rounds to 1 */};
  const int out[] = {101, 100, 0, -1, -1, 8192, -8192, 8192, -8191, -8192, -8192, -8192, 1};
  for (size_t i = 0; i < sizeof out / sizeof out[0]; ++i)
    EXPECT_EQ(sample_to_int16(in[i]), out[i]) << in[i];

  const float edges[] = {0.5f,      -1.5f,         8191.5f,       32767.5f,
                         -32768.5f, 2147483520.0f, 2147483648.0f, -2147483904.0f,
                         quiet_nan, -INFINITY,     -0.0f};
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> u(-10000.0f, 10000.0f);
  aligned_floats src(256);
  for (int i = 0; i < 256; ++i) src[i] = rng() % 3 ? u(rng) : edges[rng() % 11];
  alignas(16) int16_t a[264], b[264];
  std::fill(a, a + 264, 0x5555), std::fill(b, b + 264, 0x5555);
  row_to_int16_ref(src.p, 256, a);
  row_to_int16_sse2(src.p, 256, b);
  for (int i = 0; i < 264; ++i) ASSERT_EQ(a[i], i < 256 ? sample_to_int16(src[i]) : 0x5555) << i;
  ASSERT_EQ(0, std::memcmp(a, b, sizeof a));
}
