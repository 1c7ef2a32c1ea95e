// Frames, content and runners for the pre-filter tests.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "frame/stage_params.h"
#include "host/cpu.h"
#include "prefilter/prefilter.h"

constexpr PIXEL_YC unwritten = {0x5a5a, -0x5a5b, 0x2d2d};

// A w x h frame at pitch `pitch` with three guard rows above and below.
struct test_frame {
  int w, h, pitch;
  std::vector<PIXEL_YC> mem;
  test_frame(int w_, int h_, int pitch_, PIXEL_YC fill = unwritten)
      : w(w_), h(h_), pitch(pitch_), mem(size_t(pitch_) * (h_ + 6), fill) {}
  PIXEL_YC* data() const { return const_cast<PIXEL_YC*>(mem.data()) + 3 * pitch; }
  PIXEL_YC& at(int x, int y) const { return data()[y * pitch + x]; }
  int16_t& sample(int x, int y, int comp) const { return (&at(x, y).y)[comp]; }
};

// Where the w x h pictures first differ ("" when they agree).
inline std::string first_difference(const test_frame& a, const test_frame& b) {
  for (int i = 0; i < a.w * a.h * 3; ++i) {
    const int x = i / 3 % a.w, y = i / 3 / a.w;
    if (a.sample(x, y, i % 3) != b.sample(x, y, i % 3))
      return "(" + std::to_string(x) + ", " + std::to_string(y) + ") component " +
             std::to_string(i % 3) + ": " + std::to_string(a.sample(x, y, i % 3)) + " vs " +
             std::to_string(b.sample(x, y, i % 3));
  }
  return "";
}

struct prefilter_version {
  const char* name;
  block_nr_rows_fn block;
  mosquito_nr_rows_fn mosquito;
};
// Versions by kernel level band: ref, SSE2 (levels 1-2), AVX2 (level 3).
const prefilter_version prefilter_versions[3] = {
    {"ref", block_nr_rows_ref, mosquito_nr_rows_ref},
    {"sse2", block_nr_rows_sse2, mosquito_nr_rows_sse2},
    {"avx2", block_nr_rows_avx2, mosquito_nr_rows_avx2}};
inline int version_of_level(int level) { return level >= 3 ? 2 : (level > 0 ? 1 : 0); }
// The versions this processor can run.
inline int runnable_versions() { return detect_simd_level() >= 3 ? 3 : 2; }
inline std::string version_name(const ::testing::TestParamInfo<int>& i) {
  return prefilter_versions[i.param].name;
}

inline prefilter_params settings(int field_step, int diff, int sum, int strength, int anime = 0) {
  prefilter_params p{};
  p.field_step = field_step, p.strength_a = diff, p.strength_b = sum, p.strength_c = strength;
  p.anime = uint8_t(anime);
  return p;
}

// Whole-frame runs of a kernel version (v 0 ref, 1 sse2, 2 avx2) into out.
inline FILTER_PROC_INFO frame_info(const test_frame& out) {
  FILTER_PROC_INFO fpip{};
  fpip.w = out.w, fpip.h = out.h, fpip.max_w = out.pitch, fpip.max_h = out.h;
  fpip.ycp_edit = fpip.ycp_temp = out.data();
  return fpip;
}
inline void run_block(int v, const test_frame& src, const prefilter_params& p, test_frame& out) {
  const FILTER_PROC_INFO fpip = frame_info(out);
  prefilter_versions[v].block(&fpip, src.data(), p.field_step, p.strength_a, p.strength_b, 0,
                              src.h, p.anime);
}
inline void run_mosquito(int v, const test_frame* f, const prefilter_params& p, test_frame& out) {
  const FILTER_PROC_INFO fpip = frame_info(out);
  prefilter_versions[v].mosquito(f[0].data(), f[1].data(), f[2].data(), &fpip, p.field_step,
                                 p.strength_c, 0, out.h);
}

// Luma base + 0..spread, chroma 0..spread and -spread..0; with spread 0
// realistic values instead: luma -300..4500, chroma -2100..2100.
inline void fill_realistic(test_frame& f, std::mt19937& rng, int spread = 0) {
  std::uniform_int_distribution<int> luma(-300, 4500), chroma(-2100, 2100), near(0, spread);
  for (PIXEL_YC& p : f.mem)
    p = spread ? PIXEL_YC{int16_t(1000 + near(rng)), int16_t(near(rng)), int16_t(-near(rng))}
               : PIXEL_YC{int16_t(luma(rng)), int16_t(chroma(rng)), int16_t(chroma(rng))};
}

// Edge-biased runs of four pixels: int16 extremes, flat tiles, steps of exactly
// +-limit and one off it, small noise, skin tones at their exclusive bounds.
inline void fill_edgy(test_frame& f, std::mt19937& rng, int limit) {
  static const int extremes[] = {-32768, -32767, -16385, -16384, -2049, -2048, 0,     1,
                                 2047,   2048,   4095,   4096,   4470,  16384, 32766, 32767};
  static const int skin[3][4] = {{1400, 1401, 2999, 3000}, {-680, -679, 279, 280},
                                 {-50, -49, 599, 600}};
  const int steps[8] = {0, limit - 1, limit, limit + 1, -limit, -limit - 1, 1, -1};
  for (int t = 0; t < f.pitch * (f.h + 6) / 4; ++t) {
    const unsigned kind = rng() % 6;
    const int base[3] = {int(rng() % 4800) - 300, int(rng() % 4200) - 2100, int(rng() % 200)};
    for (int i = t * 4; i < t * 4 + 4; ++i)
      for (int k = 0; k < 3; ++k) {
        const int v = kind == 0 ? int(int16_t(rng())) : kind == 1 ? extremes[rng() % 16]
                    : kind == 2 ? base[k] : kind == 3 ? base[k] + steps[rng() % 8]
                    : kind == 4 ? base[k] + int(rng() % 7) - 3 : skin[k][rng() % 4];
        (&f.mem[size_t(i)].y)[k] = int16_t(v < -32768 ? -32768 : (v > 32767 ? 32767 : v));
      }
  }
}
