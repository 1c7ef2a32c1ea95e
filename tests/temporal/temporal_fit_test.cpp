// The per-coefficient temporal fit: SIMD against scalar bit for bit, and the
// properties of the fit on both.
#include "host/cpu.h"
#include "temporal_test_util.h"

namespace {

const temporal_fit_fn fit_ref[4] = {temporal_fit_w3_ref, temporal_fit_w5_ref, temporal_fit_w7_ref,
                                    temporal_fit_w9_ref};
const temporal_fit_fn fit_sse2[4] = {temporal_fit_w3_sse2, temporal_fit_w5_sse2,
                                     temporal_fit_w7_sse2, temporal_fit_w9_sse2};
const temporal_fit_fn fit_avx2[4] = {temporal_fit_w3_avx2, temporal_fit_w5_avx2,
                                     temporal_fit_w7_avx2, temporal_fit_w9_avx2};
bool have_avx2() { return detect_simd_level() >= simd_avx2; }

// One ring line of `positions` floats per slot for the window of `frame`
// (the slots' copies one after the other, the last one ending the block);
// at(t, p): position p of frame + t.
struct fit_case {
  int r, len;
  window_slots ws;
  aligned_floats ring, cell, out;
  fit_case(int radius, int frame, int positions, const uint8_t* missing = nullptr)
      : r(radius),
        len(positions),
        ring(positions * (2 * radius + 1), quiet_nan),
        cell(32),
        out(positions) {
    build_window_slots(&ws, frame, radius, missing);
  }
  float& at(int t, int p) { return ring[ws.slot[t + r] * len + p]; }
  // Positions [first, first + count): bands start at any group.
  std::vector<float> run(temporal_fit_fn fit, float thr, int count, int first = 0) {
    store_fit_threshold(cell.p, thr, &ws);
    fit(count, cell.p, out.p, ring.p + first, len, &ws);
    return {out.p, out.p + count};
  }
};

}  // namespace

TEST(TemporalFit, SimdMatchesScalarBitForBit) {
  for (int r = 1; r <= 4; ++r)
    for (int seed = 1; seed <= 40; ++seed) {
      std::mt19937 rng(seed * 977 + r);
      std::uniform_real_distribution<float> u(-1.0f, 1.0f);
      uint8_t missing[9] = {};
      missing[seed % 3 ? r : (rng() % r)] = 1;     // the current frame's flag is never read
      const int positions = 4 * (1 + rng() % 64);  // odd group counts included
      const float thr = seed % 2 ? 7.25f : 0.5f;
      fit_case c(r, static_cast<int>(rng() % 50), positions, missing);
      for (int p = 0; p < positions; ++p) {
        const float centres[4] = {-0.0f, 8192.0f, 3.0e30f, static_cast<int>(rng() % 8001) / 16.0f};
        const float v0 = c.at(0, p) = centres[rng() % 4];
        for (int t = -r; t <= r; ++t) {
          // Exactly at +-T (v0 and T dyadic), just inside, inside, far, +-0, NaN.
          const float picks[9] = {v0 + thr,
                                  v0 - thr,
                                  std::nextafter(v0 + thr, -INFINITY),
                                  v0 + thr * u(rng),
                                  v0 + thr * u(rng),
                                  v0 + 50 * thr * u(rng),
                                  0.0f,
                                  -0.0f,
                                  quiet_nan};
          if (t) c.at(t, p) = picks[rng() % 9];
        }
      }
      const int first = 4 * (seed % 4 * (positions > 16));
      const int count = positions - first;
      const auto want = c.run(fit_ref[r - 1], thr, count, first);
      ASSERT_TRUE(
          same_bits(want.data(), c.run(fit_sse2[r - 1], thr, count, first).data(), count, seed))
          << "sse2, radius " << r << ", first " << first;
      if (have_avx2()) {
        ASSERT_TRUE(
            same_bits(want.data(), c.run(fit_avx2[r - 1], thr, count, first).data(), count, seed))
            << "avx2, radius " << r << ", first " << first;
      }
    }
}

