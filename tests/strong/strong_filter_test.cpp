// The strong filter on synthetic clips: a noisy sub-pixel pan comes out much
// closer to the clean pan, a still clip stays still, the result does not
// depend on the thread count nor on the kernels, and the settings rule.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "host/cpu.h"
#include "strong/strong.h"
#include "strong/strong_internal.h"
#include "strong_test_util.h"

namespace {

constexpr int width = 200, height = 120;  // not multiples of 16
constexpr int chroma_w = width / 2, chroma_h = height / 2;
constexpr int clip_frames = 9;

int threads_for_exec = 1;
// Runs the job for every thread, one after another (each writes its own rows).
int sequential_exec(void (*job)(int, int, void*, void*), void* p1, void* p2) {
  for (int t = 0; t < threads_for_exec; ++t) job(t, threads_for_exec, p1, p2);
  return 1;
}

struct test_clip {
  std::vector<std::vector<float>> clean[3], noisy[3];
};

// A pan of (0.6, 0.35) pixels per frame over the texture, 4:2:0, with noise s;
// still, or with each frame at a place far from the last (far).
test_clip make_pan(double s, uint32_t seed, bool still = false, bool far = false) {
  test_clip c;
  test_noise noise(seed);
  for (int n = 0; n < clip_frames; ++n) {
    double dx = still ? 0 : 0.6 * n, dy = still ? 0 : 0.35 * n;
    if (far) dx = 397.0 * n, dy = 211.0 * (n % 4);
    for (int p = 0; p < 3; ++p) {
      const int w = p ? chroma_w : width, h = p ? chroma_h : height, scale = p ? 2 : 1;
      std::vector<float> clean(size_t(w) * h), noisy(size_t(w) * h);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const float v = texture_at(x * scale + dx + 31 * p, y * scale + dy);
          clean[size_t(y) * w + x] = p ? 0.5f * v + 64.0f : v;
          noisy[size_t(y) * w + x] = noise.add(clean[size_t(y) * w + x], s);
        }
      c.clean[p].push_back(clean);
      c.noisy[p].push_back(noisy);
    }
  }
  return c;
}

// Filters every frame; returns the output planes of every frame.
std::vector<std::vector<float>> run_filter(const test_clip& c, float sigma, int threads,
                                           bool spatial = true) {
  threads_for_exec = threads;
  const strong_filter_ptr filter = strong_create(width, height, chroma_w, chroma_h, 1, 1);
  EXPECT_NE(filter, nullptr);
  strong_filter* f = filter.get();
  strong_params params = strong_params_for(sigma, sigma);
  if (!spatial) params.spatial_strength = 0.0f;
  std::vector<std::vector<float>> result;
  int64_t pushed = 0;
  auto push = [&](int64_t n) {
    strong_picture_view v;
    for (int p = 0; p < 3; ++p) {
      v.plane[p] = c.noisy[p][n].data();
      v.pitch[p] = p ? chroma_w : width;
    }
    strong_push(f, n, v, sequential_exec);
  };
  for (int64_t n = 0; n < clip_frames; ++n) {
    // As the command line reads: the first pictures' window reaches 2 radius on.
    while (pushed < clip_frames && pushed <= std::max<int64_t>(n + params.radius, 2 * params.radius))
      push(pushed++);
    std::vector<float> out[3];
    float* planes[3];
    int pitches[3];
    for (int p = 0; p < 3; ++p) {
      pitches[p] = (p ? chroma_w : width) + 3;  // a pitch wider than the plane
      out[p].assign(size_t(pitches[p]) * (p ? chroma_h : height), -1.0f);
      planes[p] = out[p].data();
    }
    strong_process(f, params, n, 0, clip_frames - 1, planes, pitches, sequential_exec);
    for (int p = 0; p < 3; ++p) {
      std::vector<float> plane;
      for (int y = 0; y < (p ? chroma_h : height); ++y)
        plane.insert(plane.end(), out[p].begin() + size_t(y) * pitches[p],
                     out[p].begin() + size_t(y) * pitches[p] + (p ? chroma_w : width));
      result.push_back(plane);
    }
  }
  return result;
}

