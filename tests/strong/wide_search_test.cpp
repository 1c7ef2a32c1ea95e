// The wide search: its reach grows with the picture, a pan far faster than
// the search around zero reaches is followed about as well as a slow one,
// and the result does not depend on the threads nor the kernels.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "frame/stage_share.h"
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
// filtered planes, or the noisy clip when there are none; samples closer than
// margin_x, margin_y to the picture's sides left out.
double luma_mse(const pan_clip& c, const std::vector<std::vector<float>>& planes,
                int margin_x = 0, int margin_y = 0) {
  double sum = 0;
  size_t count = 0;
  for (int n = 0; n < frames; ++n) {
    const std::vector<float>& a = planes.empty() ? c.noisy[0][n] : planes[size_t(n) * 3];
    for (int y = margin_y; y < c.h - margin_y; ++y)
      for (int x = margin_x; x < c.w - margin_x; ++x) {
        const size_t i = size_t(y) * c.w + x;
        const double d = double(a[i]) - c.clean[0][n][i];
        sum += d * d;
        ++count;
      }
  }
  return sum / double(count);
}

}  // namespace

TEST(WideSearch, TheReachGrowsWithThePicture) {
  // Too small for a field that reaches farther: the search around zero.
  EXPECT_EQ(strong_search_reach(176, 96), 15);
  EXPECT_EQ(strong_search_reach(240, 128), 15);
  EXPECT_GE(strong_search_reach(720, 480), 24);
  EXPECT_GE(strong_search_reach(1920, 1080), 64);
  EXPECT_GE(strong_search_reach(1928, 1082), 64);
  EXPECT_GE(strong_search_reach(1080, 1920), 96);  // upright pictures too
  EXPECT_GE(strong_search_reach(3840, 2160), 128);
  EXPECT_GE(strong_search_reach(7680, 4320), 2 * strong_search_reach(3840, 2160) - 1);
  EXPECT_GE(strong_search_reach(8192, 8192), strong_search_reach(7680, 4320));
  // Too thin for a coarser level: the search of before.
  EXPECT_EQ(strong_search_reach(8192, 16), 15);
  int last = 0;
  for (int w = 160; w <= 8192; w += 96) {
    const int reach = strong_search_reach(w, w * 9 / 16);
    EXPECT_GE(reach, last) << w;
    last = reach;
  }
}

TEST(WideSearch, AFastPanIsFollowedAsASlowOneIs) {
  strong_select_kernels(detect_simd_level());
  // 40 pixels a frame across, 6 down: far beyond the 15 of the search
  // around zero, within the reach of a picture 2048 wide.
  const pan_clip fast = make_fast_pan(2048, 256, 40.0, 6.0, 5.0);
  ASSERT_GE(strong_search_reach(2048, 256), 60);
  const double noisy = luma_mse(fast, {});
  const std::vector<std::vector<float>> out = filter_clip(fast, 5.0f, 2);
  EXPECT_LT(luma_mse(fast, out), 0.4 * noisy);
  // Away from the sides, where every neighbour has a match, as well as the
  // same texture two pixels a frame across and one down.
  const pan_clip slow = make_fast_pan(2048, 256, 2.0, 1.0, 5.0);
  const double after = luma_mse(fast, out, 120, 18);
  const double slow_after = luma_mse(slow, filter_clip(slow, 5.0f, 2), 120, 18);
  EXPECT_LT(after, 1.1 * slow_after) << after << " against " << slow_after;
  strong_select_kernels(simd_ref);
}

// The estimate's temporal reading moves each block by the filter's search:
// gravel-like texture (every sample its own, so that no other place matches
// by chance) panned faster than the search around zero reaches would read as
// heavy noise.
TEST(WideSearch, TheTemporalNoiseReadingFollowsAFastPan) {
  strong_select_kernels(detect_simd_level());
  const int w = 640, h = 352, dx = 27, dy = -5;
  const double s = 3.0;
  ASSERT_GE(strong_search_reach(w, h), 31);
  auto gravel = [](int x, int y, int p) {
    uint32_t v = uint32_t(x) * 0x9e3779b1u ^ uint32_t(y) * 0x85ebca77u ^ uint32_t(p) * 0xc2b2ae3du;
    v = (v ^ (v >> 15)) * 0x2c1b3c6du;
    return float(60 + (v >> 16) % 136);
  };
  exec_threads = 2;
  const strong_filter_ptr filter = strong_create(w, h, w / 2, h / 2, 1, 1);
  ASSERT_NE(filter, nullptr);
  test_noise noise(53);
  std::vector<noise_energies> parts(2 * max_workers);
  noise_energies luma;
  for (int64_t n = 0; n < frames; ++n) {
    std::vector<float> planes[3];
    strong_picture_view v;
    for (int p = 0; p < 3; ++p) {
      const int pw = p ? w / 2 : w, ph = p ? h / 2 : h;
      for (int y = 0; y < ph; ++y)
        for (int x = 0; x < pw; ++x)
          planes[p].push_back(noise.add(gravel(x + int(n) * (p ? dx / 2 : dx),
                                               y + int(n) * (p ? dy / 2 : dy), p),
                                        s));
      v.plane[p] = planes[p].data();
      v.pitch[p] = pw;
    }
    strong_push(filter.get(), n, v, sequential_exec);
    if (n == 0) continue;
    strong_temporal_noise(filter.get(), n, n - 1, parts.data(), sequential_exec);
    for (int t = 0; t < max_workers; ++t) {
      for (auto member : {&noise_energies::temporal, &noise_energies::centred}) {
        (luma.*member).insert((luma.*member).end(), (parts[2 * t].*member).begin(),
                              (parts[2 * t].*member).end());
        (parts[2 * t].*member).clear();
        (parts[2 * t + 1].*member).clear();
      }
    }
  }
  // The temporal reading alone (no spatial blocks given).
  const double truth = std::sqrt(s * s + 1.0 / 12.0);
  EXPECT_NEAR(noise_sigma_from_energies(&luma).sigma, truth, 0.1 * truth);
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
