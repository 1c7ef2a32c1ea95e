// The column-group kernels (four and eight lanes, scalar and SIMD) against the
// line kernels, lane by lane, bit for bit, at the column and row lengths of the
// stage; the transposition into group buffers and the ring stores.
#include "analysis/band_split.h"
#include "analysis/columns.h"
#include "analysis/detail_shrink.h"
#include "analysis/ring_store.h"
#include "host/cpu.h"
#include "kernel_check.h"
#include "temporal/synthesize_level.h"

namespace {
struct cols_version {
  const char* name;
  int lanes;
  band_split_cols_fn split;
  low_merge_cols_fn merge;
  synthesize_cols_fn synth;
  keep_shrink_cols_fn shrink;
  rows_to_cols_fn transpose;
  ring_store_cols_fn store;
  store_block_rows_fn block_rows;
};

// Every version this processor runs.
std::vector<cols_version> cols_versions() {
  std::vector<cols_version> v = {
      {"x4 ref", 4, band_split_x4_ref, low_merge_x4_ref, synthesize_x4_ref, keep_shrink_x4_ref,
       rows_to_cols_x4_ref, ring_store_x4_ref, store_block_rows_x4_ref},
      {"x4 sse2", 4, band_split_x4_sse2, low_merge_x4_sse2, synthesize_x4_sse2,
       keep_shrink_x4_sse2, rows_to_cols_x4_sse2, ring_store_x4_sse2, store_block_rows_x4_sse2},
      {"x8 ref", 8, band_split_x8_ref, low_merge_x8_ref, synthesize_x8_ref, keep_shrink_x8_ref,
       rows_to_cols_x8_ref, ring_store_x8_ref, store_block_rows_x8_ref}};
  if (detect_simd_level() >= simd_avx2) {
    v.push_back({"x8 avx2", 8, band_split_x8_avx2, low_merge_x8_avx2, synthesize_x8_avx2,
                 keep_shrink_x8_avx2, rows_to_cols_x8_avx2, ring_store_x8_avx2,
                 store_block_rows_x8_avx2});
  }
  return v;
}

// `lanes` seeded lines of n values, and the same as one group buffer.
struct group_lines {
  std::vector<aligned_line> line;
  aligned_line rows;
  group_lines(int lanes, int n, uint32_t seed, const std::vector<float>& specials = {})
      : rows((size_t)lanes * n) {
    for (int c = 0; c < lanes; ++c) {
      line.emplace_back(n);
      fill_edge_values(line[c].data(), n, seed * 8 + c, mix_for(seed), specials);
      for (int r = 0; r < n; ++r) rows[(size_t)lanes * r + c] = line[c][r];
    }
  }
};

::testing::AssertionResult lane_matches(const aligned_line& rows, int lanes, int c,
                                        const aligned_line& want, int count, uint32_t seed,
                                        const std::string& what) {
  aligned_line got(count);
  for (int r = 0; r < count; ++r) got[r] = rows[(size_t)lanes * r + c];
  return same_bits(want.data(), got.data(), count, seed, what.c_str());
}
}  // namespace

TEST(ColumnGroups, SplitMergeAndSynthesisMatchTheLineKernels) {
  for (const cols_version& v : cols_versions()) {
    const int L = v.lanes;
    for (int n : {16, 64, 72, 104, 128, 144, 256, 288, 512, 576, 1152, 1984}) {
      for (uint32_t seed = 1; seed <= 3; ++seed) {
        group_lines in(L, n, seed * 100 + n), hb(L, n, seed * 300 + n);
        // Guard rows after every output; the split leaves dst_b rows [0, m) alone.
        aligned_line a(L * (n + 1), -7.0f), b(L * (n + 1), -9.0f), merged(L * (n / 2 + 1), -7.0f),
            out(L * (n + 1), -7.0f);
        v.split(n, in.rows.data(), a.data(), b.data());
        v.merge(in.rows.data(), n / 2, merged.data());
        v.synth(in.rows.data(), hb.rows.data(), n / 2, out.data());
        for (int c = 0; c < L; ++c) {
          aligned_line la(n + 1, -7.0f), lb(n + 1, -9.0f), lm(n / 2 + 1, -7.0f), ls(n + 1, -7.0f);
          band_split_ref(n, in.line[c].data(), la.data(), lb.data());
          low_merge_ref(in.line[c].data(), n / 2, lm.data());
          synthesize_level_ref(in.line[c].data(), hb.line[c].data(), n / 2, ls.data());
          const std::string name = std::string(v.name) + " n " + std::to_string(n);
          ASSERT_TRUE(lane_matches(a, L, c, la, n + 1, seed, name + " split a"));
          ASSERT_TRUE(lane_matches(b, L, c, lb, n + 1, seed, name + " split b"));
          ASSERT_TRUE(lane_matches(merged, L, c, lm, n / 2 + 1, seed, name + " merge"));
          ASSERT_TRUE(lane_matches(out, L, c, ls, n + 1, seed, name + " synthesis"));
        }
      }
    }
  }
}

