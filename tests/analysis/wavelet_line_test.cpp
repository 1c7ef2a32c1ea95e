// Split, merge and synthesis of one line: coefficient tables, the known
// rounding, the frame properties, the synthesis kernels against the scalar
// one bit for bit, and the kernels each level selects.
#include <cmath>
#include <string>

#include "analysis/analysis.h"
#include "analysis/analysis_kernels.h"
#include "analysis/band_split.h"
#include "host/cpu.h"
#include "kernel_check.h"
#include "temporal/temporal_kernels.h"

namespace {
const long double r3 = std::sqrt(3.0L), r2 = std::sqrt(2.0L);
const long double h[4] = {(1 + r3) / (4 * r2), (3 + r3) / (4 * r2), (3 - r3) / (4 * r2), (1 - r3) / (4 * r2)};
// u and v at offsets -2 .. 3 (zero outside -1 .. 2).
const long double u[6] = {0, -1 / 16.0L, 9 / 16.0L, 9 / 16.0L, -1 / 16.0L, 0};
const long double v[6] = {0, -(2 + r3) / 16, (6 + r3) / 16, -(6 - r3) / 16, (2 - r3) / 16, 0};

uint32_t rounded(long double x) { return float_bits((float)x); }
}  // namespace

TEST(WaveletTables, AreTheExactFiltersRoundedOnce) {
  for (int j = 0; j < 10; ++j) {  // h convolved with u, v spread over even positions
    long double l = 0, a = 0;
    for (int i = 0; i < 4; ++i) {
      if ((j - i) % 2 == 0 && j - i >= 0 && j - i <= 6) {
        l += h[i] * u[4 - (j - i) / 2];
        a += h[i] * v[4 - (j - i) / 2];
      }
    }
    EXPECT_EQ(rounded(l), float_bits(split_low[j])) << j;
    EXPECT_EQ(rounded(a), float_bits(split_high_a[j])) << j;
  }
  for (int o = 0; o < 5; ++o) {  // folded synthesis taps, o = -2 .. 2
    EXPECT_EQ(rounded(h[0] * u[o] + h[2] * u[o + 1]), float_bits(synth_low_even[o])) << o;
    EXPECT_EQ(rounded(h[1] * u[o] + h[3] * u[o + 1]), float_bits(synth_low_odd[o])) << o;
    EXPECT_EQ(rounded(h[0] * v[o] + h[2] * v[o + 1]), float_bits(synth_high_a_even[o])) << o;
    EXPECT_EQ(rounded(h[1] * v[o] + h[3] * v[o + 1]), float_bits(synth_high_a_odd[o])) << o;
  }
  for (int j = 0; j < 4; ++j) {
    EXPECT_EQ(rounded(j % 2 ? -h[3 - j] : h[3 - j]), float_bits(split_high_b[j])) << j;
    EXPECT_EQ(rounded(h[j]), float_bits(d4_h[j])) << j;
    EXPECT_EQ(rounded(u[j + 1]), float_bits(merge_low[j])) << j;
    EXPECT_EQ(rounded(v[j + 1]), float_bits(merge_high_a[j])) << j;
  }
  EXPECT_EQ(float_bits(split_low[0]), 0xbcf746eau);  // pin the published bits too
  EXPECT_EQ(float_bits(merge_high_a[0]), 0xbe6ed9ecu);
}

