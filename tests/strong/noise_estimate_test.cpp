// The noise estimator on planes of known noise: flat, textured, with edges,
// and without noise.
#include <gtest/gtest.h>

#include <cmath>

#include "strong/strong.h"
#include "strong_test_util.h"

namespace {

constexpr int width = 320, height = 192, frames = 4;

// Estimate over `frames` planes made by picture(x, y, n) plus noise s.
template <typename Picture>
float estimate(Picture picture, double s, uint32_t seed) {
  test_noise noise(seed);
  std::vector<float> plane(size_t(width) * height);
  noise_energies energies;
  for (int n = 0; n < frames; ++n) {
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        plane[size_t(y) * width + x] = noise.add(picture(x, y, n), s);
    noise_block_energies(plane.data(), width, width, height, &energies);
  }
  return noise_sigma_from_energies(&energies).sigma;
}

}  // namespace

TEST(NoiseEstimate, FlatPlanesGiveTheNoiseDeviation) {
  for (double s : {1.0, 2.0, 3.0, 5.0, 10.0, 20.0}) {
    // Rounding to whole code values adds 1/12 to the variance.
    const double truth = std::sqrt(s * s + 1.0 / 12.0);
    const float e = estimate([](int, int, int) { return 100.0f; }, s, 7);
    EXPECT_NEAR(e, truth, 0.05 * truth) << "sigma " << s;
  }
}

TEST(NoiseEstimate, TextureAndEdgesAreNotTakenForNoise) {
  // Texture over three quarters of the picture, flat elsewhere.
  auto textured = [](int x, int y, int n) {
    return x < 3 * width / 4 ? texture_at(x + 0.7 * n, y) : 90.0f;
  };
  // Sharp steps between random levels every 24 pixels in both directions.
  auto edged = [](int x, int y, int) {
    const uint32_t cell = uint32_t(x / 24) * 7919u + uint32_t(y / 24) * 104729u;
    return float(40 + (cell * 2654435761u >> 24) % 170);
  };
  for (double s : {2.0, 5.0, 10.0}) {
    const double truth = std::sqrt(s * s + 1.0 / 12.0);
    EXPECT_NEAR(estimate(textured, s, 11), truth, 0.1 * truth) << "texture, sigma " << s;
    EXPECT_NEAR(estimate(edged, s, 13), truth, 0.1 * truth) << "edges, sigma " << s;
  }
  // Without noise the estimate stays near zero, texture or not.
  EXPECT_LT(estimate(textured, 0.0, 17), 0.35f);
  EXPECT_LT(estimate(edged, 0.0, 19), 0.05f);
}

TEST(NoiseEstimate, ClippedBlocksAndTinyPlanesAreLeftOut) {
  // Black with noise: the clipped samples would read too little noise.
  noise_energies energies;
  test_noise noise(23);
  std::vector<float> plane(64 * 64);
  for (float& v : plane) v = noise.add(2.0f, 5.0);
  noise_block_energies(plane.data(), 64, 64, 64, &energies);
  EXPECT_TRUE(energies.grid.empty());
  EXPECT_TRUE(energies.rows.empty());
  // A plane smaller than one block has none; no blocks give 0.
  noise_block_energies(plane.data(), 64, 20, 20, &energies);
  const noise_reading none = noise_sigma_from_energies(&energies);
  EXPECT_EQ(none.sigma, 0.0f);
  EXPECT_FALSE(none.measured);
}

TEST(NoiseEstimate, InterlacedFramesAreReadFieldByField) {
  // Woven frames whose two fields show different pictures: sharp steps
  // between random levels, panned 6 pixels a field time, the second field
  // also darker: combing along every edge. Each field read as a picture of its
  // own (every second row) gives the noise.
  auto woven = [](int x, int y, int n) {
    const int t = 2 * n + (y & 1);  // field time
    const uint32_t cell = uint32_t((x + 6 * t + 600) / 24) * 7919u + uint32_t(y / 24) * 104729u;
    const float level = float(40 + (cell * 2654435761u >> 24) % 170);
    return (y & 1) ? 0.6f * level + 20.0f : level;
  };
  for (double s : {0.0, 2.0, 5.0, 10.0}) {
    const double truth = std::sqrt(s * s + 1.0 / 12.0);
    test_noise noise(29);
    std::vector<float> frame(size_t(width) * height);
    noise_energies fields, whole;
    for (int n = 0; n < frames; ++n) {
      for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
          frame[size_t(y) * width + x] = s > 0 ? noise.add(woven(x, y, n), s)
                                               : std::floor(woven(x, y, n) + 0.5f);
      for (int f = 0; f < 2; ++f)
        noise_block_energies(frame.data() + f * width, 2 * width, width, height / 2, &fields);
      noise_block_energies(frame.data(), width, width, height, &whole);
    }
    const float by_field = noise_sigma_from_energies(&fields).sigma;
    if (s > 0)
      EXPECT_NEAR(by_field, truth, 0.1 * truth) << "sigma " << s;
    else
      EXPECT_LT(by_field, 0.35f);
    // The grid mask across the woven rows reads the combing (the row mask
    // does not see it), clearly so at low noise.
    noise_energies grid_only;
    grid_only.grid = grid_only.rows = whole.grid;
    if (s <= 2.0) {
      EXPECT_GT(noise_sigma_from_energies(&grid_only).sigma, 1.5 * truth + 0.5) << "sigma " << s;
    }
  }
}

