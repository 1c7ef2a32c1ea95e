// Strong mode end to end: a noisy pan comes out clearly closer to the clean
// one (given or estimated noise), the output does not depend on the threads,
// the kernels or the range, interlaced and deep clips run, and bad --sigma
// values and unsupported combinations get one clear line.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "cli/cli.h"
#include "cli_test_util.h"

namespace {

constexpr int width = 176, height = 96, frames = 10;
constexpr size_t luma_bytes = size_t(width) * height;
constexpr size_t frame_bytes = luma_bytes * 3 / 2;

// A 4:2:0 pan of (0.7, 0.3) pixels per frame over smooth texture; noise s
// added (rounded, clipped) when s > 0.
std::string make_pan_y4m(double s, const char* interlace = "Ip") {
  std::mt19937 rng(77);
  std::normal_distribution<double> normal;
  std::string out = "YUV4MPEG2 W" + std::to_string(width) + " H" + std::to_string(height) +
                    " F25:1 " + interlace + " A1:1 C420jpeg\n";
  for (int n = 0; n < frames; ++n) {
    out += "FRAME\n";
    for (int p = 0; p < 3; ++p) {
      const int w = p ? width / 2 : width, h = p ? height / 2 : height, scale = p ? 2 : 1;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const double u = x * scale + 0.7 * n + 17 * p, v = y * scale + 0.3 * n;
          double value = 128 + 40 * std::sin(0.23 * u + 0.07 * v) + 30 * std::sin(0.17 * v) +
                         20 * std::sin(0.31 * (u - v));
          if (p) value = 0.5 * value + 64;
          if (s > 0) value += s * normal(rng);
          value = std::floor(value + 0.5);
          out += char(uint8_t(value < 0 ? 0 : value > 255 ? 255 : value));
        }
    }
  }
  return out;
}

// Mean squared difference of the frames of two y4m streams of this size.
double frames_mse(const std::string& a, const std::string& b) {
  const size_t ha = a.find('\n') + 1, hb = b.find('\n') + 1;
  double sum = 0;
  size_t count = 0;
  for (int n = 0; n < frames; ++n) {
    const size_t pa = ha + n * (frame_bytes + 6) + 6, pb = hb + n * (frame_bytes + 6) + 6;
    for (size_t i = 0; i < frame_bytes; ++i) {
      const double d = double(uint8_t(a[pa + i])) - double(uint8_t(b[pb + i]));
      sum += d * d;
      ++count;
    }
  }
  return sum / double(count);
}

}  // namespace

TEST(StrongRun, ANoisyClipComesOutClearlyCloserToTheCleanOne) {
  const std::string clean = make_pan_y4m(0), noisy_data = make_pan_y4m(5);
  const std::string noisy = temp_path("strong_noisy.y4m"), out = temp_path("strong_out.y4m");
  write_file(noisy, noisy_data);
  const double before = frames_mse(noisy_data, clean);
  for (const char* sigma : {"5", "auto"}) {
    cli_result r = run_nivora({"--sigma", sigma, "--threads", "2", noisy, out});
    ASSERT_EQ(r.status, 0) << r.messages;
    const std::string result = read_file(out);
    ASSERT_EQ(y4m_frame_count(result, frame_bytes), frames);
    EXPECT_LT(frames_mse(result, clean), 0.4 * before) << "--sigma " << sigma;
    if (std::string(sigma) == "auto") {
      EXPECT_NE(r.messages.find("noise estimate: luma"), std::string::npos) << r.messages;
      // The summary states the level used; the estimate is near the truth.
      const size_t at = r.messages.find("luma ");
      const double estimate = std::atof(r.messages.c_str() + at + 5);
      EXPECT_NEAR(estimate, 5.0, 0.75);
    }
  }
}

