// Every SIMD kernel of the strong filter against its scalar reference, bit
// for bit, on random data, extremes and every block shape it is used with.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "host/cpu.h"
#include "strong/strong.h"
#include "strong/strong_internal.h"

namespace {

std::mt19937 rng(1234);

std::vector<uint8_t> random_bytes(size_t n, int mode) {
  std::vector<uint8_t> v(n);
  for (uint8_t& b : v) b = mode == 0 ? uint8_t(rng()) : mode == 1 ? 0 : 255;
  return v;
}

std::vector<float> random_floats(size_t n, float lo, float hi) {
  std::uniform_real_distribution<float> d(lo, hi);
  std::vector<float> v(n);
  for (float& f : v) f = d(rng);
  return v;
}

bool same_bits(const float* a, const float* b, size_t n) {
  return std::memcmp(a, b, n * sizeof(float)) == 0;
}

}  // namespace

TEST(StrongKernels, BlockCostsMatchTheReference) {
  if (detect_simd_level() < simd_sse2) GTEST_SKIP() << "no SSE2";
  const int pitch = 37;  // odd: unaligned rows
  for (int round = 0; round < 60; ++round) {
    // Random data, then the extremes against each other (largest sums).
    const int mode_a = round < 50 ? 0 : 1, mode_b = round < 50 ? 0 : 2;
    std::vector<uint8_t> a = random_bytes(pitch * 20, mode_a), b = random_bytes(pitch * 20, mode_b);
    const int off = round % 5;
    EXPECT_EQ(block_ssd16_sse2(a.data() + off, pitch, b.data() + 1, pitch),
              block_ssd16_ref(a.data() + off, pitch, b.data() + 1, pitch));
    for (int h : {4, 8, 16})
      EXPECT_EQ(block_sad8_sse2(a.data() + off, pitch, b.data(), pitch, h),
                block_sad8_ref(a.data() + off, pitch, b.data(), pitch, h));
    EXPECT_EQ(block_sad4_sse2(a.data() + off, pitch, b.data() + 3, pitch),
              block_sad4_ref(a.data() + off, pitch, b.data() + 3, pitch));
  }
  std::vector<uint8_t> lo = random_bytes(64 * 16, 1), hi = random_bytes(64 * 16, 2);
  EXPECT_EQ(block_ssd16_sse2(lo.data(), 64, hi.data(), 64), 256u * 255u * 255u);
}

TEST(StrongKernels, RowsOfBlockCostsMatchTheReference) {
  if (detect_simd_level() < simd_sse2) GTEST_SKIP() << "no SSE2";
  const bool avx2 = detect_simd_level() >= simd_avx2;
  const int pitch = 45;  // odd; a row of 25 candidates reads into the next row
  for (int round = 0; round < 40; ++round) {
    const int mode_a = round < 30 ? 0 : 1 + round % 2, mode_b = round < 30 ? 0 : 2 - round % 2;
    // Room for the row kernels' reads past the last candidate.
    std::vector<uint8_t> a = random_bytes(pitch * 20, mode_a),
                         b = random_bytes(pitch * 20 + 64, mode_b);
    const int off = round % 7;
    for (int count : {1, 2, 3, 7, 8, 9, 15, 16, 17, 24, 25, 32, 33}) {
      uint32_t want[40], got[40];
      block_sad4_row_ref(a.data() + off, pitch, b.data() + off / 2, pitch, count, want);
      std::fill(got, got + 40, 0xdeadbeefu);
      block_sad4_row_sse2(a.data() + off, pitch, b.data() + off / 2, pitch, count, got);
      EXPECT_EQ(std::memcmp(want, got, count * sizeof(uint32_t)), 0) << "sse2, " << count;
      EXPECT_EQ(got[count], 0xdeadbeefu) << "sse2 wrote past the row, " << count;
      if (avx2) {
        std::fill(got, got + 40, 0xdeadbeefu);
        block_sad4_row_avx2(a.data() + off, pitch, b.data() + off / 2, pitch, count, got);
        EXPECT_EQ(std::memcmp(want, got, count * sizeof(uint32_t)), 0) << "avx2, " << count;
        EXPECT_EQ(got[count], 0xdeadbeefu) << "avx2 wrote past the row, " << count;
      }
    }
    // The row is the single-block cost at every position.
    uint32_t row[25];
    block_sad4_row_ref(a.data(), pitch, b.data(), pitch, 25, row);
    for (int i = 0; i < 25; i += 6)
      EXPECT_EQ(row[i], block_sad4_ref(a.data(), pitch, b.data() + i, pitch));
    if (avx2) {
      EXPECT_EQ(block_ssd16_avx2(a.data() + off, pitch, b.data() + 1, pitch),
                block_ssd16_ref(a.data() + off, pitch, b.data() + 1, pitch));
    }
  }
  if (avx2) {
    std::vector<uint8_t> lo = random_bytes(64 * 16, 1), hi = random_bytes(64 * 16, 2);
    EXPECT_EQ(block_ssd16_avx2(lo.data(), 64, hi.data(), 64), 256u * 255u * 255u);
    EXPECT_EQ(block_ssd16_avx2(hi.data(), 64, lo.data(), 64), 256u * 255u * 255u);
    uint32_t row[20];
    block_sad4_row_avx2(lo.data(), 64, hi.data(), 64, 20, row);
    for (uint32_t c : row) EXPECT_EQ(c, 16u * 255u);
  }
}