// keep_shrink against keep_mask + shrink_details per lane, on values biased to
// the limit, the threshold and the floor, with NaN and huge values.
TEST(ColumnGroups, KeepShrinkMatchesMaskThenShrink) {
  const float limit = 20.0f, t = 6.5535998f;
  const std::vector<float> specials = {limit, t, luma_keep_floor, limit / 2, 2 * limit};
  for (const cols_version& v : cols_versions()) {
    const int L = v.lanes;
    for (int m : {4, 8, 32, 36, 72, 124, 576, 992}) {
      for (uint32_t seed = 1; seed <= 6; ++seed) {
        const float floor = seed % 2 ? luma_keep_floor : 0.0f, thr = seed % 3 ? t : 0.0f;
        group_lines a(L, m, seed * 13 + m, specials), b(L, m, seed * 17 + m, specials);
        v.shrink(a.rows.data(), b.rows.data(), m, limit, floor, thr);
        for (int c = 0; c < L; ++c) {
          aligned_line keep(m);
          keep_mask_ref(a.line[c].data(), b.line[c].data(), m, limit, floor, keep.data());
          shrink_details_ref(a.line[c].data(), b.line[c].data(), keep.data(), m, thr);
          const std::string name = std::string(v.name) + " m " + std::to_string(m);
          ASSERT_TRUE(lane_matches(a.rows, L, c, a.line[c], m, seed, name + " A"));
          ASSERT_TRUE(lane_matches(b.rows, L, c, b.line[c], m, seed, name + " B"));
        }
      }
    }
  }
}

// The transposition reads `lanes` lines a stride apart and nothing after n.
TEST(ColumnGroups, RowsToColsTransposesLinesIntoLanes) {
  for (const cols_version& v : cols_versions()) {
    const int L = v.lanes, n = 72, stride = 96;
    aligned_line src((size_t)L * stride, bits_float(0x7fa5a5a5u)), dst((size_t)L * n + 8, -7.0f);
    for (int c = 0; c < L; ++c)
      for (int j = 0; j < n; ++j) src[(size_t)c * stride + j] = (float)(1000 * c + j);
    v.transpose(src.data(), stride, n, dst.data());
    for (int j = 0; j < n; ++j)
      for (int c = 0; c < L; ++c) ASSERT_EQ(dst[(size_t)L * j + c], (float)(1000 * c + j)) << v.name;
    for (int i = 0; i < 8; ++i) ASSERT_EQ(dst[(size_t)L * n + i], -7.0f) << v.name;
  }
}

// Lane c's rows go to its line, whether the lines start on a cache line or
// one to three groups after one, and whether they end on one or not (the
// streaming middle, the plain head and tail); nothing around them changes.
TEST(ColumnGroups, RingStoreWritesEachLaneIntoItsLine) {
  for (const cols_version& v : cols_versions()) {
    for (int head : {0, 1, 2, 3}) {
      for (int n : {4, 12, 16, 28, 64, 72, 124}) {
        const int L = v.lanes, stride = 160;
        group_lines g(L, n, 7 * n + head);
        aligned_line ring((size_t)(L + 1) * stride, -7.0f);
        v.store(g.rows.data(), n, ring.data() + 4 * head, stride);
        store_fence_sse2();
        for (int line = 0; line <= L; ++line) {
          for (int j = 0; j < stride; ++j) {
            const int i = j - 4 * head;
            const float want = line < L && i >= 0 && i < n ? g.line[line][i] : -7.0f;
            ASSERT_EQ(float_bits(ring[(size_t)line * stride + j]), float_bits(want))
                << v.name << " head " << head << " n " << n << " line " << line << " j " << j;
          }
        }
      }
    }
  }
}

// A block's 16 columns go to 16 adjacent floats of every row, on whole cache
// lines (streaming) or across two (plain stores); nothing around them changes.
TEST(ColumnGroups, BlockRowsGoToSixteenAdjacentFloats) {
  for (const cols_version& v : cols_versions()) {
    for (int offset : {16, 24}) {
      const int L = v.lanes, rows = 12, stride = 48;
      std::vector<aligned_line> groups;
      std::vector<const float*> src;
      for (int g = 0; g < 16 / L; ++g) {
        groups.emplace_back((size_t)L * rows);
        for (int i = 0; i < L * rows; ++i) groups[g][i] = (float)(1000 * g + i);
      }
      for (const aligned_line& g : groups) src.push_back(g.data());
      aligned_line dst((size_t)rows * stride, -7.0f);
      v.block_rows(src.data(), rows, dst.data() + offset, stride);
      store_fence_sse2();
      for (int r = 0; r < rows; ++r) {
        for (int j = 0; j < stride; ++j) {
          const int i = j - offset;
          const float want = i >= 0 && i < 16 ? groups[i / L][L * r + i % L] : -7.0f;
          ASSERT_EQ(dst[(size_t)r * stride + j], want) << v.name << " offset " << offset << " row " << r;
        }
      }
    }
  }
}