TEST(StrongRun, OutputDoesNotDependOnThreadsKernelsOrRanges) {
  const std::string noisy = temp_path("strong_inv.y4m");
  write_file(noisy, make_pan_y4m(4));
  // The estimate too: its blocks are shared among the threads. At sigma 8
  // the block transform pass runs on the band where the whole window matched.
  for (const char* sigma : {"4", "8", "auto"}) {
    const std::string ref_out = temp_path("strong_inv_ref.md5");
    ASSERT_EQ(run_nivora({"--sigma", sigma, "--threads", "1", noisy, ref_out}).status, 0);
    const std::string reference = read_file(ref_out);
    ASSERT_FALSE(reference.empty());
    for (int threads : {2, 3, 4, 7}) {
      const std::string out = temp_path("strong_inv_t.md5");
      const cli_result r =
          run_nivora({"--sigma", sigma, "--threads", std::to_string(threads), noisy, out});
      ASSERT_EQ(r.status, 0) << sigma << ", " << threads << " threads: " << r.messages;
      EXPECT_EQ(read_file(out), reference) << sigma << ", " << threads << " threads";
    }
    for (const char* level : {"ref", "sse2", "avx2"}) {
      const std::string out = temp_path("strong_inv_l.md5");
      const cli_result r =
          run_nivora({"--sigma", sigma, "--cpu", level, "--threads", "3", noisy, out});
      ASSERT_EQ(r.status, 0) << sigma << ", " << level << ": " << r.messages;
      EXPECT_EQ(read_file(out), reference) << sigma << ", " << level;
    }
  }
  // Two ranges concatenate to the whole output.
  const std::string whole = temp_path("strong_whole.y4m"), a = temp_path("strong_a.y4m"),
                    b = temp_path("strong_b.y4m");
  ASSERT_EQ(run_nivora({"--sigma", "4", noisy, whole}).status, 0);
  ASSERT_EQ(run_nivora({"--sigma", "4", "--range", "0:4", noisy, a}).status, 0);
  ASSERT_EQ(run_nivora({"--sigma", "4", "--range", "4:", noisy, b}).status, 0);
  EXPECT_EQ(read_file(a) + read_file(b), read_file(whole));
}

TEST(StrongRun, InterlacedAndDeepClipsRun) {
  // Interlaced: filtered by field, so a still picture with combing keeps it.
  const std::string interlaced = temp_path("strong_tff.y4m"), out = temp_path("strong_tff_out.y4m");
  write_file(interlaced, make_pan_y4m(3, "It"));
  cli_result r = run_nivora({"--sigma", "3", interlaced, out});
  ASSERT_EQ(r.status, 0) << r.messages;
  EXPECT_NE(r.messages.find("by field"), std::string::npos) << r.messages;
  EXPECT_EQ(y4m_frame_count(read_file(out), frame_bytes), frames);
  // 10-bit: the same clip scaled by 4 comes out as the 8-bit one scaled.
  const std::string eight = make_pan_y4m(3);
  std::string deep = eight.substr(0, eight.find('\n'));
  deep.replace(deep.find("C420jpeg"), 8, "C420p10");
  deep += '\n';
  for (size_t at = eight.find('\n') + 1; at < eight.size(); at += 6 + frame_bytes) {
    deep += "FRAME\n";
    for (size_t i = 0; i < frame_bytes; ++i) {
      const unsigned v = unsigned(uint8_t(eight[at + 6 + i])) * 4;
      deep += char(v & 255);
      deep += char(v >> 8);
    }
  }
  const std::string in8 = temp_path("strong_8.y4m"), in10 = temp_path("strong_10.y4m");
  const std::string out8 = temp_path("strong_8_out.y4m"), out10 = temp_path("strong_10_out.y4m");
  write_file(in8, eight);
  write_file(in10, deep);
  ASSERT_EQ(run_nivora({"--sigma", "3", in8, out8}).status, 0);
  ASSERT_EQ(run_nivora({"--sigma", "3", in10, out10}).status, 0);
  const std::string r8 = read_file(out8), r10 = read_file(out10);
  const size_t h8 = r8.find('\n') + 1, h10 = r10.find('\n') + 1;
  ASSERT_EQ(r10.size() - h10, 2 * (r8.size() - h8) - 6 * frames);
  double largest = 0;
  for (int n = 0; n < frames; ++n)
    for (size_t i = 0; i < frame_bytes; ++i) {
      const size_t p8 = h8 + n * (frame_bytes + 6) + 6 + i;
      const size_t p10 = h10 + n * (2 * frame_bytes + 6) + 6 + 2 * i;
      const double v10 = (uint8_t(r10[p10]) | (uint8_t(r10[p10 + 1]) << 8)) / 4.0;
      largest = std::max(largest, std::fabs(v10 - uint8_t(r8[p8])));
    }
  EXPECT_LE(largest, 0.75);  // the 8-bit output's rounding only
}