namespace {

// Pooled energies of `frames` planes made by picture(x, y, n) plus noise
// (white, or white blurred by a 3x3 box, of deviation s), with the temporal
// reading of every 16x16 block against the same block of the plane before
// (the pictures do not move); with plain_only, without the centred reading.
template <typename Picture>
noise_reading estimate_in_time(Picture picture, double s, bool blurred, uint32_t seed,
                               bool plain_only = false, int temporal_block = 16) {
  test_noise noise(seed);
  std::vector<float> plane(size_t(width) * height), before(plane.size());
  std::vector<double> raw(size_t(width + 2) * (height + 2));
  noise_energies energies;
  for (int n = 0; n < frames; ++n) {
    for (double& r : raw) r = blurred ? 3.0 * s * noise.normal(noise.engine) : 0.0;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        double box = 0;
        for (int j = 0; j < 3; ++j)
          for (int i = 0; i < 3; ++i) box += raw[size_t(y + j) * (width + 2) + x + i];
        const float v = picture(x, y, n) + float(box / 9.0);
        plane[size_t(y) * width + x] = blurred ? noise.add(v, 0.0) : noise.add(v, s);
      }
    noise_block_energies(plane.data(), width, width, height, &energies);
    if (n > 0)
      for (int by = 0; by + temporal_block <= height; by += temporal_block)
        for (int bx = 0; bx + temporal_block <= width; bx += temporal_block)
          if (noise_temporal_reading e;
              noise_temporal_energy(plane.data() + by * width + bx, width,
                                    before.data() + by * width + bx, width, temporal_block,
                                    temporal_block, 2.0f, &e)) {
            energies.temporal.push_back(e.plain);
            if (!plain_only) energies.centred.push_back(e.centred);
          }
    before = plane;
  }
  energies.temporal_samples = temporal_block * temporal_block;
  return noise_sigma_from_energies(&energies);
}

// Cells of 2x2 pixels, light or dark, one in a hundred turned over every
// picture: every block is dense with edges.
float cells(int x, int y, int n) {
  const uint32_t cell = uint32_t(x / 2) * 7919u + uint32_t(y / 2) * 104729u;
  uint32_t light = (cell * 2654435761u) >> 31;
  for (int k = 1; k <= n; ++k) light ^= ((cell ^ uint32_t(k) * 0x9e3779b9u) * 2246822519u >> 20) % 100 == 0;
  return light ? 235.0f : 16.0f;
}

// Cells of 2x2 pixels as a game of life with a trail draws them: a third
// alive (light, steady), the others dead and fading, 7 code values lighter
// every picture, back to the darkest level after twelve (a dead cell that
// turns over). Most samples of a block change by the same step.
float fading_trail(int x, int y, int n) {
  const uint32_t cell = (uint32_t(x / 2) * 7919u + uint32_t(y / 2) * 104729u) * 2654435761u;
  if (cell % 3 == 0) return 184.0f;
  return 61.0f + 7.0f * float((cell / 3 + uint32_t(n)) % 12);
}

// Cells of 2x2 pixels that stay, in a light that rises by 5 code values a
// picture.
float brightening(int x, int y, int n) { return 0.8f * cells(x, y, 0) + 20.0f + 5.0f * float(n); }

// A flat picture that jumps by 100 code values every second picture: beyond
// the magnitudes the bins place, so no offset can be taken out.
float jumping(int, int, int n) { return 60.0f + 100.0f * float(n % 2); }

}  // namespace

