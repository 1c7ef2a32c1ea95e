// The four-line split, merge and synthesis (scalar and SIMD) against the line
// kernels, lane by lane, bit for bit, at the column lengths of the stage.
#include "analysis/band_split.h"
#include "analysis/columns_x4.h"
#include "kernel_check.h"
#include "temporal/synthesize_level.h"

namespace {
// Four seeded lines of n values, and the same as one four-line buffer.
struct four_lines {
  std::vector<aligned_line> line;
  aligned_line rows;
  four_lines(int n, uint32_t seed) : rows(4 * (size_t)n) {
    for (int c = 0; c < 4; ++c) {
      line.emplace_back(n);
      fill_edge_values(line[c].data(), n, seed * 4 + c, mix_for(seed));
      for (int r = 0; r < n; ++r) rows[4 * r + c] = line[c][r];
    }
  }
};

::testing::AssertionResult lane_matches(const aligned_line& rows, int c, const aligned_line& want,
                                        int count, uint32_t seed, const char* what) {
  aligned_line got(count);
  for (int r = 0; r < count; ++r) got[r] = rows[4 * r + c];
  return same_bits(want.data(), got.data(), count, seed, what);
}
}  // namespace

TEST(columns_x4, split_merge_and_synthesis_match_the_line_kernels) {
  const band_split_x4_fn split[2] = {band_split_x4_ref, band_split_x4_sse2};
  const low_merge_x4_fn merge[2] = {low_merge_x4_ref, low_merge_x4_sse2};
  const synthesize_x4_fn synth[2] = {synthesize_x4_ref, synthesize_x4_sse2};
  for (int n : {16, 64, 72, 128, 144, 256, 288, 512, 576, 1152}) {
    for (uint32_t seed = 1; seed <= 3; ++seed) {
      four_lines in(n, seed * 100 + n), hb(n, seed * 300 + n);
      for (int v = 0; v < 2; ++v) {
        aligned_line a(4 * n), b(4 * n, -9.0f), merged(2 * n), out(8 * n);
        split[v](n, in.rows.data(), a.data(), b.data());
        merge[v](in.rows.data(), n / 2, merged.data());
        synth[v](in.rows.data(), hb.rows.data(), n / 2, out.data());
        for (int c = 0; c < 4; ++c) {
          aligned_line la(n), lb(n, -9.0f), lm(n / 2), ls(n);
          band_split_ref(n, in.line[c].data(), la.data(), lb.data());
          low_merge_ref(in.line[c].data(), n / 2, lm.data());
          synthesize_level_ref(in.line[c].data(), hb.line[c].data(), n / 2, ls.data());
          ASSERT_TRUE(lane_matches(a, c, la, n, seed, v ? "simd split a" : "ref split a"));
          ASSERT_TRUE(lane_matches(b, c, lb, n, seed, v ? "simd split b" : "ref split b"));
          ASSERT_TRUE(lane_matches(merged, c, lm, n / 2, seed, v ? "simd merge" : "ref merge"));
          ASSERT_TRUE(lane_matches(out, c, ls, n, seed, v ? "simd synthesis" : "ref synthesis"));
        }
      }
    }
  }
}
