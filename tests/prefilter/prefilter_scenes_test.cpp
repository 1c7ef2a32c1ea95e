// Both filters on small scenes: which samples move, to which value, and why.
#include "prefilter_test_util.h"

namespace {
constexpr int W = 32, H = 32, X0 = 10, Y0 = 12;  // pixel X0 starts a quad

class PrefilterScenes : public ::testing::TestWithParam<int> {
 protected:
  test_frame block(const test_frame& src, const prefilter_params& p) const {
    test_frame out(W, H, W);
    run_block(GetParam(), src, p, out);
    return out;
  }
  test_frame mosquito(const test_frame* f, const prefilter_params& p) const {
    test_frame out(W, H, W);
    run_mosquito(GetParam(), f, p, out);
    return out;
  }
};
}  // namespace

// A flat frame (odd rows 100 brighter when striped) with the sample at
// (X0 + dx, Y0) raised by value; the output at (X0 + check_dx, Y0) must be
// base + want. Limits 40 / 80 are BlockNR 5.
struct block_case {
  PIXEL_YC base;
  bool striped;
  int dx, comp, value, field_step, diff, sum, anime, check_dx, check_comp, want;
};
const block_case block_cases[] = {
    // An outlier v in a flat area: all nine candidates pass when |v| < 40
    // (A = -8v, n = 9: v = 9 moves by -7, 39 by -34), only itself otherwise.
    {{1000, 0, 0}, false, 0, 0, 9, 1, 40, 80, 1, 0, 0, 2},
    {{1000, 0, 0}, false, 3, 0, -9, 1, 40, 80, 1, 3, 0, -1},
    {{1000, 0, 0}, false, 1, 0, 39, 1, 40, 80, 1, 1, 0, 5},
    {{1000, 0, 0}, false, 2, 0, 40, 1, 40, 80, 1, 2, 0, 40},
    // Chroma: half the limits; the odd pixel gets the even one's correction.
    {{1000, 0, 0}, false, 2, 2, 9, 1, 40, 80, 1, 2, 2, 2},
    {{1000, 0, 0}, false, 2, 2, 9, 1, 40, 80, 1, 3, 2, -7},
    {{1000, 0, 0}, false, 2, 2, 20, 1, 40, 80, 1, 2, 2, 20},
    {{1000, 0, 0}, false, 2, 2, 20, 1, 40, 80, 1, 3, 2, 0},
    // u at the right neighbour: with sum limit 14 five candidates pass, mean
    // u / 5 = 1.4, 1.6, -1.4, -1.6 gives 1, 2, 0, -1.
    {{500, 0, 0}, false, 1, 0, 7, 1, 10, 14, 1, 0, 0, 1},
    {{500, 0, 0}, false, 1, 0, 8, 1, 10, 14, 1, 0, 0, 2},
    {{500, 0, 0}, false, 1, 0, -7, 1, 10, 14, 1, 0, 0, 0},
    {{500, 0, 0}, false, 1, 0, -8, 1, 10, 14, 1, 0, 0, -1},
    // Skin tones (tested at the pair's first pixel, bounds exclusive) quarter
    // the luma limits unless anime is on: an outlier of 15 then stays.
    {{2000, 0, 100}, false, 1, 0, 15, 1, 40, 80, 0, 1, 0, 15},
    {{2000, 0, 100}, false, 1, 0, 15, 1, 40, 80, 1, 1, 0, 3},
    {{1400, 0, 100}, false, 1, 0, 15, 1, 40, 80, 0, 1, 0, 3},
    {{2999, 0, 100}, false, 3, 0, 15, 1, 40, 80, 0, 3, 0, 15},
    {{3000, 0, 100}, false, 3, 0, 15, 1, 40, 80, 0, 3, 0, 3},
    {{2000, -680, 100}, false, 1, 0, 15, 1, 40, 80, 0, 1, 0, 3},
    {{2000, 279, 100}, false, 1, 0, 15, 1, 40, 80, 0, 1, 0, 15},
    {{2000, 0, -50}, false, 1, 0, 15, 1, 40, 80, 0, 1, 0, 3},
    {{2000, 0, 599}, false, 1, 0, 15, 1, 40, 80, 0, 1, 0, 15},
    // Per field the window holds the even rows only (all nine pass: -7); with
    // step 1 the odd rows reject all but the two row neighbours (-18 / 3).
    {{1000, 0, 0}, true, 0, 0, 9, 2, 40, 80, 1, 0, 0, 2},
    {{1000, 0, 0}, true, 0, 0, 9, 1, 40, 80, 1, 0, 0, 4},
};

TEST_P(PrefilterScenes, BlockMovesASampleToTheRoundedMeanOfItsMatches) {
  if (GetParam() >= runnable_versions()) GTEST_SKIP() << "no AVX2";
  for (const block_case& c : block_cases) {
    test_frame src(W, H, W, c.base);
    for (int i = W; c.striped && i < W * H; i += 2 * W)
      for (int x = 0; x < W; ++x) src.data()[i + x].y = int16_t(c.base.y + 100);
    src.sample(X0 + c.dx, Y0, c.comp) += int16_t(c.value);
    const test_frame out = block(src, settings(c.field_step, c.diff, c.sum, 0, c.anime));
    EXPECT_EQ(out.sample(X0 + c.check_dx, Y0, c.check_comp) - (&c.base.y)[c.check_comp], c.want)
        << "case " << (&c - block_cases);
  }
  // One skin-tone test per pair: here the first pair is skin, the second not.
  test_frame src(W, H, W, {2000, 0, 100});
  src.at(X0 + 2, Y0).cb = -680;
  src.at(X0 + 3, Y0).y = 2015;
  EXPECT_EQ(block(src, settings(1, 40, 80, 0)).at(X0 + 3, Y0).y, 2003);
  // A mean of exactly one half rounds up (exact division): A = 4, n = 8.
  test_frame half(W, H, W, {0, 0, 0});
  half.at(X0 - 1, Y0 - 1).y = 4;
  half.at(X0, Y0 - 1).y = 3;
  EXPECT_EQ(block(half, settings(1, 5, 11, 0, 1)).at(X0, Y0).y, 1);
}