TEST(StrongKernels, InterpolationAndSumsMatchTheReference) {
  if (detect_simd_level() < simd_sse2) GTEST_SKIP() << "no SSE2";
  const float tap_sets[3][4] = {{-0.0703125f, 0.8671875f, 0.2265625f, -0.0234375f},
                                {-0.0625f, 0.5625f, 0.5625f, -0.0625f},
                                {-3.0e5f, 1.0e-7f, 7.5f, -0.33f}};
  const int shapes[4][2] = {{16, 16}, {8, 8}, {8, 16}, {4, 4}};
  for (int round = 0; round < 40; ++round) {
    const float range = round % 4 == 3 ? 1.0e6f : 255.0f;
    for (const auto& shape : shapes) {
      const int bw = shape[0], bh = shape[1], pitch = 29;
      std::vector<float> src = random_floats(size_t(pitch) * (bh + 4), -range, range);
      const float* taps = tap_sets[round % 3];
      std::vector<float> r1(bw * (bh + 3)), r2(bw * (bh + 3)), o1(bw * bh), o2(bw * bh);
      interp_rows_ref(src.data() + pitch + 1, pitch, bh + 3, bw, taps, r1.data());
      interp_rows_sse2(src.data() + pitch + 1, pitch, bh + 3, bw, taps, r2.data());
      EXPECT_TRUE(same_bits(r1.data(), r2.data(), r1.size())) << bw << "x" << bh;
      interp_columns_ref(r1.data(), bw, bh, taps, o1.data());
      interp_columns_sse2(r1.data(), bw, bh, taps, o2.data());
      EXPECT_TRUE(same_bits(o1.data(), o2.data(), o1.size())) << bw << "x" << bh;
      if (detect_simd_level() >= simd_avx2) {
        std::vector<float> r3(bw * (bh + 3)), o3(bw * bh);
        interp_rows_avx2(src.data() + pitch + 1, pitch, bh + 3, bw, taps, r3.data());
        EXPECT_TRUE(same_bits(r1.data(), r3.data(), r1.size())) << bw << "x" << bh;
        interp_columns_avx2(r1.data(), bw, bh, taps, o3.data());
        EXPECT_TRUE(same_bits(o1.data(), o3.data(), o1.size())) << bw << "x" << bh;
      }

      std::vector<float> cur = random_floats(size_t(pitch) * bh, 0, range);
      std::vector<float> comp = random_floats(size_t(bw) * bh, 0, range);
      // Some samples equal to the picture, some right at the limits.
      for (int i = 0; i < bw * bh; i += 7) comp[i] = cur[(i / bw) * pitch + i % bw];
      // The limit of the near samples: none, all, a share, and one sample's
      // own square (which is not below it).
      const float d5 = comp[5] - cur[pitch * (5 / bw) + 5 % bw];
      const float limits[4] = {0.0f, std::numeric_limits<float>::infinity(), range * range / 9,
                               d5 * d5};
      for (const float limit : limits) {
        float cells_ref[16], cells_sse2[16], near_ref, near_sse2;
        int count_ref, count_sse2;
        const float a = block_diff_sums_ref(cur.data(), pitch, comp.data(), bw, bh, limit,
                                            cells_ref, &near_ref, &count_ref);
        const float b = block_diff_sums_sse2(cur.data(), pitch, comp.data(), bw, bh, limit,
                                             cells_sse2, &near_sse2, &count_sse2);
        EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);
        EXPECT_TRUE(same_bits(cells_ref, cells_sse2, size_t(bw / 4) * (bh / 4)));
        EXPECT_EQ(std::memcmp(&near_ref, &near_sse2, sizeof near_ref), 0) << limit;
        EXPECT_EQ(count_ref, count_sse2) << limit;
        if (limit == 0.0f) {
          EXPECT_EQ(count_ref, 0);
          EXPECT_EQ(near_ref, 0.0f);
        } else if (std::isinf(limit)) {
          // Every sample near: the same sum as that of all.
          EXPECT_EQ(count_ref, bw * bh);
          EXPECT_EQ(std::memcmp(&near_ref, &a, sizeof a), 0);
        } else {
          EXPECT_LT(count_ref, bw * bh) << limit;
        }
      }
      const float offset = round % 3 == 0 ? 0.0f : round % 3 == 1 ? 2.5f : -range / 3;
      const float low = round % 2 ? 4.0f : 0.0f, high = round % 2 ? 400.0f : 1.0e-3f;
      std::vector<float> acc1 = random_floats(size_t(bw) * bh, 0, range), w1(bw * bh, 1.0f);
      std::vector<float> acc2 = acc1, w2 = w1;
      accumulate_ref(cur.data(), pitch, comp.data(), bw, bh, offset, 0.75f, low, high, acc1.data(),
                     w1.data());
      accumulate_sse2(cur.data(), pitch, comp.data(), bw, bh, offset, 0.75f, low, high, acc2.data(),
                      w2.data());
      EXPECT_TRUE(same_bits(acc1.data(), acc2.data(), acc1.size()));
      EXPECT_TRUE(same_bits(w1.data(), w2.data(), w1.size()));
      if (detect_simd_level() >= simd_avx2) {
        std::vector<float> acc3 = acc2, w3 = w2;
        accumulate_ref(cur.data(), pitch, comp.data(), bw, bh, offset, 0.75f, low, high,
                       acc1.data(), w1.data());
        accumulate_avx2(cur.data(), pitch, comp.data(), bw, bh, offset, 0.75f, low, high,
                        acc3.data(), w3.data());
        EXPECT_TRUE(same_bits(acc1.data(), acc3.data(), acc1.size())) << bw << "x" << bh;
        EXPECT_TRUE(same_bits(w1.data(), w3.data(), w1.size())) << bw << "x" << bh;
      }
    }
  }
}