TEST(StrongRun, BadSigmaAndUnsupportedCombinationsAreRefused) {
  for (const char* bad : {"0", "-1", "abc", "", "nan", "inf", "1e400", "3x"}) {
    cli_result r = run_nivora({"--sigma", bad, "in.y4m", "out.y4m"});
    EXPECT_EQ(r.status, 2) << bad;
    EXPECT_NE(r.messages.find("--sigma"), std::string::npos) << r.messages;
  }
  cli_result huge = run_nivora({"--sigma", "1e16", "in.y4m", "out.y4m"});
  EXPECT_EQ(huge.status, 2);
  EXPECT_NE(huge.messages.find("at most"), std::string::npos) << huge.messages;
  cli_result missing = run_nivora({"in.y4m", "out.y4m", "--sigma"});
  EXPECT_EQ(missing.status, 2);
  cli_result mixed = run_nivora({"--sigma", "2", "--w3dyl", "5", "in.y4m", "out.y4m"});
  EXPECT_EQ(mixed.status, 2);
  EXPECT_NE(mixed.messages.find("plug-in"), std::string::npos) << mixed.messages;

  const std::string noisy = temp_path("strong_refuse.y4m");
  write_file(noisy, make_pan_y4m(2));
  // The largest level accepted runs: every neighbour and the whole
  // neighbourhood count as noise, and the output is still a clip.
  const std::string largest = temp_path("strong_largest.y4m");
  cli_result big = run_nivora({"--sigma", "1e15", noisy, largest});
  EXPECT_EQ(big.status, 0) << big.messages;
  EXPECT_EQ(y4m_frame_count(read_file(largest), frame_bytes), frames);
  cli_result yc48 = run_nivora({"--sigma", "2", noisy, temp_path("strong.yc48")});
  EXPECT_EQ(yc48.status, 1);
  EXPECT_NE(yc48.messages.find("not yc48"), std::string::npos) << yc48.messages;
  cli_result colour =
      run_nivora({"--sigma", "2", "--output-colorspace", "444p16", noisy, temp_path("s.y4m")});
  EXPECT_EQ(colour.status, 1);
  cli_result raw = run_nivora({"--sigma", "2", "--size", "16x16", noisy + ".yc48", temp_path("t.y4m")});
  EXPECT_NE(raw.status, 0);
}

TEST(StrongRun, SaysWhenThereIsNothingToRemove) {
  // A clean clip: the estimate line says so, and the clip comes out as it is.
  const std::string clean = temp_path("strong_clean.y4m"), out = temp_path("strong_clean_out.y4m");
  const std::string clean_data = make_pan_y4m(0);
  write_file(clean, clean_data);
  cli_result r = run_nivora({"--sigma", "auto", clean, out});
  ASSERT_EQ(r.status, 0) << r.messages;
  EXPECT_NE(r.messages.find("noise estimate: luma 0."), std::string::npos) << r.messages;
  EXPECT_NE(r.messages.find("nothing to remove"), std::string::npos) << r.messages;
  EXPECT_NE(r.messages.find("--sigma S"), std::string::npos) << r.messages;
  EXPECT_EQ(frames_mse(read_file(out), clean_data), 0.0);
  // Smaller than a block of the estimate: too small to estimate, said so.
  const std::string tiny = temp_path("strong_tiny.y4m");
  write_file(tiny, make_y4m(12, 10, 4, "420jpeg", 'p', 3));
  r = run_nivora({"--sigma", "auto", tiny, out});
  ASSERT_EQ(r.status, 0) << r.messages;
  EXPECT_NE(r.messages.find("noise estimate: luma 0.00, chroma 0.00: no block could be read"),
            std::string::npos)
      << r.messages;
}
