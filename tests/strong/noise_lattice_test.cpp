// A large picture gives the noise estimate a lattice of its blocks spread over
// all of it, the same blocks on any number of threads: pictures whose only
// flat (or still) part is their bottom right corner must still read the
// noise there.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "host/cpu.h"
#include "strong/strong.h"
#include "strong_test_util.h"

namespace {

constexpr double s = 3.0;
const int thread_counts[] = {1, 2, 3, 4, 7};

int exec_threads = 1;
int sequential_exec(void (*job)(int, int, void*, void*), void* p1, void* p2) {
  for (int t = 0; t < exec_threads; ++t) job(t, exec_threads, p1, p2);
  return 1;
}

// Busy samples, every one its own (120 to 180, a deviation of about 17),
// different in every picture p.
float busy(int x, int y, int p) {
  uint32_t v = uint32_t(x) * 0x9e3779b1u ^ uint32_t(y) * 0x85ebca77u ^ uint32_t(p) * 0xc2b2ae3du;
  v = (v ^ (v >> 15)) * 0x2c1b3c6du;
  return float(120 + (v >> 16) % 61);
}

// The readings of every worker, together and in order of size.
std::vector<float> sorted_union(const std::vector<noise_energies>& parts,
                                std::vector<float> noise_energies::*member) {
  std::vector<float> all;
  for (const noise_energies& p : parts) all.insert(all.end(), (p.*member).begin(), (p.*member).end());
  std::sort(all.begin(), all.end());
  return all;
}

}  // namespace