// A block's start and end: its start at every block width and height at an
// odd pitch, rows of the mean of every length up to 20 (the SIMD part and the
// rest), and the cells' shares of 1 to 6 cells side by side, on weight sums
// from 1 up to the largest a window gives and of widely different sizes
// (where the order of the sum shows).
TEST(StrongKernels, BlockStartAndEndMatchTheReference) {
  if (detect_simd_level() < simd_sse2) GTEST_SKIP() << "no SSE2";
  const std::vector<float> cur = random_floats(23 * 16, -20.0f, 300.0f);
  for (int bw : {4, 8, 16})
    for (int bh : {4, 8, 16}) {
      std::vector<float> a1(bw * bh, -1.0f), w1(bw * bh, -1.0f), a2 = a1, w2 = w1;
      block_start_ref(cur.data(), 23, bw, bh, a1.data(), w1.data());
      block_start_sse2(cur.data(), 23, bw, bh, a2.data(), w2.data());
      EXPECT_TRUE(same_bits(a1.data(), a2.data(), a1.size())) << bw << "x" << bh;
      EXPECT_TRUE(same_bits(w1.data(), w2.data(), w1.size())) << bw << "x" << bh;
    }
  for (int round = 0; round < 20; ++round) {
    const std::vector<float> acc = random_floats(24, -300.0f, 3000.0f);
    std::vector<float> weight = random_floats(24, 1.0f, round % 2 ? 9.0f : 1.0e6f);
    weight[3] = 1.0f;
    weight[5] = 1.0e-30f;
    for (int n = 0; n <= 20; ++n) {
      std::vector<float> o1(n + 1, 7.0f), v1(n + 1, 7.0f), o2 = o1, v2 = v1;
      block_finish_row_ref(acc.data(), weight.data(), n, o1.data(), v1.data());
      block_finish_row_sse2(acc.data(), weight.data(), n, o2.data(), v2.data());
      ASSERT_TRUE(same_bits(o1.data(), o2.data(), n + 1)) << n;
      ASSERT_TRUE(same_bits(v1.data(), v2.data(), n + 1)) << n;
    }
    const int bw = 24;
    std::vector<float> weights = random_floats(bw * 4, 1.0f, 9.0f);
    for (size_t i = round; i < weights.size(); i += 7) weights[i] = round % 3 ? 3.0e7f : 1.0e-3f;
    for (int cells = 1; cells <= 6; ++cells) {
      std::vector<float> s1(cells, 0.0f), s2(cells, 0.0f);
      cell_shares_ref(weights.data(), bw, cells, s1.data());
      cell_shares_sse2(weights.data(), bw, cells, s2.data());
      ASSERT_TRUE(same_bits(s1.data(), s2.data(), cells)) << cells;
    }
  }
}

