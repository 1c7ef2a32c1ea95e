// Whole frames through the plug-in interface: a substitute editor feeds
// generated clips to func_proc and reads the denoised frames back.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "clips.h"
#include "host/cpu.h"
#include "host/host_api.h"
#include "platform/platform.h"
#include "test_host.h"

namespace {

struct clip_case {
  int w = 96, h = 64, frames = 6;
  int noise = 40, motion = 0;
  uint32_t seed = 1;
  int track[9] = {2, 8, 8, 8, 8, 8, 8, 5, 5};
  int check[4] = {1, 0, 0, 0};
  int threads = 1;
  bool parallel = false;
  int level = -1;  // kernel level cap, -1 for the best
};

int round16(int v) { return (v + 15) & ~15; }

// Runs the filter over the clip, frames in the given order; returns the
// output frames (w x h, tightly packed) indexed by frame number.
std::vector<std::vector<PIXEL_YC>> run(const clip_case& c, const std::vector<int>& order = {}) {
  const clip_case cc = c;
  test_host_setup(c.w, c.h, c.frames, round16(c.w), round16(c.h), [&](int n, int x, int y) {
    return clip_pixel(cc.seed, n, x, y, cc.noise, cc.motion);
  });
  test_host& th = the_test_host();
  for (int i = 0; i < 9; ++i) th.track[i] = c.track[i];
  for (int i = 0; i < 4; ++i) th.check[i] = c.check[i];
  th.threads = c.threads;
  th.parallel = c.parallel;
  force_kernel_level(c.level);
  func_init(&th.filter);
  func_update(&th.filter, 0);
  std::vector<int> frames = order;
  if (frames.empty())
    for (int n = 0; n < c.frames; ++n) frames.push_back(n);
  std::vector<std::vector<PIXEL_YC>> out(c.frames);
  for (int n : frames) {
    test_host_run(n);
    std::vector<PIXEL_YC>& o = out[n];
    o.resize((size_t)c.w * c.h);
    for (int y = 0; y < c.h; ++y)
      for (int x = 0; x < c.w; ++x) o[(size_t)y * c.w + x] = th.edit[(size_t)y * th.max_w + x];
  }
  func_exit(&th.filter);
  force_kernel_level(-1);
  return out;
}

std::vector<uint64_t> hashes(const clip_case& c, const std::vector<std::vector<PIXEL_YC>>& out) {
  std::vector<uint64_t> h;
  for (auto& f : out) h.push_back(frame_hash(f.data(), c.w, c.h, c.w));
  return h;
}

// Mean squared luma error against the clean picture, away from the borders.
double luma_mse(const clip_case& c, const std::vector<PIXEL_YC>& frame, int n) {
  double sum = 0;
  int count = 0;
  for (int y = 8; y < c.h - 8; ++y)
    for (int x = 8; x < c.w - 8; ++x) {
      const PIXEL_YC ref = clean_pixel(n, x, y, c.motion);
      const double d = frame[(size_t)y * c.w + x].y - ref.y;
      sum += d * d;
      ++count;
    }
  return sum / count;
}

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override { platform_set_quiet(true); }
};

}  // namespace

TEST_F(EndToEnd, StillClipStaysStill) {
  // Every frame of a still clip sees the same window, so every output frame is
  // the same picture; with the spatial shrinkage off it is the input picture.
  clip_case c;
  c.noise = 0;
  const auto out = run(c);
  for (int n = 1; n < c.frames; ++n)
    EXPECT_EQ(frame_hash(out[n].data(), c.w, c.h, c.w), frame_hash(out[0].data(), c.w, c.h, c.w))
        << "frame " << n;

  c.track[3] = c.track[6] = 0;
  const auto temporal_only = run(c);
  for (int n = 0; n < c.frames; ++n)
    for (int y = 0; y < c.h; ++y)
      for (int x = 0; x < c.w; ++x) {
        const PIXEL_YC want = clean_pixel(n, x & ~1, y, 0);
        const PIXEL_YC got = temporal_only[n][(size_t)y * c.w + x];
        ASSERT_LE(std::abs(got.y - clean_pixel(n, x, y, 0).y), 1) << n << " " << x << "," << y;
        ASSERT_LE(std::abs(got.cb - want.cb), 1) << n << " " << x << "," << y;
        ASSERT_LE(std::abs(got.cr - want.cr), 1) << n << " " << x << "," << y;
      }
}

TEST_F(EndToEnd, ZeroStrengthsChangeAlmostNothing) {
  clip_case c;
  for (int i = 1; i <= 6; ++i) c.track[i] = 0;
  const auto out = run(c);
  for (int n = 0; n < c.frames; ++n)
    for (int y = 0; y < c.h; ++y)
      for (int x = 0; x < c.w; x += 2) {
        const PIXEL_YC in = clip_pixel(c.seed, n, x, y, c.noise, 0);
        const PIXEL_YC got = out[n][(size_t)y * c.w + x];
        ASSERT_LE(std::abs(got.y - in.y), 1) << n << " " << x << "," << y;
        ASSERT_LE(std::abs(got.cb - in.cb), 1);
        ASSERT_LE(std::abs(got.cr - in.cr), 1);
      }
}

TEST_F(EndToEnd, NoiseOverAStillPictureIsReduced) {
  clip_case c;
  c.w = 160;
  c.h = 96;
  c.frames = 5;
  c.noise = 10;
  const auto out = run(c);
  const int n = 2;
  std::vector<PIXEL_YC> noisy((size_t)c.w * c.h);
  for (int y = 0; y < c.h; ++y)
    for (int x = 0; x < c.w; ++x)
      noisy[(size_t)y * c.w + x] = clip_pixel(c.seed, n, x, y, c.noise, 0);
  const double before = luma_mse(c, noisy, n);
  const double after = luma_mse(c, out[n], n);
  EXPECT_LT(after, before * 0.8) << "mse before " << before << " after " << after;
}

TEST_F(EndToEnd, OutputDoesNotDependOnTheThreadCount) {
  clip_case c;
  c.check[2] = c.check[3] = 1;  // the pre-filters split rows by thread too
  c.motion = 1;
  const auto one = hashes(c, run(c));
  for (int t : {2, 3, 4, 7}) {
    c.threads = t;
    c.parallel = true;
    EXPECT_EQ(hashes(c, run(c)), one) << t << " threads";
  }
}

TEST_F(EndToEnd, ScalarAndSimdKernelsGiveTheSameFrames) {
  clip_case c;
  c.check[2] = c.check[3] = 1;
  c.track[0] = 3;
  c.motion = 2;
  const auto best = hashes(c, run(c));
  for (int level : {simd_ref, simd_sse2, simd_sse3}) {
    c.level = level;
    EXPECT_EQ(hashes(c, run(c)), best) << "level " << level;
  }
}

TEST_F(EndToEnd, PlaybackOrderDoesNotChangeAFrame) {
  clip_case c;
  c.frames = 8;
  c.motion = 1;
  c.check[3] = 1;
  const auto forward = hashes(c, run(c));
  EXPECT_EQ(hashes(c, run(c, {7, 6, 5, 4, 3, 2, 1, 0})), forward);
  EXPECT_EQ(hashes(c, run(c, {3, 0, 7, 1, 6, 2, 5, 4})), forward);
}