TEST(WaveletRounding, RampGivesTheKnownBits) {
  aligned_line x(64), a(64), b(64), merged(32);
  for (int j = 0; j < 64; ++j) x[j] = (float)j;
  band_split_ref(64, x.data(), a.data(), b.data());
  EXPECT_EQ(float_bits(a[2]), 0x40a47476u);
  EXPECT_EQ(float_bits(a[34]), 0x34900000u);
  EXPECT_EQ(float_bits(a[0]), 0x42254e9bu);  // window wraps to x[60..63]
  EXPECT_EQ(float_bits(a[32]), 0xc1a814bfu);
  EXPECT_EQ(b[32], 0.0f);
  EXPECT_EQ(b[34], 0.0f);
  low_merge_ref(a.data(), 32, merged.data());
  EXPECT_EQ(float_bits(merged[0]), 0x3f65860du);
  EXPECT_EQ(float_bits(merged[5]), 0x41709e8fu);
  // The merge sums from +0: with every product of output 5 a -0 the result is +0.
  aligned_line z(32);
  const float l_zeros[4] = {0.0f, -0.0f, -0.0f, 0.0f}, ha_zeros[4] = {0.0f, -0.0f, 0.0f, -0.0f};
  for (int o = 0; o < 4; ++o) z[4 + o] = l_zeros[o], z[20 + o] = ha_zeros[o];
  low_merge_ref(z.data(), 16, merged.data());
  EXPECT_EQ(float_bits(merged[5]), 0u);
}

TEST(WaveletProperties, SplitKeepsEnergyAndSynthesisOrMergeUndoIt) {
  for (int n : {64, 512, 1984}) {
    const int m = n / 2;
    aligned_line x(n), a(n), b(n), y(n), merged(m);
    fill_edge_values(x.data(), n, 11 + n, plain_values);
    band_split_ref(n, x.data(), a.data(), b.data());
    temporal_kernels.synthesize_level(a.data(), b.data(), m, y.data());
    low_merge_ref(a.data(), m, merged.data());
    double peak = 0, ex = 0, eb = 0;
    for (int j = 0; j < n; ++j) peak = std::fmax(peak, std::fabs(x[j])), ex += (double)x[j] * x[j];
    for (int j = 0; j < n; ++j) ASSERT_NEAR(y[j], x[j], 1e-6 * peak) << n << " " << j;
    for (int k = 0; k < m; ++k) {
      eb += (double)a[k] * a[k] + (double)a[m + k] * a[m + k] + (double)b[m + k] * b[m + k];
      double low = 0, high = 0;  // the periodic Daubechies-4 bands
      for (int j = 0; j < 4; ++j) {
        low += (double)h[j] * x[(2 * k + j) % n];
        high += (double)split_high_b[j] * x[(2 * k + j) % n];
      }
      ASSERT_NEAR(merged[k], low, 1e-6 * peak) << n << " " << k;
      ASSERT_NEAR(b[m + k], high, 1e-6 * peak) << n << " " << k;
    }
    EXPECT_NEAR(eb / ex, 1.0, 1e-6) << n;
  }
  aligned_line c(256, 37.25f), a(256), b(256);  // a constant line: c sqrt 2 and no detail
  band_split_ref(256, c.data(), a.data(), b.data());
  for (int k = 0; k < 128; ++k) {
    EXPECT_NEAR(a[k], 37.25 * std::sqrt(2.0), 1e-4);
    EXPECT_NEAR(a[128 + k], 0.0, 1e-5);
    EXPECT_NEAR(b[128 + k], 0.0, 1e-5);
  }
}

// Every line length the stage and the temporal filter use, and the shortest
// the synthesis allows; the output carries guard values, and b[0, n) is never
// read (NaN there must not show).
TEST(SynthesisSimd, MatchesScalarBitForBit) {
  std::vector<synthesize_level_fn> simd = {synthesize_level_sse2};
  if (detect_simd_level() >= simd_avx2) simd.push_back(synthesize_level_avx2);
  std::vector<int> lengths = stage_line_lengths(4);
  lengths.insert(lengths.end(), {8, 12, 16, 20, 28, 36});  // the shortest, and n % 8 == 4
  for (int n : lengths) {
    for (uint32_t seed = 1; seed <= 6; ++seed) {
      aligned_line x(2 * n), y(2 * n), want(2 * n + 8, -7.0f);
      fill_edge_values(x.data(), 2 * n, seed * 1000 + n, mix_for(seed));
      fill_edge_values(y.data(), 2 * n, seed * 2000 + n, mix_for(seed));
      synthesize_level_ref(x.data(), y.data(), n, want.data());
      for (int j = 0; j < n; ++j) y[j] = bits_float(0x7fa5a5a5u);
      for (synthesize_level_fn fn : simd) {
        aligned_line got(2 * n + 8, -7.0f);
        fn(x.data(), y.data(), n, got.data());
        ASSERT_TRUE(same_bits(want.data(), got.data(), 2 * n + 8, seed, fn == synthesize_level_sse2 ? "sse2" : "avx2"))
            << "n " << n;
      }
    }
  }
}