TEST(StrongKernels, SpatialRowKernelsMatchTheReference) {
  if (detect_simd_level() < simd_sse2) GTEST_SKIP() << "no SSE2";
  const bool avx2 = detect_simd_level() >= simd_avx2;
  for (int w : {1, 3, 4, 7, 8, 12, 15, 16, 33, 720}) {
    for (int round = 0; round < 6; ++round) {
      const float range = round == 5 ? 1.0e6f : 255.0f;
      std::vector<float> rows_data = random_floats(size_t(5) * w, 0, range);
      // Flat stretches, where the variance is (about) zero.
      if (round == 4) std::fill(rows_data.begin(), rows_data.end(), 77.0f);
      const float* rows[5];
      for (int k = 0; k < 5; ++k) rows[k] = rows_data.data() + size_t(k) * w;
      std::vector<float> s1(w + 4), q1(w + 4), s2(w + 4), q2(w + 4);
      column_sums_ref(rows, w, s1.data() + 2, q1.data() + 2);
      column_sums_sse2(rows, w, s2.data() + 2, q2.data() + 2);
      EXPECT_TRUE(same_bits(s1.data() + 2, s2.data() + 2, w)) << w;
      EXPECT_TRUE(same_bits(q1.data() + 2, q2.data() + 2, w)) << w;
      std::vector<float> weight = random_floats(w, 1.0f, 9.0f), o1(w), o2(w);
      const float noise = round % 2 ? 25.0f : 0.5f;
      lee_row_ref(s1.data(), q1.data(), rows[2], weight.data(), w, noise, o1.data());
      lee_row_sse2(s1.data(), q1.data(), rows[2], weight.data(), w, noise, o2.data());
      EXPECT_TRUE(same_bits(o1.data(), o2.data(), w)) << w;
      if (!avx2) continue;
      std::vector<float> s3(w + 4), q3(w + 4), o3(w);
      column_sums_avx2(rows, w, s3.data() + 2, q3.data() + 2);
      EXPECT_TRUE(same_bits(s1.data() + 2, s3.data() + 2, w)) << w;
      EXPECT_TRUE(same_bits(q1.data() + 2, q3.data() + 2, w)) << w;
      lee_row_avx2(s1.data(), q1.data(), rows[2], weight.data(), w, noise, o3.data());
      EXPECT_TRUE(same_bits(o1.data(), o3.data(), w)) << w;
    }
  }
}

