// The mosquito filter's SIMD versions against the scalar one where their
// layout has seams: groups of two (SSE2) or four (AVX2) quads, the last one
// reaching past the row end, column strips, the row ring, quads
// that stop at different stages inside one group, samples whose bias or sums
// saturate, and rows whose samples stay within [-8192, 8191] (biased), where
// the search is done without saturation, beside rows that leave that range by
// one.
#include "prefilter_test_util.h"

namespace {

// What the three frames hold.
enum class scene { edgy, extremes, still, mixed_calm };

// Fills src / prev / next. mixed_calm: prev = src = next except for noise in
// a random subset of quads, so that a group of four holds calm quads (stopping
// after the first stage) beside quads that search on.
void fill_scene(test_frame* f, scene kind, std::mt19937& rng, int limit) {
  if (kind == scene::edgy) {
    for (int i = 0; i < 3; ++i) fill_edgy(f[i], rng, limit);
    return;
  }
  if (kind == scene::extremes) {  // near the int16 ends, 4095 and the chroma bias seam
    static const int values[] = {-32768, -32767, -30721, -30720, -30719, 30719, 30720, 32766,
                                 32767,  4095,   4096,   -2048,  -2049,  2047,  -16384, 16383};
    for (int i = 0; i < 3; ++i)
      for (PIXEL_YC& px : f[i].mem)
        for (int k = 0; k < 3; ++k)
          (&px.y)[k] = int16_t(values[rng() % 16] + int(rng() % 3) - 1);
    return;
  }
  fill_realistic(f[0], rng, 30);
  f[1] = f[2] = f[0];
  if (kind == scene::still) return;
  for (int y = 0; y < f[0].h; ++y)
    for (int x = 2; x + 4 <= f[0].w; x += 4)
      if (rng() % 3 == 0)
        for (int p = x; p < x + 4; ++p) f[1 + rng() % 2].sample(p, y, rng() % 3) += int16_t(rng() % 40);
}

}  // namespace

// Widths around the seams: 16 (no group of four), 32 and 48 (one full group
// and a part one), one strip ending exactly at the last group (960 for SSE2,
// 1920 for AVX2), one group past a strip (968 for SSE2, 1936 for AVX2: two
// strips of 60 and 61 groups), several strips (1936 and 4000 for SSE2, 4000:
// AVX2 strips of 83, 83 and 84 groups); widths that are multiples of 8 only (8, 24, 40: the AVX2
// version hands them to the SSE2 one) and of 4 only (12, 20: gathered quads);
// pitches beyond w; both row steps; strengths off, default (small and large
// frames), top and beyond int16.
TEST(MosquitoPlanar, MatchesScalarAcrossStripsGroupsAndSaturation) {
  const int widths[] = {8, 12, 16, 20, 24, 32, 40, 48, 264, 960, 968, 1920, 1936, 4000};
  const int strengths[] = {0, 40, 450, 1800, 40000};
  unsigned seed = 0;
  for (int w : widths)
    for (scene kind : {scene::edgy, scene::extremes, scene::still, scene::mixed_calm})
      for (int field_step = 1; field_step <= 2; ++field_step) {
        std::mt19937 rng(++seed);
        const int h = kind == scene::edgy ? 16 : 32, strength = strengths[seed % 5];
        const int pitch = w + int(rng() % 3) * 5;
        test_frame f[3] = {test_frame(w, h, pitch), f[0], f[0]};
        fill_scene(f, kind, rng, 2 * strength);
        const prefilter_params p = settings(field_step, 0, 0, strength);
        test_frame ref(w, h, pitch);
        run_mosquito(0, f, p, ref);
        for (int v = 1; v < runnable_versions(); ++v) {
          test_frame out(w, h, pitch);
          run_mosquito(v, f, p, out);
          // Whole buffers, guard rows and padding included.
          ASSERT_EQ(std::memcmp(ref.mem.data(), out.mem.data(), out.mem.size() * 6), 0)
              << prefilter_versions[v].name << ", seed " << seed << ", w " << w << ", scene "
              << int(kind) << ", F " << field_step << ", strength " << strength << " at "
              << first_difference(ref, out);
        }
      }
}