// Frames flat at base (1000 unless given), samples set at (X0 + dx, Y0 + dy)
// of frame 0 src, 1 prev, 2 next; output at (X0 + check_dx, Y0) must be want.
struct sample_set {
  int frame, dx, dy, comp, value;
};
struct mosquito_case {
  int field_step, base;
  std::vector<sample_set> sets;
  int check_dx, check_comp, want;
};
const mosquito_case mosquito_cases[] = {
    // Pair 1 (101 + 102, cost 4): (3 * 203 + 200 + 4) >> 3 = 101; mirrored
    // the shift rounds down: -805 >> 3 = -101.
    {1, 1000, {{0, 0, 0, 0, 100}, {1, 0, 0, 0, 101}, {2, 0, 0, 0, 102}}, 0, 0, 101},
    {1, 1000, {{0, 0, 0, 0, -100}, {1, 0, 0, 0, -101}, {2, 0, 0, 0, -102}}, 0, 0, -101},
    // Equal cost 20 (90 + 110, then 100 + 110): the later pair wins: 104.
    {1, 1000, {{0, 0, 0, 0, 100}, {1, 0, 0, 0, 90}, {2, 0, 0, 0, 110}, {1, -1, 0, 0, 100},
               {2, 1, 0, 0, 110}}, 0, 0, 104},
    {1, 1000, {{0, 0, 0, 0, 100}, {1, 0, 0, 0, 90}, {2, 0, 0, 0, 110}, {1, -1, 0, 0, 100},
               {2, 1, 0, 0, 111}}, 0, 0, 100},  // cost 22
    // Left and right in the frame itself: luma takes the pair, chroma does not;
    // above and below both do.
    {1, 1000, {{0, 0, 0, 0, 100}, {0, -1, 0, 0, 105}, {0, 1, 0, 0, 105}}, 0, 0, 104},
    {1, 1000, {{0, 0, 0, 1, 100}, {0, -1, 0, 1, 105}, {0, 1, 0, 1, 105}}, 0, 1, 100},
    {1, 1000, {{0, 0, 0, 1, 100}, {0, 0, -1, 1, 105}, {0, 0, 1, 1, 105}}, 0, 1, 104},
    // Rows two apart pair up only per field; adjacent rows with either step.
    {2, 1000, {{0, 0, 0, 0, 100}, {1, 0, -2, 0, 110}, {2, 0, 2, 0, 110}}, 0, 0, 108},
    {1, 1000, {{0, 0, 0, 0, 100}, {1, 0, -2, 0, 110}, {2, 0, 2, 0, 110}}, 0, 0, 100},
    {2, 1000, {{0, 0, 0, 0, 100}, {1, 0, -1, 0, 110}, {2, 0, 1, 0, 110}}, 0, 0, 108},
    {2, 1000, {{0, 0, 0, 0, 100}, {0, -2, -2, 0, 110}, {0, 2, 2, 0, 110}}, 0, 0, 108},
    {1, 1000, {{0, 0, 0, 0, 100}, {0, -2, -2, 0, 110}, {0, 2, 2, 0, 110}}, 0, 0, 100},
    // Pair 1 costs 10 (95 + 105); a stage-3 pair costs 6 (101 + 103, giving
    // 102) but is searched only while another sample of the quad (X0 + 2,
    // unmatched at 3000) keeps the whole quad searching.
    {1, 1000, {{0, 1, 0, 0, 100}, {1, 1, 0, 0, 95}, {2, 1, 0, 0, 105}, {1, 1, -1, 0, 101},
               {2, 1, 1, 0, 103}}, 1, 0, 100},
    {1, 1000, {{0, 1, 0, 0, 100}, {1, 1, 0, 0, 95}, {2, 1, 0, 0, 105}, {1, 1, -1, 0, 101},
               {2, 1, 1, 0, 103}, {0, 2, 0, 0, 3000}}, 1, 0, 102},
    // Unmatched whites and super-whites keep their value (no 4095 ceiling).
    {1, 0, {{0, 1, 0, 0, 4096}}, 1, 0, 4096},
    {1, 0, {{0, 1, 0, 0, 4470}}, 1, 0, 4470},
    {1, 0, {{0, 2, 0, 1, 2048}}, 2, 1, 2048},
    {1, 0, {{0, 2, 0, 2, 2400}}, 3, 2, 2400},
};

TEST_P(PrefilterScenes, MosquitoTakesTheLastPairOfLeastCostAndBlends) {
  if (GetParam() >= runnable_versions()) GTEST_SKIP() << "no AVX2";
  for (const mosquito_case& c : mosquito_cases) {
    const int16_t b = int16_t(c.base);
    test_frame f[3] = {test_frame(W, H, W, {b, b, b}), f[0], f[0]};
    for (const sample_set& s : c.sets) f[s.frame].sample(X0 + s.dx, Y0 + s.dy, s.comp) = int16_t(s.value);
    const test_frame out = mosquito(f, settings(c.field_step, 0, 0, 40));
    EXPECT_EQ(out.sample(X0 + c.check_dx, Y0, c.check_comp), c.want)
        << "case " << (&c - mosquito_cases);
  }
}

INSTANTIATE_TEST_SUITE_P(Versions, PrefilterScenes, ::testing::Values(0, 1, 2), version_name);