// Every slot at every level: the scalar versions, then SSE2 from level 1 and
// the AVX2 versions at level 3; and the level the command line chooses
// selects the SIMD versions this processor runs.
// The conversions: every length up to 50 at every start within 16 bytes
// (the SIMD part, the rest and unaligned rows); random samples, the halves
// between code values and just beside them, both ends of the range and
// beyond, infinities and not-a-number; scales of 1 and 4 (10-bit output).
TEST(StrongKernels, ConversionsMatchTheReference) {
  if (detect_simd_level() < simd_sse2) GTEST_SKIP() << "no SSE2";
  const std::vector<uint8_t> bytes = random_bytes(80, 0);
  std::vector<float> samples = random_floats(80, -40.0f, 300.0f);
  const float inf = std::numeric_limits<float>::infinity();
  const float specials[] = {-0.5f, -0.0f, 0.0f, 0.49999997f, 0.5f, 1.5f, 2.5f, 127.5f,
                            254.49998f, 254.5f, 255.0f, 255.49998f, 255.5f, 256.0f, 1e9f,
                            -1e9f, inf, -inf, std::numeric_limits<float>::quiet_NaN()};
  for (size_t i = 0; i < sizeof specials / sizeof specials[0]; ++i)
    samples[3 * i + 1] = specials[i];
  for (int start = 0; start < 16; ++start)
    for (int n = 0; n <= 50; ++n) {
      std::vector<float> a(n + 1, -7.0f), b(n + 1, -7.0f);
      u8_to_float_ref(bytes.data() + start, n, a.data());
      u8_to_float_sse2(bytes.data() + start, n, b.data());
      ASSERT_TRUE(same_bits(a.data(), b.data(), n + 1)) << "start " << start << ", n " << n;
      for (const float scale : {1.0f, 4.0f}) {
        std::vector<uint8_t> c(n + 1, 77), d(n + 1, 77);
        float_to_u8_ref(samples.data() + start, n, scale, 255.0f, c.data());
        float_to_u8_sse2(samples.data() + start, n, scale, 255.0f, d.data());
        ASSERT_EQ(c, d) << "start " << start << ", n " << n << ", scale " << scale;
      }
    }
  // What the reference gives: the nearest code value, halves up, clamped.
  const float in[] = {-3.0f, 0.4f, 0.5f, 254.5f, 300.0f, std::numeric_limits<float>::quiet_NaN()};
  uint8_t out[6];
  float_to_u8_ref(in, 6, 1.0f, 255.0f, out);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 6), (std::vector<uint8_t>{0, 0, 1, 255, 255, 0}));
}

