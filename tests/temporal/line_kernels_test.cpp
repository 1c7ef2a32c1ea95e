// Row synthesis, sample conversion and pixel packing kernels: SIMD against
// scalar bit for bit, and the arithmetic the scalar versions must keep.
#include "host/cpu.h"
#include "temporal_test_util.h"

// Both addition orders (head for rows 0-3, body after), each value of the row
// its own column; random inputs make the two orders round differently.
TEST(D4SynthesizeRows, KeepsHeadAndBodyOrdersAndSimdMatchesScalar) {
  const float h0 = d4_h0, h1 = d4_h1, h2 = d4_h2, h3 = d4_h3;
  EXPECT_EQ(float_bits(h0), 0x3ef746eau);  // 0.482962906: (1 + sqrt3) / (4 sqrt2)
  const int count = 72;
  int orders_differ = 0;
  for (int seed = 1; seed <= 20; ++seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(-1000.0f, 1000.0f);
    const float edges[4] = {0.0f, -0.0f, -32768.0f, 1e-39f};
    aligned_floats in(4 * count), want(2 * count + 8, quiet_nan), got(2 * count + 8, quiet_nan);
    for (int i = 0; i < 4 * count; ++i) in[i] = rng() % 8 ? u(rng) : edges[rng() % 4];
    const float *l = in.p, *lp = l + count, *hi = lp + count, *hp = hi + count;
    for (int head : {1, 0}) {
      d4_synthesize_rows_ref(l, lp, hi, hp, count, head, want.p, want.p + count);
      for (int k = 0; k < count; ++k) {
        const float body = ((h0 * l[k] + h3 * hi[k]) + h2 * lp[k]) + h1 * hp[k];
        const float first = ((h0 * l[k] + h2 * lp[k]) + h3 * hi[k]) + h1 * hp[k];
        const float odd = head ? ((h1 * l[k] + h3 * lp[k]) - h2 * hi[k]) - h0 * hp[k]
                               : ((h1 * l[k] - h2 * hi[k]) + h3 * lp[k]) - h0 * hp[k];
        orders_differ += body != first;
        ASSERT_EQ(float_bits(want[k]), float_bits(head ? first : body)) << seed << " " << k;
        ASSERT_EQ(float_bits(want[count + k]), float_bits(odd)) << seed << " " << k;
      }
      d4_synthesize_rows_sse2(l, lp, hi, hp, count, head, got.p, got.p + count);
      ASSERT_TRUE(same_bits(want.p, got.p, 2 * count + 8, seed)) << "head " << head;
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

// Eight rows of a 48-pixel block: luma converted per pixel, the chroma line of
// each pair read down the rows, guard pixels around every row untouched.
// Unaligned chroma starts and a destination at an odd pixel address included.
TEST(PixelPack, ConvertsInterleavesAndMatchesScalar) {
  const int w = 48, luma_stride = 60, chroma_stride = 37, dst_stride = 53;
  const float edges[] = {100.5f, -0.7f, -1.7f, 9000.0f, -9000.0f, quiet_nan, 8191.5f, -0.0f};
  for (int seed = 1; seed <= 10; ++seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(-9000.0f, 9000.0f);
    aligned_floats luma(8 * luma_stride);
    for (int i = 0; i < 8 * luma_stride; ++i) luma[i] = rng() % 4 ? u(rng) : edges[rng() % 8];
    std::vector<int16_t> cb(w / 2 * chroma_stride + 8), cr(cb.size());
    for (size_t i = 0; i < cb.size(); ++i) cb[i] = int16_t(rng()), cr[i] = int16_t(rng());
    const int c0 = 1 + seed % 5;  // first chroma sample: any alignment
    const PIXEL_YC guard{0x1234, 0x2345, 0x3456};
    std::vector<PIXEL_YC> want(9 * dst_stride, guard), got(want.size(), guard);
    pack_pixel_rows_ref(luma.p, luma_stride, cb.data() + c0, cr.data() + c0, chroma_stride, w,
                        want.data() + 1, dst_stride);
    for (int k = 0; k < 8; ++k)
      for (int x = -1; x < dst_stride - 1; ++x) {
        const PIXEL_YC p = want[1 + k * dst_stride + x];
        if (x < 0 || x >= w) {
          ASSERT_EQ(pixel_text(p), pixel_text(guard)) << k << "," << x;
          continue;
        }
        const int16_t* line_cb = cb.data() + c0 + (x / 2) * chroma_stride;
        const int16_t* line_cr = cr.data() + c0 + (x / 2) * chroma_stride;
        ASSERT_EQ(p.y, sample_to_int16(luma[k * luma_stride + x])) << k << "," << x;
        ASSERT_EQ(pixel_text(p.y, p.cb, p.cr), pixel_text(p.y, line_cb[k], line_cr[k]))
            << k << "," << x;
      }
    pack_pixel_rows_sse2(luma.p, luma_stride, cb.data() + c0, cr.data() + c0, chroma_stride, w,
                         got.data() + 1, dst_stride);
    ASSERT_EQ(0, std::memcmp(want.data(), got.data(), want.size() * sizeof(PIXEL_YC))) << seed;
  }
}

TEST(TemporalKernels, SelectionFollowsTheLevel) {
  const int top = detect_simd_level();
  ASSERT_GE(top, int(simd_sse2));
  select_kernels(simd_ref);
  EXPECT_EQ(temporal_kernels.fit[1], temporal_fit_w5_ref);
  EXPECT_EQ(temporal_kernels.pack_pixel_rows, pack_pixel_rows_ref);
  select_kernels(top);
  EXPECT_EQ(temporal_kernels.d4_synthesize_rows, d4_synthesize_rows_sse2);
  EXPECT_EQ(temporal_kernels.row_to_int16, row_to_int16_sse2);
  EXPECT_EQ(temporal_kernels.pack_pixel_rows, pack_pixel_rows_sse2);
  const temporal_fit_fn sse2[4] = {temporal_fit_w3_sse2, temporal_fit_w5_sse2, temporal_fit_w7_sse2,
                                   temporal_fit_w9_sse2};
  const temporal_fit_fn avx2[4] = {temporal_fit_w3_avx2, temporal_fit_w5_avx2, temporal_fit_w7_avx2,
                                   temporal_fit_w9_avx2};
  for (int r = 0; r < 4; ++r)
    EXPECT_EQ(temporal_kernels.fit[r], top >= simd_avx2 ? avx2[r] : sse2[r]);
  if (top >= simd_avx2) {
    select_kernels(simd_sse3);
    for (int r = 0; r < 4; ++r) EXPECT_EQ(temporal_kernels.fit[r], sse2[r]);
  }
  select_kernels(top);
}