TEST(NoiseEstimate, GraphicsAndTextureThatStayAreNotNoise) {
  auto textured = [](int x, int y, int) { return texture_at(x, y); };
  // Read in space alone, dense cells look like heavy noise.
  noise_energies spatial;
  std::vector<float> plane(size_t(width) * height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) plane[size_t(y) * width + x] = cells(x, y, 0);
  noise_block_energies(plane.data(), width, width, height, &spatial);
  EXPECT_GT(noise_sigma_from_energies(&spatial).sigma, 10.0f);
  // Their difference in time holds only the noise (the grouped median of
  // whole code values reads a block of zeros and a few changed cells as about
  // 0.3: below what the command line takes for nothing to remove).
  EXPECT_LT(estimate_in_time(cells, 0.0, false, 31).sigma, 0.4f);
  EXPECT_LT(estimate_in_time(textured, 0.0, false, 37).sigma, 0.4f);
  for (double s : {2.0, 5.0}) {
    const double truth = std::sqrt(s * s + 1.0 / 12.0);
    EXPECT_NEAR(estimate_in_time(cells, s, false, 41).sigma, truth, 0.1 * truth) << "sigma " << s;
    EXPECT_NEAR(estimate_in_time(textured, s, false, 43).sigma, truth, 0.1 * truth)
        << "sigma " << s;
  }
}

TEST(NoiseEstimate, BlurredNoiseIsFoundAtTheCoarserScales) {
  auto flat = [](int, int, int) { return 100.0f; };
  auto textured = [](int x, int y, int) { return texture_at(x, y); };
  for (double s : {3.0, 5.0}) {
    const double truth = std::sqrt(s * s + 1.0 / 12.0);
    // A 4x4 cell's mean of noise blurred by a 3x3 box varies about 5.4 times
    // as much as white noise's: its coarse level is about 2.3 times its
    // deviation.
    // Its temporal reading, over blocks of fewer independent samples than
    // white noise's, is taken for that (it read 0.85 to 0.9 of the truth
    // before); blocks of 64 samples (chroma in 4:2:0) likewise.
    for (const noise_reading r :
         {estimate_in_time(flat, s, true, 47), estimate_in_time(textured, s, true, 53),
          estimate_in_time(flat, s, true, 61, false, 8)}) {
      EXPECT_NEAR(r.sigma, truth, 0.07 * truth) << "sigma " << s;
      EXPECT_GT(r.coarse, 2.0f * r.sigma) << "sigma " << s;
      EXPECT_LT(r.coarse, 2.8f * r.sigma) << "sigma " << s;
      EXPECT_TRUE(r.coloured) << "sigma " << s;
    }
    // White noise reads as before, the same at both scales.
    for (const noise_reading white :
         {estimate_in_time(textured, s, false, 59),
          estimate_in_time(flat, s, false, 67, false, 8)}) {
      EXPECT_NEAR(white.sigma, truth, 0.1 * truth) << "sigma " << s;
      EXPECT_EQ(white.coarse, white.sigma) << "sigma " << s;
      EXPECT_FALSE(white.coloured) << "sigma " << s;
    }
  }
}

// A change of level over most of a block (a trail that fades, a light that
// changes) is no noise: the temporal reading takes each block's median
// difference out where that leaves clearly less, so that clean graphics read
// below what the command line takes for nothing to remove, while noise over
// them is still read in full.
TEST(NoiseEstimate, ChangesOfLevelAreNotNoise) {
  for (auto picture : {&fading_trail, &brightening}) {
    const char* name = picture == &fading_trail ? "trail" : "light";
    EXPECT_LT(estimate_in_time(picture, 0.0, false, 61).sigma, 0.5f) << name;
    EXPECT_GT(estimate_in_time(picture, 0.0, false, 61, true).sigma, 3.0f) << name;
    for (double s : {2.0, 5.0}) {
      const double truth = std::sqrt(s * s + 1.0 / 12.0);
      const float got = estimate_in_time(picture, s, false, 67).sigma;
      EXPECT_GT(got, 0.9 * truth) << name << ", sigma " << s;
      if (picture == &brightening) {
        EXPECT_LT(got, 1.1 * truth) << name << ", sigma " << s;
      } else {
        // A third of the trail's samples do not fade: a step away from the
        // offset, they raise the median magnitude, less than the offset did
        // while the step is large beside the noise; at sigma 5 the two
        // readings are alike and the plain one stays.
        const float plain = estimate_in_time(picture, s, false, 67, true).sigma;
        EXPECT_LT(got, (s < 3.0 ? 0.8 : 1.0001) * plain) << name << ", sigma " << s;
      }
    }
  }
  for (double s : {2.0, 5.0}) {
    const double truth = std::sqrt(s * s + 1.0 / 12.0);
    EXPECT_NEAR(estimate_in_time(jumping, s, false, 71).sigma, truth, 0.1 * truth)
        << "jump, sigma " << s;
  }
}
