// Block noise on frames wide enough for the planar SIMD path: strips and their
// overlapping last strip, row bands with guard rows, limits around every
// switch of the arithmetic, skin-tone pairs beside plain ones, saturating
// samples, and the thread count. Every version must equal the scalar one.
#include "prefilter_test_util.h"

namespace {

// Widths: narrow (quad path), one strip short of full, exactly one full strip,
// a full strip plus a short overlapping one, several strips.
constexpr int widths[] = {16, 32, 48, 64, 80, 96, 112, 128, 192, 208, 400};
// Difference limits: none, tiny (a quarter or half of them 0), the default,
// the top of the slider, and out-of-proportion ones up to saturation.
constexpr int diff_limits[] = {-40, 0, 1, 2, 3, 4, 7, 40, 160, 255, 256, 4095, 4096, 8190, 40000};
constexpr int sum_limits[] = {-80, 0, 1, 3, 4, 80, 320, 2047, 2048, 4096, 32766, 32767, 70000};

// Runs version v on rows [y0, y1) into out (left at its fill elsewhere).
void run_band(int v, const test_frame& src, const prefilter_params& p, int y0, int y1,
              test_frame& out) {
  const FILTER_PROC_INFO fpip = frame_info(out);
  prefilter_versions[v].block(&fpip, src.data(), p.field_step, p.strength_a, p.strength_b, y0, y1,
                              p.anime);
}

// Pixel pairs of the row at y: skin tones (first pixel inside the range, or
// just on its exclusive bounds) next to plain pairs.
void sprinkle_skin(test_frame& f, std::mt19937& rng) {
  static const PIXEL_YC skin[] = {{2000, 0, 100},    {1401, -679, -49}, {2999, 279, 599},
                                  {1400, 0, 100},    {3000, 0, 100},    {2000, 280, 100},
                                  {2000, -680, 100}, {2000, 0, -50},    {2000, 0, 600}};
  for (int y = -3; y < f.h + 3; ++y)
    for (int x = 0; x + 1 < f.pitch; x += 2)
      if (rng() % 3 == 0) {
        const PIXEL_YC s = skin[rng() % 9];
        f.at(x, y) = {int16_t(s.y + int(rng() % 5) - 2), s.cb, s.cr};
      }
}

// Flat areas (luma and chroma) with single outliers of the limit itself and
// one below or above it, as luma, skin luma and chroma see them.
void place_outliers(test_frame& f, std::mt19937& rng, int diff) {
  const int16_t flat[3] = {int16_t(rng() % 2 ? 2000 : 500), 0, 100};
  for (int y = -3; y < f.h + 3; ++y)
    for (int x = 0; x < f.pitch; ++x) f.at(x, y) = {flat[0], flat[1], flat[2]};
  const int sizes[] = {diff, diff - 1, diff + 1, diff / 2, diff / 2 - 1, diff / 4, diff / 4 - 1};
  for (int i = 0; i < f.w * f.h / 12; ++i) {
    const int comp = int(rng() % 3), v = sizes[rng() % 7] * (rng() % 2 ? 1 : -1);
    int16_t& s = f.sample(int(rng() % unsigned(f.w)), int(rng() % unsigned(f.h)), comp);
    s = int16_t(s + v < -32768 ? -32768 : (s + v > 32767 ? 32767 : s + v));
  }
}

}  // namespace

// Bands of random rows into guarded frames: every version writes exactly the
// scalar version's samples, and only the w pixels of the band's rows.
TEST(PrefilterBlockPlanar, MatchesScalarOnStripsLimitsAndBands) {
  for (unsigned seed = 1; seed <= 600; ++seed) {
    std::mt19937 rng(seed);
    const int w = widths[seed % 11], h = 16 * int(1 + rng() % 3);
    const int pitch = w + (seed % 4 == 0 ? 0 : int(rng() % 40));
    prefilter_params p = settings(1 + int(rng() % 2), diff_limits[rng() % 15],
                                  sum_limits[rng() % 13], 0, int(rng() % 3 == 0));
    if (seed % 3 == 0) {  // proportional limits, BlockNR 0 .. 20
      const int level = int(rng() % 21);
      p.strength_a = level * 8, p.strength_b = level * 16;
    }
    test_frame src(w, h, pitch);
    switch (seed % 4) {
      case 0:
        fill_edgy(src, rng, p.strength_a);
        break;
      case 1:
        fill_realistic(src, rng, int(rng() % 60));
        break;
      case 2:
        place_outliers(src, rng, p.strength_a);
        break;
      default:
        fill_edgy(src, rng, p.strength_a / 4);
        sprinkle_skin(src, rng);
        break;
    }
    int y0 = int(rng() % unsigned(h)), y1 = int(rng() % unsigned(h + 1));
    if (y0 > y1) std::swap(y0, y1);
    if (seed % 5 == 0) y0 = 0, y1 = h;
    test_frame ref(w, h, pitch);
    run_band(0, src, p, y0, y1, ref);
    // What lies outside the picture (guard rows, padding) must not matter.
    for (int y = -3; y < h + 3; ++y)
      for (int x = 0; x < pitch; ++x)
        if (y < 0 || y >= h || x >= w) src.at(x, y) = {int16_t(rng()), int16_t(rng()), 0};
    for (int v = 1; v < runnable_versions(); ++v) {
      test_frame out(w, h, pitch);
      run_band(v, src, p, y0, y1, out);
      ASSERT_EQ(std::memcmp(ref.mem.data(), out.mem.data(), out.mem.size() * 6), 0)
          << prefilter_versions[v].name << ", seed " << seed << ", w " << w << ", F "
          << p.field_step << ", limits " << p.strength_a << "/" << p.strength_b << ", anime "
          << int(p.anime) << ", rows " << y0 << ".." << y1 << ": " << first_difference(ref, out);
    }
  }
}

// Through the worker entry: 1, 2, 3, 4 and 7 threads give the same frame.
TEST(PrefilterBlockPlanar, AnyThreadCountGivesTheSameFrame) {
  for (int v = 0; v < runnable_versions(); ++v) {
    prefilter_kernels.block_nr_rows = prefilter_versions[v].block;
    for (int field_step = 1; field_step <= 2; ++field_step) {
      std::mt19937 rng(unsigned(7 + field_step));
      const int w = 208, h = 64, pitch = 213;
      test_frame src(w, h, pitch), one(w, h, pitch);
      fill_realistic(src, rng, 40);
      sprinkle_skin(src, rng);
      prefilter_params p = settings(field_step, 40, 80, 0);
      p.src = src.data();
      FILTER_PROC_INFO fpip = frame_info(one);
      block_nr_job(0, 1, &p, &fpip);
      EXPECT_NE(first_difference(one, src), "");
      for (int threads : {2, 3, 4, 7}) {
        test_frame many(w, h, pitch);
        fpip.ycp_edit = many.data();
        for (int t = threads - 1; t >= 0; --t) block_nr_job(t, threads, &p, &fpip);
        EXPECT_EQ(std::memcmp(one.mem.data(), many.mem.data(), many.mem.size() * 6), 0)
            << prefilter_versions[v].name << ", F " << field_step << ", " << threads
            << " threads: " << first_difference(one, many);
      }
    }
  }
  prefilter_select_kernels(detect_simd_level());
}
