// Keep mask and shrinkage: the protection rules at their exact boundaries and
// the replicated ends, for the line kernels and for every column-group
// version (the same line in every lane).
#include "analysis/columns.h"
#include "analysis/detail_shrink.h"
#include "host/cpu.h"
#include "kernel_check.h"

namespace {
struct shrink_version {
  const char* name;
  int lanes;                  // 0: the line kernels
  keep_shrink_cols_fn fused;  // the column-group version
};

std::vector<shrink_version> shrink_versions() {
  std::vector<shrink_version> v = {{"line", 0, nullptr},
                                   {"x4 ref", 4, keep_shrink_x4_ref},
                                   {"x4 sse2", 4, keep_shrink_x4_sse2},
                                   {"x8 ref", 8, keep_shrink_x8_ref}};
  if (detect_simd_level() >= simd_avx2) v.push_back({"x8 avx2", 8, keep_shrink_x8_avx2});
  return v;
}

// Mask then shrinkage of a and b in place (limit M, floor V, threshold T); the
// column-group versions must give the same in every lane.
void run(const shrink_version& v, aligned_line& a, aligned_line& b, float limit, float floor,
         float t) {
  const int m = (int)a.n;
  if (v.lanes == 0) {
    aligned_line keep(m);
    keep_mask_ref(a.data(), b.data(), m, limit, floor, keep.data());
    shrink_details_ref(a.data(), b.data(), keep.data(), m, t);
    return;
  }
  const int L = v.lanes;
  aligned_line ga((size_t)L * m), gb((size_t)L * m);
  for (int j = 0; j < m; ++j)
    for (int c = 0; c < L; ++c) ga[(size_t)L * j + c] = a[j], gb[(size_t)L * j + c] = b[j];
  v.fused(ga.data(), gb.data(), m, limit, floor, t);
  for (int j = 0; j < m; ++j) {
    for (int c = 1; c < L; ++c) {
      ASSERT_EQ(float_bits(ga[(size_t)L * j + c]), float_bits(ga[(size_t)L * j])) << v.name << " lane " << c;
      ASSERT_EQ(float_bits(gb[(size_t)L * j + c]), float_bits(gb[(size_t)L * j])) << v.name << " lane " << c;
    }
    a[j] = ga[(size_t)L * j], b[j] = gb[(size_t)L * j];
  }
}
}  // namespace

TEST(DetailShrinkRules, BoundariesFloorNeighboursAndNan) {
  for (const shrink_version& v : shrink_versions()) {
    aligned_line a(32, 1.0f), b(32, 1.0f);  // above the floor, below T, flat
    a[4] = 12.0f, b[4] = 2.0f;    // |A| = M exactly: protected, shields B
    a[9] = -3.0f, b[9] = 3.5f;    // |A| = T exactly, unprotected: +0; B above T stays
    a[14] = 0.3f, b[14] = 2.5f;   // below the floor: shields B (luma outside anime mode)
    a[20] = 25.0f;                // large: its neighbours' |D| = 24 >= M
    a[26] = bits_float(0x7fc01234u);  // NaN: unordered against M counts as protected
    run(v, a, b, 12.0f, 0.4f, 3.0f);
    EXPECT_EQ(a[4], 12.0f) << v.name;
    EXPECT_EQ(b[4], 2.0f) << v.name;
    EXPECT_EQ(float_bits(a[9]), 0u) << v.name;
    EXPECT_EQ(b[9], 3.5f) << v.name;
    EXPECT_EQ(a[14], 0.3f) << v.name;
    EXPECT_EQ(b[14], 2.5f) << v.name;
    EXPECT_EQ(float_bits(a[26]), 0x7fc01234u) << v.name;
    for (int j : {19, 20, 21, 25, 26, 27}) EXPECT_EQ(b[j], 1.0f) << v.name << " " << j;
    for (int j : {0, 3, 7, 31}) {
      EXPECT_EQ(a[j], 0.0f) << v.name << " " << j;
      EXPECT_EQ(b[j], 0.0f) << v.name << " " << j;
    }
    aligned_line c(32, 1.0f), d(32);  // no floor (anime mode, chroma): the same B is cleared
    c[20] = 0.3f, d[20] = 2.5f;
    run(v, c, d, 12.0f, 0.0f, 3.0f);
    EXPECT_EQ(d[20], 0.0f) << v.name;
  }
}

TEST(DetailShrinkRules, EndsReplicateAndAZeroSettingKeepsAll) {
  for (const shrink_version& v : shrink_versions()) {
    aligned_line a(8), b(8, 1.0f);
    a[0] = 10.0f, a[1] = 1.0f, a[7] = -100.0f;  // j = 0: A0 - A1 = 9; a wrap would see A7
    run(v, a, b, 10.5f, 0.0f, 2.0f);
    EXPECT_EQ(b[0], 0.0f) << v.name;
    EXPECT_EQ(b[6], 1.0f) << v.name;
    aligned_line c(8), e(8, 1.0f);
    c[0] = 70.0f;  // j = 7: A7 - A6 = 0; a wrap would see A0
    run(v, c, e, 60.0f, 0.0f, 2.0f);
    EXPECT_EQ(e[1], 1.0f) << v.name;
    EXPECT_EQ(e[7], 0.0f) << v.name;
    aligned_line x(64), y(64);  // M = T = 0: |x| >= 0 protects every position
    fill_edge_values(x.data(), 64, 3, plain_values);
    aligned_line x0 = x;
    run(v, x, y, 0.0f, 0.0f, 0.0f);
    EXPECT_TRUE(same_bits(x0.data(), x.data(), 64, 3, "zero setting")) << v.name;
    aligned_line p(4), q(4);  // T = 0 outside the mask acts as 0.0001
    p[0] = 0.0001f, p[1] = 0.00011f, q[2] = -0.00005f;
    run(v, p, q, 1.0f, 0.0f, 0.0f);
    EXPECT_EQ(p[0], 0.0f) << v.name;
    EXPECT_EQ(p[1], 0.00011f) << v.name;
    EXPECT_EQ(float_bits(q[2]), 0u) << v.name;
  }
}