TEST(StrongKernels, SelectionFollowsTheLevel) {
  auto expect_slots = [](int level, bool sse2, bool avx2) {
    strong_select_kernels(level);
    const strong_kernel_table& k = strong_kernels;
    EXPECT_EQ(k.u8_to_float, sse2 ? &u8_to_float_sse2 : &u8_to_float_ref);
    EXPECT_EQ(k.float_to_u8, sse2 ? &float_to_u8_sse2 : &float_to_u8_ref);
    EXPECT_EQ(k.ssd16, avx2 ? &block_ssd16_avx2 : sse2 ? &block_ssd16_sse2 : &block_ssd16_ref);
    EXPECT_EQ(k.sad8, sse2 ? &block_sad8_sse2 : &block_sad8_ref);
    EXPECT_EQ(k.sad4, sse2 ? &block_sad4_sse2 : &block_sad4_ref);
    EXPECT_EQ(k.sad4_row,
              avx2 ? &block_sad4_row_avx2 : sse2 ? &block_sad4_row_sse2 : &block_sad4_row_ref);
    EXPECT_EQ(k.interp_rows,
              avx2 ? &interp_rows_avx2 : sse2 ? &interp_rows_sse2 : &interp_rows_ref);
    EXPECT_EQ(k.interp_columns,
              avx2 ? &interp_columns_avx2 : sse2 ? &interp_columns_sse2 : &interp_columns_ref);
    EXPECT_EQ(k.diff_sums, sse2 ? &block_diff_sums_sse2 : &block_diff_sums_ref);
    EXPECT_EQ(k.accumulate, avx2 ? &accumulate_avx2 : sse2 ? &accumulate_sse2 : &accumulate_ref);
    EXPECT_EQ(k.block_start, sse2 ? &block_start_sse2 : &block_start_ref);
    EXPECT_EQ(k.block_finish_row, sse2 ? &block_finish_row_sse2 : &block_finish_row_ref);
    EXPECT_EQ(k.cell_shares, sse2 ? &cell_shares_sse2 : &cell_shares_ref);
    EXPECT_EQ(k.column_sums,
              avx2 ? &column_sums_avx2 : sse2 ? &column_sums_sse2 : &column_sums_ref);
    EXPECT_EQ(k.lee_row, avx2 ? &lee_row_avx2 : sse2 ? &lee_row_sse2 : &lee_row_ref);
    EXPECT_EQ(k.dct8_forward,
              avx2 ? &dct8_forward_avx2 : sse2 ? &dct8_forward_sse2 : &dct8_forward_ref);
    EXPECT_EQ(k.dct8_inverse,
              avx2 ? &dct8_inverse_avx2 : sse2 ? &dct8_inverse_sse2 : &dct8_inverse_ref);
    EXPECT_EQ(k.aggregate8, avx2 ? &aggregate8_avx2 : sse2 ? &aggregate8_sse2 : &aggregate8_ref);
    EXPECT_EQ(k.shrink_threshold, sse2 ? &shrink_threshold_sse2 : &shrink_threshold_ref);
    EXPECT_EQ(k.shrink_wiener, sse2 ? &shrink_wiener_sse2 : &shrink_wiener_ref);
    EXPECT_EQ(k.shrink_threshold_shaped,
              sse2 ? &shrink_threshold_shaped_sse2 : &shrink_threshold_shaped_ref);
    EXPECT_EQ(k.shrink_wiener_shaped,
              sse2 ? &shrink_wiener_shaped_sse2 : &shrink_wiener_shaped_ref);
    EXPECT_EQ(k.block_energies,
              avx2 ? &block_energies_avx2 : sse2 ? &block_energies_sse2 : &block_energies_ref);
    EXPECT_EQ(k.difference_bins,
              avx2 ? &difference_bins_avx2 : sse2 ? &difference_bins_sse2 : &difference_bins_ref);
  };
  expect_slots(simd_ref, false, false);
  expect_slots(simd_sse2, true, false);
  expect_slots(simd_sse3, true, false);
  expect_slots(simd_avx2, true, true);
  force_kernel_level(-1);
  const int top = usable_kernel_level();
  EXPECT_EQ(top, detect_simd_level());
  expect_slots(top, top >= simd_sse2, top >= simd_avx2);
  force_kernel_level(simd_sse2);
  EXPECT_EQ(usable_kernel_level(), std::min(top, int(simd_sse2)));
  force_kernel_level(-1);
  strong_select_kernels(simd_ref);
}

// The 2-D transforms: random blocks at odd pitches (unaligned rows), extremes
// of both signs, denormals and zeros of both signs, each SIMD version against
// the scalar one; forward then inverse gives the block back to within
// rounding, and the forward one agrees with the DCT's definition.
TEST(StrongKernels, TransformsMatchTheReference) {
  if (detect_simd_level() < simd_sse2) GTEST_SKIP() << "no SSE2";
  const bool avx2 = detect_simd_level() >= simd_avx2;
  const float tiny = std::numeric_limits<float>::denorm_min();
  for (int pitch : {8, 9, 13}) {
    for (int round = 0; round < 44; ++round) {
      std::vector<float> in = random_floats(size_t(pitch) * 8 + 8, -300.0f, 300.0f);
      if (round == 38) std::fill(in.begin(), in.end(), 1.0e30f);
      if (round == 39)
        for (size_t i = 0; i < in.size(); ++i) in[i] = i % 3 ? -1.0e30f : 255.0f;
      if (round == 40)  // sums and differences that overflow
        for (size_t i = 0; i < in.size(); ++i) in[i] = i % 2 ? 3.0e38f : -3.0e38f;
      if (round == 41)
        for (size_t i = 0; i < in.size(); ++i) in[i] = float(int(i % 5) - 2) * tiny;
      if (round == 42)
        for (size_t i = 0; i < in.size(); ++i) in[i] = i % 2 ? 0.0f : -0.0f;
      if (round == 43)  // products that fall to denormals
        for (size_t i = 0; i < in.size(); ++i) in[i] *= 1.0e-37f;
      const int off = round % 4;
      for (bool inverse : {false, true}) {
        float want[64], got[64];
        (inverse ? dct8_inverse_ref : dct8_forward_ref)(in.data() + off, pitch, want);
        (inverse ? dct8_inverse_sse2 : dct8_forward_sse2)(in.data() + off, pitch, got);
        EXPECT_TRUE(same_bits(want, got, 64)) << "sse2 " << inverse << " " << pitch << " " << round;
        if (avx2) {
          (inverse ? dct8_inverse_avx2 : dct8_forward_avx2)(in.data() + off, pitch, got);
          EXPECT_TRUE(same_bits(want, got, 64)) << "avx2 " << inverse << " " << pitch << " " << round;
        }
      }
    }
  }
  std::vector<float> block = random_floats(64, 0.0f, 255.0f);
  float c[64], back[64];
  dct8_forward_ref(block.data(), 8, c);
  dct8_inverse_ref(c, 8, back);
  for (int i = 0; i < 64; ++i) EXPECT_NEAR(back[i], block[i], 1.0e-3f);
  // Coefficient (u, v) at v * 8 + u: the sum over the block of the sample at
  // row y, column x times the basis functions of frequency u down the rows
  // and v along them.
  for (int u = 0; u < 8; ++u)
    for (int v = 0; v < 8; ++v) {
      double sum = 0;
      for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
          sum += block[y * 8 + x] * (u ? 0.5 : std::sqrt(0.125)) * std::cos((2 * y + 1) * u * M_PI / 16) *
                 (v ? 0.5 : std::sqrt(0.125)) * std::cos((2 * x + 1) * v * M_PI / 16);
      EXPECT_NEAR(c[v * 8 + u], sum, 2.0e-3) << u << " " << v;
    }
}

