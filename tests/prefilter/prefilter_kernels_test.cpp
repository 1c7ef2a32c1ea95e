// The SSE2 and AVX2 pre-filters against the scalar ones, their choice by level, what
// both filters leave alone, and the row bands of the worker entries.
#include "host/cpu.h"
#include "prefilter_test_util.h"

TEST(PrefilterKernels, SimdVersionsAreChosenByLevel) {
  for (int level = simd_ref; level <= simd_avx2; ++level) {
    prefilter_select_kernels(level);
    EXPECT_EQ(prefilter_kernels.block_nr_rows, prefilter_versions[version_of_level(level)].block)
        << level;
    EXPECT_EQ(prefilter_kernels.mosquito_nr_rows,
              prefilter_versions[version_of_level(level)].mosquito);
  }
  const int level = detect_simd_level();  // this processor has SSE2, maybe AVX2
  select_kernels(level);
  EXPECT_EQ(prefilter_kernels.block_nr_rows,
            level >= simd_avx2 ? block_nr_rows_avx2 : block_nr_rows_sse2);
  EXPECT_EQ(prefilter_kernels.mosquito_nr_rows,
            level >= simd_avx2 ? mosquito_nr_rows_avx2 : mosquito_nr_rows_sse2);
}

// Widths from 16 to 288 pixels; the AVX2 versions take quads in pairs and redo
// the second-last quad of each row (their count is odd).
TEST(PrefilterKernels, SimdMatchesScalarBitForBit) {
  for (unsigned seed = 1; seed <= 400; ++seed) {
    std::mt19937 rng(seed);
    const int w = 16 * int(1 + rng() % (seed % 4 ? 5 : 18)), h = 16 * int(1 + rng() % 3);
    static const int levels[4] = {0, 1, 5, 20};  // BlockNR / MosqNR: off, low, default, top
    const int level = seed % 5 == 4 ? int(rng() % 21) : levels[seed % 5];
    prefilter_params p = settings(1 + int(seed & 1), level * 8, level * 16,
                                  level * (seed & 2 ? 90 : 8), (seed >> 2) & 1);
    if (seed % 7 == 0)  // out-of-proportion and saturating limits
      p = settings(p.field_step, int(rng() % 700) - 20, int(rng() % 1400) - 20,
                   seed % 2 ? 40000 : int(rng() % 40), p.anime);
    test_frame f[3] = {test_frame(w, h, w + int(rng() % 3) * 7), f[0], f[0]};
    fill_edgy(f[0], rng, seed % 3 == 0 ? 15 : p.strength_a);
    f[1] = f[2] = f[0];  // the frame itself, or with noise (costs near the stop)
    for (PIXEL_YC& px : f[1].mem) px.y = int16_t(px.y ^ int(rng() % (seed % 3 * 8 + 1)));
    if (seed % 3 == 1) fill_edgy(f[2], rng, 2 * p.strength_c);  // unrelated
    for (int kind = 0; kind < 2; ++kind) {
      test_frame ref(w, h, f[0].pitch);
      kind ? run_mosquito(0, f, p, ref) : run_block(0, f[0], p, ref);
      for (int v = 1; v < runnable_versions(); ++v) {
        test_frame out(w, h, f[0].pitch);
        kind ? run_mosquito(v, f, p, out) : run_block(v, f[0], p, out);
        EXPECT_EQ(std::memcmp(ref.mem.data(), out.mem.data(), out.mem.size() * 6), 0)
            << (kind ? "mosquito" : "block") << ", seed " << seed << ", ref vs "
            << prefilter_versions[v].name << " at " << first_difference(ref, out);
      }
    }
  }
}

class PrefilterFrames : public ::testing::TestWithParam<int> {};