double mse(const std::vector<float>& a, const std::vector<float>& b) {
  double s = 0;
  for (size_t i = 0; i < a.size(); ++i) s += (double(a[i]) - b[i]) * (double(a[i]) - b[i]);
  return s / double(a.size());
}

}  // namespace

TEST(StrongFilter, ANoisyPanComesOutMuchCloserToTheCleanOne) {
  strong_select_kernels(detect_simd_level());
  for (double s : {3.0, 10.0}) {
    const test_clip c = make_pan(s, 5);
    const std::vector<std::vector<float>> out = run_filter(c, float(s), 2);
    double before = 0, after = 0;
    for (int n = 0; n < clip_frames; ++n)
      for (int p = 0; p < 3; ++p) {
        before += mse(c.noisy[p][n], c.clean[p][n]);
        after += mse(out[size_t(n) * 3 + p], c.clean[p][n]);
      }
    // Seven well-aligned frames average the noise power down several times.
    EXPECT_LT(after, 0.4 * before) << "sigma " << s;
  }
}

// The first and last pictures draw on a whole window too, all of it on one
// side: a noisy still clip comes out about as clean at its ends as in its
// middle (with only the neighbours on one side of a centred window, the ends
// keep nearly twice the noise power).
TEST(StrongFilter, TheClipsEndsDrawOnAWholeWindow) {
  strong_select_kernels(detect_simd_level());
  const test_clip c = make_pan(5.0, 9, true);
  const std::vector<std::vector<float>> out = run_filter(c, 5.0f, 2, false);
  const auto left = [&](int n) {
    double e = 0;
    for (int p = 0; p < 3; ++p) e += mse(out[size_t(n) * 3 + p], c.clean[p][n]);
    return e;
  };
  const double middle = left(clip_frames / 2);
  for (int n : {0, 1, clip_frames - 2, clip_frames - 1})
    EXPECT_LT(left(n), 1.25 * middle) << "picture " << n << ", middle " << middle;
}

// The temporal mean of a still clip is the clip (the "noisy" clip at noise 0
// is the clean one rounded to whole values).
TEST(StrongFilter, AStillCleanClipStaysAsItIsInTime) {
  const test_clip c = make_pan(0.0, 1, true);
  const std::vector<std::vector<float>> out = run_filter(c, 2.0f, 1, false);
  for (int n = 0; n < clip_frames; ++n)
    for (int p = 0; p < 3; ++p) {
      const std::vector<float>& o = out[size_t(n) * 3 + p];
      for (size_t i = 0; i < o.size(); ++i)
        ASSERT_NEAR(o[i], c.noisy[p][n][i], 1e-4) << "frame " << n << " plane " << p;
    }
}

// Also where the neighbours are weighed down (each frame far from the last).
TEST(StrongFilter, OutputDoesNotDependOnThreadsOrKernels) {
  for (const bool far : {false, true}) {
    const test_clip c = make_pan(5.0, 9, false, far);
    strong_select_kernels(detect_simd_level());
    const std::vector<std::vector<float>> reference = run_filter(c, 5.0f, 1);
    // 100: more workers than have scratch (max_workers); the rest stay idle.
    for (int threads : {2, 3, 4, 7, 11, 100}) {
      const std::vector<std::vector<float>> out = run_filter(c, 5.0f, threads);
      for (size_t i = 0; i < out.size(); ++i)
        ASSERT_TRUE(std::memcmp(out[i].data(), reference[i].data(), out[i].size() * 4) == 0)
            << threads << " threads, plane " << i << (far ? ", far" : "");
    }
    for (int level = simd_ref; level <= detect_simd_level(); ++level) {
      strong_select_kernels(level);
      const std::vector<std::vector<float>> out = run_filter(c, 5.0f, 3);
      for (size_t i = 0; i < out.size(); ++i)
        ASSERT_TRUE(std::memcmp(out[i].data(), reference[i].data(), out[i].size() * 4) == 0)
            << "level " << level << ", plane " << i << (far ? ", far" : "");
    }
  }
  strong_select_kernels(simd_ref);
}

