// The wide search of pictures above 1920x1088: its reach grows with the
// picture, a pan far faster than the search of smaller pictures reaches is
// followed, and the result does not depend on the threads nor the kernels.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "host/cpu.h"
#include "strong/strong.h"
#include "strong_test_util.h"

namespace {

int exec_threads = 1;
// Runs the job for every thread, one after another (each writes its own rows).
int sequential_exec(void (*job)(int, int, void*, void*), void* p1, void* p2) {
  for (int t = 0; t < exec_threads; ++t) job(t, exec_threads, p1, p2);
  return 1;
}

constexpr int frames = 5;

struct pan_clip {
  int w, h;
  std::vector<std::vector<float>> clean[3], noisy[3];
};

// A 4:2:0 pan of (dx, dy) pixels per frame over the texture at two scales,
// noise s.
pan_clip make_fast_pan(int w, int h, double dx, double dy, double s) {
  pan_clip c{w, h, {}, {}};
  test_noise noise(41);
  for (int n = 0; n < frames; ++n)
    for (int p = 0; p < 3; ++p) {
      const int pw = p ? w / 2 : w, ph = p ? h / 2 : h, scale = p ? 2 : 1;
      std::vector<float> clean(size_t(pw) * ph), noisy(size_t(pw) * ph);
      for (int y = 0; y < ph; ++y)
        for (int x = 0; x < pw; ++x) {
          // Coarse shapes (which the coarsest levels still see) and fine detail.
          const double u = x * scale + dx * n + 31 * p, t = y * scale + dy * n;
          const float v = 0.6f * texture_at(0.13 * u, 0.11 * t) + 0.4f * texture_at(u, t);
          clean[size_t(y) * pw + x] = p ? 0.5f * v + 64.0f : v;
          noisy[size_t(y) * pw + x] = noise.add(clean[size_t(y) * pw + x], s);
        }
      c.clean[p].push_back(clean);
      c.noisy[p].push_back(noisy);
    }
  return c;
}

// Every output plane of every frame, filtered at noise level s.
std::vector<std::vector<float>> filter_clip(const pan_clip& c, float s, int threads) {
  exec_threads = threads;
  const strong_filter_ptr filter = strong_create(c.w, c.h, c.w / 2, c.h / 2, 1, 1);
  EXPECT_NE(filter, nullptr);
  const strong_params params = strong_params_for(s, s);
  std::vector<std::vector<float>> result;
  for (int64_t n = 0; n < frames; ++n) {
    strong_picture_view v;
    for (int p = 0; p < 3; ++p) {
      v.plane[p] = c.noisy[p][n].data();
      v.pitch[p] = p ? c.w / 2 : c.w;
    }
    strong_push(filter.get(), n, v, sequential_exec);
  }
  for (int64_t n = 0; n < frames; ++n) {
    float* planes[3];
    int pitches[3];
    std::vector<float> out[3];
    for (int p = 0; p < 3; ++p) {
      pitches[p] = p ? c.w / 2 : c.w;
      out[p].assign(size_t(pitches[p]) * (p ? c.h / 2 : c.h), -1.0f);
      planes[p] = out[p].data();
    }
    strong_process(filter.get(), params, n, 0, frames - 1, planes, pitches, sequential_exec);
    for (int p = 0; p < 3; ++p) result.push_back(out[p]);
  }
  return result;
}

// Mean squared error of the luma of every frame against the clean clip: the
// filtered planes, or the noisy clip when there are none.
double luma_mse(const pan_clip& c, const std::vector<std::vector<float>>& planes) {
  double sum = 0;
  size_t count = 0;
  for (int n = 0; n < frames; ++n) {
    const std::vector<float>& a = planes.empty() ? c.noisy[0][n] : planes[size_t(n) * 3];
    for (size_t i = 0; i < a.size(); ++i) {
      const double d = double(a[i]) - c.clean[0][n][i];
      sum += d * d;
      ++count;
    }
  }
  return sum / double(count);
}

}  // namespace

TEST(WideSearch, TheReachGrowsWithThePicture) {
  // Up to 1920x1088 the search of before, bit for bit.
  EXPECT_EQ(strong_search_reach(176, 96), 15);
  EXPECT_EQ(strong_search_reach(1920, 1088), 15);
  EXPECT_GE(strong_search_reach(1928, 1082), 64);
  EXPECT_GE(strong_search_reach(1080, 1920), 96);  // upright pictures too
  EXPECT_GE(strong_search_reach(3840, 2160), 128);
  EXPECT_GE(strong_search_reach(7680, 4320), 2 * strong_search_reach(3840, 2160) - 1);
  EXPECT_GE(strong_search_reach(8192, 8192), strong_search_reach(7680, 4320));
  // Too thin for a coarser level: the search of before.
  EXPECT_EQ(strong_search_reach(8192, 16), 15);
  int last = 0;
  for (int w = 1920; w <= 8192; w += 256) {
    const int reach = strong_search_reach(w, w * 9 / 16);
    EXPECT_GE(reach, last) << w;
    last = reach;
  }
}

TEST(WideSearch, AFastPanAboveTheHdLimitIsFollowed) {
  strong_select_kernels(detect_simd_level());
  // 40 pixels a frame across, 6 down: far beyond the 15 of a picture up to
  // 1920x1088, within the reach of one 2048 wide.
  const pan_clip wide = make_fast_pan(2048, 256, 40.0, 6.0, 5.0);
  ASSERT_GE(strong_search_reach(2048, 256), 60);
  const double noisy = luma_mse(wide, {});
  const double after = luma_mse(wide, filter_clip(wide, 5.0f, 2));
  // The same pan 1920 wide is out of reach: only the spatial pass helps.
  const pan_clip narrow = make_fast_pan(1920, 256, 40.0, 6.0, 5.0);
  const double unmatched = luma_mse(narrow, filter_clip(narrow, 5.0f, 2));
  EXPECT_LT(after, 0.4 * noisy);
  EXPECT_LT(after, 0.7 * unmatched) << after << " against " << unmatched;
  strong_select_kernels(simd_ref);
}

TEST(WideSearch, OutputDoesNotDependOnThreadsOrKernels) {
  const pan_clip c = make_fast_pan(2064, 272, -35.0, 9.5, 4.0);  // a size of 16s, not 32s
  strong_select_kernels(detect_simd_level());
  const std::vector<std::vector<float>> reference = filter_clip(c, 4.0f, 1);
  for (int threads : {2, 3, 4, 7, 100}) {
    const std::vector<std::vector<float>> out = filter_clip(c, 4.0f, threads);
    for (size_t i = 0; i < out.size(); ++i)
      ASSERT_TRUE(std::memcmp(out[i].data(), reference[i].data(), out[i].size() * 4) == 0)
          << threads << " threads, plane " << i;
  }
  for (int level = simd_ref; level <= detect_simd_level(); ++level) {
    strong_select_kernels(level);
    const std::vector<std::vector<float>> out = filter_clip(c, 4.0f, 3);
    for (size_t i = 0; i < out.size(); ++i)
      ASSERT_TRUE(std::memcmp(out[i].data(), reference[i].data(), out[i].size() * 4) == 0)
          << "level " << level << ", plane " << i;
  }
  strong_select_kernels(simd_ref);
}