// The two shrinkages and the aggregation: random coefficients around the
// thresholds, zeros of both signs, huge values, a zero pilot (gain 0) and a
// zero noise.
TEST(StrongKernels, ShrinkagesAndAggregationMatchTheReference) {
  if (detect_simd_level() < simd_sse2) GTEST_SKIP() << "no SSE2";
  const bool avx2 = detect_simd_level() >= simd_avx2;
  for (int round = 0; round < 40; ++round) {
    std::vector<float> c = random_floats(64, -40.0f, 40.0f), pilot = random_floats(64, -60.0f, 60.0f);
    if (round == 36) std::fill(c.begin(), c.end(), -0.0f);
    if (round == 37)
      for (size_t i = 0; i < c.size(); ++i) c[i] = i % 2 ? 3.0e38f : -3.0e38f;
    if (round == 38) std::fill(pilot.begin(), pilot.end(), 0.0f);
    const float deviation = round % 3 == 0 ? 0.5f : 5.0f;
    std::vector<float> a = c, b = c;
    const float ga = shrink_threshold_ref(a.data(), 2.2f * deviation, 1.0f / deviation);
    const float gb = shrink_threshold_sse2(b.data(), 2.2f * deviation, 1.0f / deviation);
    EXPECT_TRUE(same_bits(&ga, &gb, 1)) << round;
    EXPECT_TRUE(same_bits(a.data(), b.data(), 64)) << round;
    EXPECT_TRUE(same_bits(a.data(), c.data(), 1)) << "the mean is kept";
    a = c;
    b = c;
    std::vector<float> sums = random_floats(24, 0.0f, 1.0e4f), sums2 = sums, sums3 = sums;
    aggregate8_ref(c.data() + round % 5, deviation, 0.25f, sums.data(), sums.data() + 8,
                   sums.data() + 16);
    aggregate8_sse2(c.data() + round % 5, deviation, 0.25f, sums2.data(), sums2.data() + 8,
                    sums2.data() + 16);
    EXPECT_TRUE(same_bits(sums.data(), sums2.data(), 24)) << round;
    if (avx2) {
      // The running sums at odd offsets too, as the pass's rows are.
      const int at = round % 3;
      std::vector<float> want(27), got(27);
      std::copy(sums3.begin(), sums3.end(), want.begin() + at);
      got = want;
      aggregate8_ref(c.data() + round % 5, deviation, 0.25f, want.data() + at,
                     want.data() + at + 8, want.data() + at + 16);
      aggregate8_avx2(c.data() + round % 5, deviation, 0.25f, got.data() + at,
                      got.data() + at + 8, got.data() + at + 16);
      EXPECT_TRUE(same_bits(want.data(), got.data(), 27)) << round;
    }
    const float noise = round == 39 ? 0.0f : deviation * deviation;
    const float wa = shrink_wiener_ref(a.data(), pilot.data(), noise);
    const float wb = shrink_wiener_sse2(b.data(), pilot.data(), noise);
    EXPECT_TRUE(same_bits(&wa, &wb, 1)) << round;
    EXPECT_TRUE(same_bits(a.data(), b.data(), 64)) << round;
    // The shaped ones, for the box's shape and for random shapes from a
    // hundredth to a hundred times the mean.
    dct8_noise_shape shape;
    dct8_noise_shape_for(2.33f, &shape);
    if (round % 2) {
      const std::vector<float> var = random_floats(64, 0.01f, 100.0f);
      for (int i = 0; i < 64; ++i) {
        shape.var[i] = var[size_t(i)];
        shape.dev[i] = std::sqrt(var[size_t(i)]);
        shape.inv_dev[i] = 1.0f / shape.dev[i];
      }
    }
    a = c;
    b = c;
    const float low = 2.2f * deviation, inv_span = 1.0f / deviation;
    const float sa = shrink_threshold_shaped_ref(a.data(), low, inv_span, &shape);
    const float sb = shrink_threshold_shaped_sse2(b.data(), low, inv_span, &shape);
    EXPECT_TRUE(same_bits(&sa, &sb, 1)) << round;
    EXPECT_TRUE(same_bits(a.data(), b.data(), 64)) << round;
    EXPECT_TRUE(same_bits(a.data(), c.data(), 1)) << "the mean is kept";
    a = c;
    b = c;
    const float va = shrink_wiener_shaped_ref(a.data(), pilot.data(), noise, &shape);
    const float vb = shrink_wiener_shaped_sse2(b.data(), pilot.data(), noise, &shape);
    EXPECT_TRUE(same_bits(&va, &vb, 1)) << round;
    EXPECT_TRUE(same_bits(a.data(), b.data(), 64)) << round;
  }
}

