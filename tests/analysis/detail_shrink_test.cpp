// Keep mask and shrinkage: the protection rules at their exact boundaries, the
// replicated ends, and SIMD against scalar (single lines and four-line rows).
#include "analysis/columns_x4.h"
#include "analysis/detail_shrink.h"
#include "kernel_check.h"

namespace {
struct shrink_version {
  keep_mask_fn keep;
  shrink_details_fn shrink;
};
const shrink_version versions[2] = {{keep_mask_ref, shrink_details_ref}, {keep_mask_sse2, shrink_details_sse2}};

// Mask then shrinkage of a and b in place (limit M, floor V, threshold T).
aligned_line run(int v, aligned_line& a, aligned_line& b, float limit, float floor, float t) {
  aligned_line keep(a.n);
  versions[v].keep(a.data(), b.data(), (int)a.n, limit, floor, keep.data());
  versions[v].shrink(a.data(), b.data(), keep.data(), (int)a.n, t);
  return keep;
}
}  // namespace

TEST(detail_shrink_rules, boundaries_floor_neighbours_and_nan) {
  for (int v = 0; v < 2; ++v) {
    aligned_line a(32, 1.0f), b(32, 1.0f);  // above the floor, below T, flat
    a[4] = 12.0f, b[4] = 2.0f;    // |A| = M exactly: protected, shields B
    a[9] = -3.0f, b[9] = 3.5f;    // |A| = T exactly, unprotected: +0; B above T stays
    a[14] = 0.3f, b[14] = 2.5f;   // below the floor: shields B (luma outside anime mode)
    a[20] = 25.0f;                // large: its neighbours' |D| = 24 >= M
    a[26] = bits_float(0x7fc01234u);  // NaN: unordered against M counts as protected
    aligned_line keep = run(v, a, b, 12.0f, 0.4f, 3.0f);
    EXPECT_TRUE(a[4] == 12.0f && b[4] == 2.0f) << v;
    EXPECT_TRUE(float_bits(a[9]) == 0u && b[9] == 3.5f) << v;
    EXPECT_TRUE(a[14] == 0.3f && b[14] == 2.5f) << v;
    EXPECT_EQ(float_bits(a[26]), 0x7fc01234u);
    for (int j : {4, 14, 19, 20, 21, 25, 26, 27}) EXPECT_EQ(keep[j], 1.0f) << v << " " << j;
    for (int j : {0, 3, 7, 31}) EXPECT_TRUE(keep[j] == 0.0f && b[j] == 0.0f) << v << " " << j;
    aligned_line c(32, 1.0f), d(32);  // no floor (anime mode, chroma): the same B is cleared
    c[20] = 0.3f, d[20] = 2.5f;
    run(v, c, d, 12.0f, 0.0f, 3.0f);
    EXPECT_EQ(d[20], 0.0f) << v;
  }
}

TEST(detail_shrink_rules, ends_replicate_and_a_zero_setting_keeps_all) {
  for (int v = 0; v < 2; ++v) {
    aligned_line a(8), b(8), keep(8);
    a[0] = 10.0f, a[1] = 1.0f, a[7] = -100.0f;  // j = 0: A0 - A1 = 9; a wrap would see A7
    versions[v].keep(a.data(), b.data(), 8, 10.5f, 0.0f, keep.data());
    EXPECT_TRUE(keep[0] == 0.0f && keep[6] == 1.0f) << v;
    aligned_line c(8);
    c[0] = 70.0f;  // j = 7: A7 - A6 = 0; a wrap would see A0
    versions[v].keep(c.data(), b.data(), 8, 60.0f, 0.0f, keep.data());
    EXPECT_TRUE(keep[1] == 1.0f && keep[7] == 0.0f) << v;
    aligned_line x(64), y(64);  // M = T = 0: |x| >= 0 protects every position
    fill_edge_values(x.data(), 64, 3, plain_values);
    aligned_line x0 = x;
    run(v, x, y, 0.0f, 0.0f, 0.0f);
    EXPECT_TRUE(same_bits(x0.data(), x.data(), 64, 3, "zero setting"));
    aligned_line p(4), q(4);  // T = 0 outside the mask acts as 0.0001
    p[0] = 0.0001f, p[1] = 0.00011f, q[2] = -0.00005f;
    versions[v].shrink(p.data(), q.data(), keep.data() + 4, 4, 0.0f);
    EXPECT_TRUE(p[0] == 0.0f && p[1] == 0.00011f && float_bits(q[2]) == 0u) << v;
  }
}

// Scalar against SIMD, and the fused four-line version against the line
// kernels lane by lane, on values biased to M, T and the floor.
TEST(detail_shrink_simd, matches_scalar_bit_for_bit) {
  const float limit = 20.0f, t = 6.5535998f;
  const std::vector<float> specials = {limit, t, luma_keep_floor, limit / 2, 2 * limit};
  for (int m : stage_line_lengths(4)) {
    if (m > 992 || m % 4) continue;
    for (uint32_t seed = 1; seed <= 6; ++seed) {
      const float floor = seed % 2 ? luma_keep_floor : 0.0f, thr = seed % 3 ? t : 0.0f;
      const value_mix mix = seed % 2 ? with_nan : with_huge;
      aligned_line a4(4 * m), b4(4 * m);
      fill_edge_values(a4.data(), 4 * m, seed * 13 + m, mix, specials);
      fill_edge_values(b4.data(), 4 * m, seed * 17 + m, mix, specials);
      aligned_line r4a = a4, r4b = b4, s4a = a4, s4b = b4;
      keep_shrink_x4_ref(r4a.data(), r4b.data(), m, limit, floor, thr);
      keep_shrink_x4_sse2(s4a.data(), s4b.data(), m, limit, floor, thr);
      for (int c = 0; c < 4; ++c) {
        aligned_line a[2] = {aligned_line(m), aligned_line(m)}, b[2] = {aligned_line(m), aligned_line(m)};
        for (int v = 0; v < 2; ++v) {
          for (int j = 0; j < m; ++j) a[v][j] = a4[4 * j + c], b[v][j] = b4[4 * j + c];
          run(v, a[v], b[v], limit, floor, thr);
        }
        ASSERT_TRUE(same_bits(a[0].data(), a[1].data(), m, seed, "line A"));
        ASSERT_TRUE(same_bits(b[0].data(), b[1].data(), m, seed, "line B"));
        for (aligned_line* four : {&r4a, &s4a}) {
          for (int j = 0; j < m; ++j) a[1][j] = (*four)[4 * j + c], b[1][j] = (four == &r4a ? r4b : s4b)[4 * j + c];
          ASSERT_TRUE(same_bits(a[0].data(), a[1].data(), m, seed, "four-line A"));
          ASSERT_TRUE(same_bits(b[0].data(), b[1].data(), m, seed, "four-line B"));
        }
      }
    }
  }
}