namespace {

// The slots of an analysis table that differ from the expected ones, by name.
std::string differing_slots(const analysis_kernel_table& t, const analysis_kernel_table& want) {
  std::string out;
  const auto slot = [&](bool same, const char* name) {
    if (!same) out += std::string(out.empty() ? "" : " ") + name;
  };
  slot(t.column_lanes == want.column_lanes, "column_lanes");
  slot(t.load_block == want.load_block, "load_block");
  slot(t.rows_to_cols == want.rows_to_cols, "rows_to_cols");
  slot(t.band_split_cols == want.band_split_cols, "band_split_cols");
  slot(t.keep_shrink_cols == want.keep_shrink_cols, "keep_shrink_cols");
  slot(t.synthesize_cols == want.synthesize_cols, "synthesize_cols");
  slot(t.low_merge_cols == want.low_merge_cols, "low_merge_cols");
  slot(t.store_block_rows == want.store_block_rows, "store_block_rows");
  slot(t.store_fence == want.store_fence, "store_fence");
  slot(t.ring_store_cols == want.ring_store_cols, "ring_store_cols");
  return out;
}

}  // namespace

TEST(KernelSelection, SimdVersionsFromTheirLevelAndOnThisProcessor) {
  const analysis_kernel_table sse2 = {
      4,                        load_block_x4_sse2, rows_to_cols_x4_sse2,
      band_split_x4_sse2,       keep_shrink_x4_sse2, synthesize_x4_sse2,
      low_merge_x4_sse2,        store_block_rows_x4_sse2, store_fence_sse2,
      ring_store_x4_sse2};
  const analysis_kernel_table avx2 = {
      8,                        load_block_x8_avx2, rows_to_cols_x8_avx2,
      band_split_x8_avx2,       keep_shrink_x8_avx2, synthesize_x8_avx2,
      low_merge_x8_avx2,        store_block_rows_x8_avx2, store_fence_sse2,
      ring_store_x8_avx2};
  const analysis_kernel_table ref = {
      4,                        load_block_x4_ref, rows_to_cols_x4_ref,
      band_split_x4_ref,        keep_shrink_x4_ref, synthesize_x4_ref,
      low_merge_x4_ref,         store_block_rows_x4_ref, store_fence_ref,
      ring_store_x4_ref};
  ASSERT_GE(detect_simd_level(), (int)simd_sse3);
  for (int level : {simd_sse2, simd_sse3}) {
    select_kernels(level);
    EXPECT_EQ(differing_slots(analysis_kernels, sse2), "") << level;
    EXPECT_EQ(temporal_kernels.synthesize_level, synthesize_level_sse2) << level;
  }
  if (detect_simd_level() >= simd_avx2) {
    select_kernels(detect_simd_level());
    EXPECT_EQ(differing_slots(analysis_kernels, avx2), "");
    EXPECT_EQ(temporal_kernels.synthesize_level, synthesize_level_avx2);
  }
  select_kernels(simd_ref);
  EXPECT_EQ(differing_slots(analysis_kernels, ref), "");
  EXPECT_EQ(temporal_kernels.synthesize_level, synthesize_level_ref);
  select_kernels(detect_simd_level());
}