TEST(NoiseLattice, SpatialBlocksCoverTheWholePicture) {
  strong_select_kernels(detect_simd_level());
  const int w = 1920, h = 1088;
  test_noise noise(61);
  std::vector<float> plane(size_t(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      plane[size_t(y) * w + x] = x >= 1280 && y >= 736 ? noise.add(100.0f, s) : busy(x, y, 0);
  noise_energies every;
  noise_block_energies(plane.data(), w, w, h, &every);
  std::vector<float> reference;
  for (int threads : thread_counts) {
    std::vector<noise_energies> parts(threads);
    for (int t = 0; t < threads; ++t)
      noise_lattice_energies(plane.data(), w, w, h, t, threads, &parts[t]);
    const std::vector<float> grid = sorted_union(parts, &noise_energies::grid);
    if (threads == 1) {
      reference = grid;
      // A lattice, not every block, and still the picture's share of the pool.
      EXPECT_GE(grid.size(), size_t(noise_picture_blocks));
      EXPECT_LT(grid.size(), every.grid.size() / 3);
      noise_energies pooled;
      for (const noise_energies& p : parts) {
        pooled.grid.insert(pooled.grid.end(), p.grid.begin(), p.grid.end());
        pooled.rows.insert(pooled.rows.end(), p.rows.begin(), p.rows.end());
        pooled.grid2.insert(pooled.grid2.end(), p.grid2.begin(), p.grid2.end());
        pooled.grid4.insert(pooled.grid4.end(), p.grid4.begin(), p.grid4.end());
      }
      const double truth = std::sqrt(s * s + 1.0 / 12.0);
      EXPECT_NEAR(noise_sigma_from_energies(&pooled).sigma, truth, 0.1 * truth);
    } else {
      EXPECT_EQ(grid, reference) << threads << " threads";
    }
  }
  strong_select_kernels(simd_ref);
}

TEST(NoiseLattice, TemporalBlocksCoverTheWholePicture) {
  strong_select_kernels(detect_simd_level());
  const int w = 1280, h = 720;
  // Every picture different but for the bottom right corner, which stays.
  auto sample = [](int x, int y, int p, int n, test_noise* noise) {
    return x >= 896 && y >= 496 ? noise->add(p ? 128.0f : 100.0f, s) : busy(x, y, 3 * n + p);
  };
  std::vector<float> reference;
  for (int threads : thread_counts) {
    exec_threads = threads;
    const strong_filter_ptr filter = strong_create(w, h, w / 2, h / 2, 1, 1);
    ASSERT_NE(filter, nullptr);
    test_noise noise(67);
    std::vector<noise_energies> parts(2 * threads);
    for (int64_t n = 0; n < 3; ++n) {
      std::vector<float> planes[3];
      strong_picture_view v;
      for (int p = 0; p < 3; ++p) {
        const int pw = p ? w / 2 : w, ph = p ? h / 2 : h;
        for (int y = 0; y < ph; ++y)
          for (int x = 0; x < pw; ++x)
            planes[p].push_back(sample(p ? 2 * x : x, p ? 2 * y : y, p, int(n), &noise));
        v.plane[p] = planes[p].data();
        v.pitch[p] = pw;
      }
      strong_push(filter.get(), n, v, sequential_exec);
      if (n > 0) strong_temporal_noise(filter.get(), n, n - 1, parts.data(), sequential_exec);
    }
    std::vector<noise_energies> luma;
    for (int t = 0; t < threads; ++t) luma.push_back(parts[2 * t]);
    const std::vector<float> temporal = sorted_union(luma, &noise_energies::temporal);
    if (threads == 1) {
      reference = temporal;
      // Two pairs of a lattice of about the picture's share each.
      EXPECT_LT(temporal.size(), size_t(4 * noise_picture_blocks));
      noise_energies alone;
      alone.temporal = temporal;
      const double truth = std::sqrt(s * s + 1.0 / 12.0);
      EXPECT_NEAR(noise_sigma_from_energies(&alone).sigma, truth, 0.1 * truth);
    } else {
      EXPECT_EQ(temporal, reference) << threads << " threads";
    }
  }
  exec_threads = 1;
  strong_select_kernels(simd_ref);
}

// Noise blurred by a 3x3 box on a still, flat picture: any vector matches,
// and the search picks, for each block, the one where the two pictures'
// noise agrees best, so that the luma read at the block's own vectors comes
// out low. Read at the vector of the block to the left (the crossed
// reading) it is not; the estimate takes that one for coloured noise, the
// same on any number of threads.
TEST(NoiseLattice, BlurredNoiseOfAStillFlatPictureIsReadAtTheLeftBlocksVectors) {
  strong_select_kernels(detect_simd_level());
  const int w = 352, h = 288;
  const double blurred = 4.0;  // the deviation after the blur
  std::vector<float> reference;
  for (int threads : thread_counts) {
    exec_threads = threads;
    const strong_filter_ptr filter = strong_create(w, h, w / 2, h / 2, 1, 1);
    ASSERT_NE(filter, nullptr);
    test_noise noise(71);
    std::vector<noise_energies> parts(2 * threads);
    noise_energies luma;
    for (int64_t n = 0; n < 6; ++n) {
      std::vector<float> planes[3];
      strong_picture_view v;
      for (int p = 0; p < 3; ++p) {
        const int pw = p ? w / 2 : w, ph = p ? h / 2 : h;
        std::vector<double> raw(size_t(pw + 2) * (ph + 2));
        for (double& r : raw) r = 3.0 * blurred * noise.normal(noise.engine);
        for (int y = 0; y < ph; ++y)
          for (int x = 0; x < pw; ++x) {
            double box = 0;
            for (int j = 0; j < 3; ++j)
              for (int i = 0; i < 3; ++i) box += raw[size_t(y + j) * (pw + 2) + x + i];
            planes[p].push_back(noise.add(float(100.0 + box / 9.0), 0.0));
          }
        v.plane[p] = planes[p].data();
        v.pitch[p] = pw;
      }
      strong_push(filter.get(), n, v, sequential_exec);
      noise_block_energies(planes[0].data(), w, w, h, &luma);
      if (n > 0) strong_temporal_noise(filter.get(), n, n - 1, parts.data(), sequential_exec);
    }
    for (int t = 0; t < threads; ++t) {
      const noise_energies& part = parts[2 * t];
      for (auto member : {&noise_energies::temporal, &noise_energies::centred,
                          &noise_energies::crossed, &noise_energies::crossed_centred})
        (luma.*member).insert((luma.*member).end(), (part.*member).begin(), (part.*member).end());
      EXPECT_TRUE(parts[2 * t + 1].crossed.empty()) << "luma only";
    }
    std::vector<noise_energies> luma_parts;
    for (int t = 0; t < threads; ++t) luma_parts.push_back(parts[2 * t]);
    const std::vector<float> crossed = sorted_union(luma_parts, &noise_energies::crossed);
    if (threads == 1) {
      reference = crossed;
      // A reading for every block but the first of each row, five pairs.
      EXPECT_EQ(crossed.size(), size_t(5 * (h / 16) * (w / 16 - 1)));
      const double truth = std::sqrt(blurred * blurred + 1.0 / 12.0);
      noise_energies own = luma;
      own.crossed.clear();
      own.crossed_centred.clear();
      const noise_reading low = noise_sigma_from_energies(&own);
      const noise_reading r = noise_sigma_from_energies(&luma);
      EXPECT_TRUE(r.coloured);
      EXPECT_LT(low.sigma, 0.93 * truth);
      EXPECT_NEAR(r.sigma, truth, 0.05 * truth);
    } else {
      EXPECT_EQ(crossed, reference) << threads << " threads";
    }
  }
  exec_threads = 1;
  strong_select_kernels(simd_ref);
}