TEST(StrongFilter, SettingsFollowTheNoiseLevel) {
  EXPECT_EQ(strong_params_for(0.0f, 0.0f).radius, 0);
  for (float s : {0.3f, 1.0f, 5.0f, 1.0e20f}) {
    const strong_params p = strong_params_for(s, s / 2);
    EXPECT_GT(p.radius, 0);
    EXPECT_LE(p.radius, strong_max_radius);
    EXPECT_EQ(p.sigma_luma, s);
    EXPECT_EQ(p.sigma_chroma, s / 2);
    EXPECT_LT(p.block_low, p.block_high);
    EXPECT_LT(p.sample_low, p.sample_high);
    EXPECT_GT(p.transform_min_share, 0.0f);
  }
}

TEST(StrongFilter, TheSpatialPassSmoothsFlatNoiseAndKeepsEdges) {
  // One picture, nothing averaged in time (weight sum 1): a step of 100
  // between two flat halves, with noise 4.
  constexpr int w = 64, h = 40;
  test_noise noise(3);
  std::vector<float> t(w * h), weight(w * h, 1.0f), out(w * h), scratch(2 * (w + 8));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) t[y * w + x] = noise.add(x < w / 2 ? 60.0f : 160.0f, 4.0);
  for (int level = simd_ref; level <= detect_simd_level() && level <= simd_sse2; ++level) {
    strong_select_kernels(level);
    spatial_rows(t.data(), weight.data(), w, h, 16.0f, 1.0f, 0, h, scratch.data(), out.data(), w);
    double flat_before = 0, flat_after = 0;
    int flat = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const float truth = x < w / 2 ? 60.0f : 160.0f;
        if (x < w / 2 - 3 || x > w / 2 + 2) {
          flat_before += (t[y * w + x] - truth) * (t[y * w + x] - truth);
          flat_after += (out[y * w + x] - truth) * (out[y * w + x] - truth);
          ++flat;
        }
        // Next to the step the sample stays on its own side.
        if (x == w / 2 - 1) {
          EXPECT_LT(out[y * w + x], 85.0f);
        }
        if (x == w / 2) {
          EXPECT_GT(out[y * w + x], 135.0f);
        }
      }
    EXPECT_LT(flat_after, 0.3 * flat_before) << "level " << level;
    // Where the temporal mean already averaged many frames, little is left to do.
    std::vector<float> many(w * h, 100.0f), out_many(w * h);
    spatial_rows(t.data(), many.data(), w, h, 16.0f, 1.0f, 0, h, scratch.data(), out_many.data(), w);
    double moved = 0;
    for (int i = 0; i < w * h; ++i) moved += (out_many[i] - t[i]) * (out_many[i] - t[i]);
    EXPECT_LT(moved, 0.1 * flat_before);
  }
  strong_select_kernels(simd_ref);
}

namespace {

// A plane for the block transform pass: texture under noise of a deviation,
// the temporal mean's weight sum of every sample and its cells' inverse.
struct transform_case {
  static constexpr int w = 61, h = 45;  // not multiples of the grid's step
  static constexpr int cell_w = (w + 3) / 4, cell_h = (h + 3) / 4;
  std::vector<float> truth, t, weight, cells;
  std::vector<float> num, den, cover, band_cover, pilot, scratch;
  std::vector<int> cell_span, row_span;
  float sigma;  // of the noise before the temporal mean
  transform_plane p;