// Both filters copy their border rows and columns and change most other
// samples of a calm frame; a neutral setting or input gives the frame back.
TEST_P(PrefilterFrames, CopyTheBordersAndLeaveNeutralFramesAlone) {
  if (GetParam() >= runnable_versions()) GTEST_SKIP() << "no AVX2";
  const int v = GetParam(), w = 32, h = 32;
  std::mt19937 rng(1);
  test_frame f[3] = {test_frame(w, h, w + 4), f[0], f[0]}, out = f[0];
  for (test_frame& frame : f) fill_realistic(frame, rng, 40);
  for (int step = 1; step <= 2; ++step)
    for (int kind = 0; kind < 2; ++kind) {
      if (kind) run_mosquito(v, f, settings(step, 0, 0, 1800), out);
      if (!kind) run_block(v, f[0], settings(step, 160, 320, 0), out);
      const int rows = kind ? 2 : 2 * step;  // border rows at the top and the bottom
      int moved = 0;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const bool inside = y >= rows && y < h - rows && x >= 2 && x < w - 2;
          moved += std::memcmp(&out.at(x, y), &f[0].at(x, y), 6) != 0;
          EXPECT_TRUE(inside || !std::memcmp(&out.at(x, y), &f[0].at(x, y), 6))
              << (kind ? "mosquito" : "block") << " changed border (" << x << ", " << y << ")";
          if (kind && inside && x % 2) {  // odd pixels: the chroma result to their left
            EXPECT_EQ(out.at(x, y).cr, out.at(x - 1, y).cr);
          }
        }
      EXPECT_GT(moved, 300) << kind << " " << step;
    }
  fill_edgy(f[0], rng, 8);
  run_block(v, f[0], settings(2, 0, 0, 0, 1), out);  // strength 0
  EXPECT_EQ(first_difference(out, f[0]), "") << "block, strength 0";
  for (PIXEL_YC px : {PIXEL_YC{4096, -2048, 2048}, PIXEL_YC{-32768, 32767, -32768},
                      PIXEL_YC{32767, -32768, 32767}, PIXEL_YC{2000, 0, 100}}) {
    const test_frame flat(w, h, w + 4, px);
    run_block(v, flat, settings(1, 160, 320, 0), out);
    EXPECT_EQ(first_difference(out, flat), "") << "block, flat " << px.y;
  }
  // Mosquito: strength 0 accepts exact pairs only; with the frame itself at
  // both ends pair 1 matches at cost 0. Pixel pairs share their chroma here,
  // whites and super-whites included.
  for (test_frame& frame : f) fill_realistic(frame, rng);
  for (size_t i = 0; i < f[0].mem.size(); i += 2) f[0].mem[i + 1] = {f[0].mem[i + 1].y, f[0].mem[i].cb, f[0].mem[i].cr};
  run_mosquito(v, f, settings(2, 0, 0, 0), out);
  EXPECT_EQ(first_difference(out, f[0]), "") << "mosquito, strength 0";
  f[1] = f[2] = f[0];
  run_mosquito(v, f, settings(1, 0, 0, 1800), out);
  EXPECT_EQ(first_difference(out, f[0]), "") << "mosquito, still frames";
}

// Bands for 2, 3, 4 and 7 threads: each job writes exactly the w pixels of its
// own rows, as one thread would (everything else keeps its fill), and inputs
// outside the w x h picture (guard rows, padding) are never read.
TEST_P(PrefilterFrames, JobsWriteOnlyTheirRowsAndAgreeForAnyThreadCount) {
  if (GetParam() >= runnable_versions()) GTEST_SKIP() << "no AVX2";
  prefilter_kernels = {prefilter_versions[GetParam()].block,
                       prefilter_versions[GetParam()].mosquito};
  const int w = 32, h = 48, pitch = 37;
  for (int field_step = 1; field_step <= 2; ++field_step)
    for (MULTI_THREAD_FUNC job : {block_nr_job, mosquito_nr_job}) {
      std::mt19937 rng{unsigned(field_step)};
      test_frame f[3] = {test_frame(w, h, pitch), f[0], f[0]}, whole(w, h, pitch);
      for (test_frame& frame : f) fill_realistic(frame, rng, 40);
      prefilter_params p = settings(field_step, 160, 320, 1800);
      p.src = f[0].data(), p.prev = f[1].data(), p.next = f[2].data();
      FILTER_PROC_INFO fpip = frame_info(whole);
      job(0, 1, &p, &fpip);
      EXPECT_NE(first_difference(whole, f[0]), "");
      for (int threads : {2, 3, 4, 7})
        for (int t = 0; t < threads; ++t) {
          test_frame band(w, h, pitch);
          fpip.ycp_edit = fpip.ycp_temp = band.data();
          job(t, threads, &p, &fpip);
          for (int y = -3; y < h + 3; ++y)
            for (int x = 0; x < pitch; ++x) {
              const bool mine = y >= t * h / threads && y < (t + 1) * h / threads && x < w;
              ASSERT_EQ(std::memcmp(&band.at(x, y), mine ? &whole.at(x, y) : &unwritten, 6), 0)
                  << "thread " << t << " of " << threads << " at (" << x << ", " << y << ")";
            }
        }
      for (test_frame& frame : f)
        for (int y = -3; y < h + 3; ++y)
          for (int x = 0; x < pitch; ++x)
            if (y < 0 || y >= h || x >= w) frame.at(x, y) = {int16_t(rng()), int16_t(rng()), 0};
      test_frame outside(w, h, pitch);
      fpip.ycp_edit = fpip.ycp_temp = outside.data();
      job(0, 1, &p, &fpip);
      EXPECT_EQ(first_difference(whole, outside), "") << "read outside the picture";
    }
}

INSTANTIATE_TEST_SUITE_P(Versions, PrefilterFrames, ::testing::Values(0, 1, 2), version_name);