// Row bands of 1, 2, 3, 4 and 7 workers over several strips: each band writes
// its own rows only, and the frames they make together are identical.
TEST(MosquitoPlanar, BandsOverStripsAgreeForAnyThreadCount) {
  const int w = 1952, h = 48, pitch = 1959;
  for (int v = 1; v < runnable_versions(); ++v)
    for (int field_step = 1; field_step <= 2; ++field_step) {
      std::mt19937 rng{unsigned(10 + field_step)};
      test_frame f[3] = {test_frame(w, h, pitch), f[0], f[0]};
      fill_scene(f, scene::mixed_calm, rng, 0);
      fill_realistic(f[2], rng, 60);  // and some noise everywhere
      const prefilter_params p = settings(field_step, 0, 0, 450);
      test_frame whole(w, h, pitch);
      run_mosquito(0, f, p, whole);
      for (int threads : {1, 2, 3, 4, 7}) {
        test_frame joined(w, h, pitch);
        for (int t = 0; t < threads; ++t) {
          test_frame band(w, h, pitch);
          FILTER_PROC_INFO fpip = frame_info(band);
          const int y0 = t * h / threads, y1 = (t + 1) * h / threads;
          prefilter_versions[v].mosquito(f[0].data(), f[1].data(), f[2].data(), &fpip, field_step,
                                         450, y0, y1);
          for (int y = -3; y < h + 3; ++y)
            for (int x = 0; x < pitch; ++x) {
              const bool mine = y >= y0 && y < y1 && x < w;
              if (!mine)
                ASSERT_EQ(std::memcmp(&band.at(x, y), &unwritten, 6), 0)
                    << prefilter_versions[v].name << ": band " << t << " of " << threads
                    << " wrote (" << x << ", " << y << ")";
              else
                joined.at(x, y) = band.at(x, y);
            }
        }
        EXPECT_EQ(first_difference(whole, joined), "")
            << prefilter_versions[v].name << ", " << threads << " threads, F " << field_step;
      }
    }
}

namespace {

// Samples (biased) at both ends of the unsaturated range and beside them,
// and a few in the middle, so that costs tie and reach the strength bound.
void fill_range_edges(test_frame* f, std::mt19937& rng) {
  static const int luma[] = {-8192, -8191, -8190, -1, 0, 1, 8189, 8190, 8191};
  for (int i = 0; i < 3; ++i)
    for (PIXEL_YC& px : f[i].mem) {
      px.y = int16_t(luma[rng() % 9]);
      px.cb = int16_t(luma[rng() % 9] - 2048);
      px.cr = int16_t(rng() % 4 ? luma[rng() % 9] - 2048 : int(rng() % 64) - 32);
    }
}

// Pushes one sample of row y one step beyond the range (luma 8192 or -8193,
// chroma that is so once biased), in a random frame and column.
void leave_range(test_frame* f, int y, std::mt19937& rng) {
  const int comp = int(rng() % 3), bias = comp ? 2048 : 0;
  f[rng() % 3].sample(int(rng() % unsigned(f[0].w)), y, comp) =
      int16_t(rng() % 2 ? 8192 - bias : -8193 - bias);
}

}  // namespace

// Frames at the edges of the unsaturated range, with a few rows (in one strip
// or another) one step outside it, for strengths whose doubled value sits at
// the stop limit (14, 16), at the top of the cost range (32764 .. 32767 and
// saturated) and below zero.
TEST(MosquitoPlanar, MatchesScalarAtTheEdgesOfTheUnsaturatedRange) {
  const int widths[] = {16, 24, 48, 400, 968, 1936};
  const int strengths[] = {-1, 0, 7, 8, 450, 16382, 16383, 16384, 32767};
  unsigned seed = 100;
  for (int w : widths)
    for (int strength : strengths)
      for (int field_step = 1; field_step <= 2; ++field_step)
        for (int outside_rows : {0, 1, 3}) {
          std::mt19937 rng(++seed);
          const int h = 24;
          test_frame f[3] = {test_frame(w, h, w + 3), f[0], f[0]};
          fill_range_edges(f, rng);
          for (int r = 0; r < outside_rows; ++r) leave_range(f, int(rng() % unsigned(h)), rng);
          const prefilter_params p = settings(field_step, 0, 0, strength);
          test_frame ref(w, h, w + 3);
          run_mosquito(0, f, p, ref);
          for (int v = 1; v < runnable_versions(); ++v) {
            test_frame out(w, h, w + 3);
            run_mosquito(v, f, p, out);
            ASSERT_EQ(std::memcmp(ref.mem.data(), out.mem.data(), out.mem.size() * 6), 0)
                << prefilter_versions[v].name << ", seed " << seed << ", w " << w << ", F "
                << field_step << ", strength " << strength << ", rows outside "
                << outside_rows << " at " << first_difference(ref, out);
          }
        }
}