// Parameter: 0 scalar, 1 SSE2, 2 AVX2 (skipped without the instructions).
class TemporalFitProperties : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    if (GetParam() == 2 && !have_avx2()) GTEST_SKIP() << "no AVX2";
  }
  temporal_fit_fn fit(int r) const {
    const temporal_fit_fn* table[3] = {fit_ref, fit_sse2, fit_avx2};
    return table[GetParam()][r - 1];
  }
};

// Positions 0-3: integers whose mean is exact; 4-5: a ramp a + b t with an
// outlier; 6-7: nothing within T (one neighbour exactly T away), v0 kept.
TEST_P(TemporalFitProperties, MeanInterceptAndUnchangedValue) {
  std::mt19937 rng(7);
  for (int r = 1; r <= 4; ++r) {
    const int n = 2 * r + 1;
    fit_case c(r, 3 + r, 8);
    for (int p = 0; p < 4; ++p) {
      int sum = 0;
      for (int t = -r; t <= r; ++t) sum += static_cast<int>(c.at(t, p) = 100.0f + rng() % 9);
      c.at(0, p) += static_cast<float>((n - sum % n) % n);
    }
    for (int p = 4; p < 6; ++p)
      for (int t = -r; t <= r; ++t) c.at(t, p) = -40.0f * p + 0.25f * (p - 6) * t;
    c.at(-r, 4) = 1000.0f, c.at(r, 5) = -1000.0f;
    const float v0[2] = {-0.0f, 1.0f / 3};
    for (int p = 6; p < 8; ++p)
      for (int t = -r; t <= r; ++t)
        c.at(t, p) = t ? v0[p - 6] + (t & 1 ? 21.0f : -25.0f) : v0[p - 6];
    c.at(1, 6) = 20.0f;  // |20 - (-0)| = T exactly
    const auto out = c.run(fit(r), 20.0f, 8);
    for (int p = 0; p < 4; ++p) {
      float sum = 0;
      for (int t = -r; t <= r; ++t) sum += c.at(t, p);
      EXPECT_EQ(out[p], sum / n) << "radius " << r;
    }
    for (int p = 4; p < 6; ++p) EXPECT_EQ(out[p], -40.0f * p) << "radius " << r;
    for (int p = 6; p < 8; ++p) EXPECT_EQ(float_bits(out[p]), float_bits(v0[p - 6])) << r;
  }
}

// A neighbour exactly T away, or one the host did not deliver (however close),
// gives the result of a neighbour far outside.
TEST_P(TemporalFitProperties, ExactlyTAwayAndMissingFramesAreExcluded) {
  for (int r = 1; r <= 4; ++r)
    for (int gone = -r; gone <= r; gone += gone == -1 ? 2 : 1) {
      uint8_t missing[9] = {};
      missing[gone + r] = 1;
      fit_case at_t(r, 17, 4), stale(r, 17, 4, missing), far(r, 17, 4);
      for (int t = -r; t <= r; ++t)
        for (int p = 0; p < 4; ++p)
          at_t.at(t, p) = stale.at(t, p) = far.at(t, p) = 20.0f + 0.5f * t + 0.125f * p;
      for (int p = 0; p < 4; ++p) {
        at_t.at(gone, p) = 20.0f + 0.125f * p + (p & 1 ? 3.0f : -3.0f);
        stale.at(gone, p) = 20.25f;
        far.at(gone, p) = 1.0e6f;
      }
      const auto want = far.run(fit(r), 3.0f, 4);
      ASSERT_TRUE(same_bits(want.data(), at_t.run(fit(r), 3.0f, 4).data(), 4, r)) << gone;
      ASSERT_TRUE(same_bits(want.data(), stale.run(fit(r), 3.0f, 4).data(), 4, r)) << gone;
    }
}

INSTANTIATE_TEST_SUITE_P(EachLevel, TemporalFitProperties, ::testing::Values(0, 1, 2));

TEST(TemporalFit, WindowSlots) {
  window_slots ws;
  build_window_slots(&ws, 101, 2, nullptr);  // frames 99..103 in a ring of 5
  EXPECT_EQ(std::vector<int>(ws.slot, ws.slot + 5), (std::vector<int>{4, 0, 1, 2, 3}));
  build_window_slots(&ws, 0, 1, nullptr);  // before frame 0: the top slot
  EXPECT_EQ(ws.slot[0], 2);
}