// The shape of blurred noise over the coefficients: the variances the
// transform gives the model's correlations (computed here from the DCT's
// cosines in double), 64 in all as for white noise; white for a ratio of 1
// and below, and the box's kernel where the ratio is beyond the family.
TEST(StrongKernels, BlurredNoiseShapeIsTheModelsSpectrum) {
  for (float ratio : {0.5f, 1.0f, 1.5f, 2.0f, 2.33f, 3.0f}) {
    dct8_noise_shape shape;
    dct8_noise_shape_for(ratio, &shape);
    const noise_blur b = noise_blur_for(ratio);
    const double r[8] = {1.0, b.r1, b.r2, 0, 0, 0, 0, 0};
    // The coarse level the kernel gives is the ratio, up to the family's top.
    EXPECT_NEAR((4.0 + 6.0 * b.r1 + 4.0 * b.r2) / 4.0,
                std::min(std::max(double(ratio), 1.0), 2.3396), 1e-6) << ratio;
    double line[8], total = 0;
    for (int u = 0; u < 8; ++u) {
      line[u] = 0;
      for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 8; ++j)
          line[u] += (u ? 0.5 : std::sqrt(0.125)) * std::cos((2 * i + 1) * u * M_PI / 16) *
                     (u ? 0.5 : std::sqrt(0.125)) * std::cos((2 * j + 1) * u * M_PI / 16) *
                     r[std::abs(i - j)];
    }
    for (int u = 0; u < 8; ++u)
      for (int v = 0; v < 8; ++v) {
        const int i = u * 8 + v;
        EXPECT_NEAR(shape.var[i], line[u] * line[v], 2e-5 * (1 + line[u] * line[v])) << ratio;
        EXPECT_NEAR(shape.dev[i] * shape.inv_dev[i], 1.0f, 1e-6f);
        EXPECT_NEAR(shape.dev[i] * shape.dev[i], shape.var[i], 1e-5f * shape.var[i]);
        total += shape.var[i];
      }
    EXPECT_NEAR(total, 64.0, 1e-3) << ratio;
    if (ratio <= 1.0f) {
      EXPECT_NEAR(shape.var[9], 1.0f, 1e-6f);
    }
    if (ratio >= 2.33f) {
      // Most of the noise in the lowest coefficients, little in the highest.
      EXPECT_GT(shape.var[0], 6.5f);
      EXPECT_LT(shape.var[63], 0.05f);
    }
  }
}