  // Noise of deviation sigma / sqrt(weight_sum) over the texture: what a
  // temporal mean of weight_sum whole frames leaves.
  transform_case(float sigma_, float weight_sum, const transform_limits& limits, uint32_t seed)
      : truth(w * h), t(w * h), weight(w * h, weight_sum), cells(cell_w * cell_h, 1.0f / weight_sum),
        num(w * h), den(w * h), cover(w * h), band_cover(w * h), pilot(w * h),
        scratch(2 * (w + 8)),
        cell_span(2 * cell_h), row_span(2 * h), sigma(sigma_) {
    test_noise noise(seed);
    for (int cy = 0; cy < cell_h; ++cy) cell_span[2 * cy + 1] = cell_w - 1;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        truth[y * w + x] = texture_at(x, y);
        t[y * w + x] = noise.add(truth[y * w + x], sigma / std::sqrt(weight_sum));
      }
    p.t = t.data();
    p.cells = cells.data();
    p.cell_w = cell_w;
    p.cell_span = cell_span.data();
    p.w = w;
    p.h = h;
    p.noise = sigma * sigma;
    p.limits = limits;
    p.num = num.data();
    p.den = den.data();
    p.cover = cover.data();
    p.band_cover = band_cover.data();
    p.row_span = row_span.data();
    p.pilot = pilot.data();
  }
  std::vector<float> local_wiener() {
    std::vector<float> out(w * h);
    spatial_rows(t.data(), weight.data(), w, h, sigma * sigma, 1.0f, 0, h, scratch.data(),
                 out.data(), w);
    return out;
  }
  // The local Wiener pass, then the transform pass in bands of rows.
  std::vector<float> run(const std::vector<int>& splits) { return run(splits, local_wiener()); }
  // The transform pass over out as the pass before it left it.
  std::vector<float> run(const std::vector<int>& splits, std::vector<float> out) {
    for (size_t i = 0; i + 1 < splits.size(); ++i) transform_pilot_rows(p, splits[i], splits[i + 1]);
    for (size_t i = 0; i + 1 < splits.size(); ++i)
      transform_wiener_rows(p, splits[i], splits[i + 1], out.data(), w);
    return out;
  }
  double error(const std::vector<float>& v) const {
    double e = 0;
    for (int i = 0; i < w * h; ++i) e += (v[i] - truth[i]) * (v[i] - truth[i]);
    return e / (w * h);
  }
};

}  // namespace

// The block transform pass on a picture that nothing was averaged with (every
// cell's inverse weight sum 1): it removes more noise from texture than the
// local Wiener pass, gives the same bits whatever bands the rows are split
// into and at every kernel level, and leaves the picture alone where the
// temporal mean already averaged enough.
TEST(StrongFilter, TheTransformPassBeatsTheLocalWienerPassWhereTimeCannotHelp) {
  transform_limits few;
  few.min_share = few.lowest = 0.4f;
  transform_case c(5.0f, 1.0f, few, 8);
  const int h = c.h;
  strong_select_kernels(simd_ref);
  const std::vector<float> lee = c.local_wiener();
  const std::vector<float> whole = c.run({0, h});
  EXPECT_LT(c.error(whole), 0.75 * c.error(lee)) << c.error(whole) << " " << c.error(lee);
  for (int level = simd_ref; level <= detect_simd_level() && level <= simd_sse2; ++level) {
    strong_select_kernels(level);
    for (const std::vector<int>& splits :
         {std::vector<int>{0, 1, 2, 30, h}, std::vector<int>{0, 7, 16, 23, 44, h}}) {
      const std::vector<float> banded = c.run(splits);
      EXPECT_EQ(std::memcmp(banded.data(), whole.data(), sizeof(float) * c.w * h), 0) << level;
    }
  }
  // Enough frames averaged everywhere: the local Wiener pass's result stays.
  std::fill(c.cells.begin(), c.cells.end(), 0.2f);
  // (The spans still cover the rows: the blocks' own means decide.)
  EXPECT_EQ(std::memcmp(c.run({0, h}).data(), lee.data(), sizeof(float) * c.w * h), 0);
  strong_select_kernels(simd_ref);
}

// The band of the whole window: at sigma 10 (nine frames, noise left 100 / 9)
// the pass runs where every neighbour matched and removes more of what is
// left from texture than the local Wiener pass, bands and levels agreeing. At
// sigma 2 (4 / 5 left) there is no band, and with a third of the window
// matched (between the band and transform_min_share) the pass stays out too:
// the local Wiener pass's result stays.
TEST(StrongFilter, TheTransformPassAlsoRunsWhereTheWholeWindowLeftMuchNoise) {
  const strong_params high = strong_params_for(10.0f, 10.0f), low = strong_params_for(2.0f, 2.0f);
  const transform_limits band = transform_limits_of(high, 0);
  const float whole = 1.0f / float(2 * high.radius + 1);
  EXPECT_LT(band.band_low, whole);
  EXPECT_GT(band.band_full, whole);
  EXPECT_EQ(band.lowest, band.band_low);
  EXPECT_EQ(transform_limits_of(low, 0).band_full, 0.0f);
  EXPECT_EQ(transform_limits_of(low, 0).lowest, low.transform_min_share);
  strong_params none = high;
  none.transform_noise_floor = 0.0f;
  EXPECT_EQ(transform_limits_of(none, 0).lowest, none.transform_min_share);

  transform_case c(10.0f, float(2 * high.radius + 1), band, 9);
  const int h = c.h;
  strong_select_kernels(simd_ref);
  const std::vector<float> lee = c.local_wiener();
  const std::vector<float> out = c.run({0, h});
  EXPECT_LT(c.error(out), 0.8 * c.error(lee)) << c.error(out) << " " << c.error(lee);
  for (int level = simd_ref; level <= detect_simd_level() && level <= simd_sse2; ++level) {
    strong_select_kernels(level);
    const std::vector<float> banded = c.run({0, 3, 17, 40, h});
    EXPECT_EQ(std::memcmp(banded.data(), out.data(), sizeof(float) * c.w * h), 0) << level;
  }
  strong_select_kernels(simd_ref);
  transform_case partial(10.0f, 3.0f, band, 9);
  EXPECT_EQ(std::memcmp(partial.run({0, h}).data(), partial.local_wiener().data(),
                        sizeof(float) * c.w * h),
            0);
  transform_case quiet(2.0f, 5.0f, transform_limits_of(low, 0), 9);
  EXPECT_EQ(std::memcmp(quiet.run({0, h}).data(), quiet.local_wiener().data(),
                        sizeof(float) * c.w * h),
            0);
}

// The dense grid (where nothing matched) and the band's each count their own
// blocks: where every block covering a sample runs fully, the estimate
// takes the sample's place whatever the local Wiener pass left there, on
// either grid. Where the two meet, the rows' splits and the kernel level
// still do not change a bit.
TEST(StrongFilter, EachGridOfTheTransformPassCountsItsOwnBlocks) {
  transform_limits limits;
  limits.min_share = 0.4f;
  limits.band_low = limits.lowest = 0.1f;
  limits.band_full = 0.2f;
  strong_select_kernels(simd_ref);
  for (const float weight_sum : {1.0f, 6.0f}) {  // share 1 (dense), 1/6 (band, say 1)
    transform_case c(6.0f, weight_sum, limits, 11);
    const std::vector<float> from_lee = c.run({0, c.h});
    const std::vector<float> from_zero = c.run({0, c.h}, std::vector<float>(c.w * c.h, 0.0f));
    EXPECT_EQ(std::memcmp(from_lee.data(), from_zero.data(), sizeof(float) * c.w * c.h), 0)
        << weight_sum;
    EXPECT_LT(c.error(from_lee), c.error(c.local_wiener())) << weight_sum;
  }
  // Left of column 29 nothing matched, right of it the whole window did.
  transform_case mixed(6.0f, 1.0f, limits, 12);
  for (int cy = 0; cy < mixed.cell_h; ++cy)
    for (int cx = 29 / 4; cx < mixed.cell_w; ++cx) mixed.cells[cy * mixed.cell_w + cx] = 1.0f / 6.0f;
  const std::vector<float> whole = mixed.run({0, mixed.h});
  for (int level = simd_ref; level <= detect_simd_level() && level <= simd_sse2; ++level) {
    strong_select_kernels(level);
    const std::vector<float> banded = mixed.run({0, 5, 6, 21, 38, mixed.h});
    EXPECT_EQ(std::memcmp(banded.data(), whole.data(), sizeof(float) * mixed.w * mixed.h), 0)
        << level;
  }
  strong_select_kernels(simd_ref);
}
