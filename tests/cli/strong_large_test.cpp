// Strong mode above the plug-in's 1920x1088: odd sizes, 4K, 10-bit and
// interlaced clips run, from a file or a pipe; the output does not depend on
// the threads, and ranges concatenate to the whole; a size above strong
// mode's own limit is refused with one clear line.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <thread>

#include "cli_test_util.h"

namespace {

size_t payload_420(int w, int h, int bytes) {
  return (size_t(w) * h + 2 * size_t((w + 1) / 2) * ((h + 1) / 2)) * bytes;
}

// Runs with the clip on standard input, written by a thread through a pipe.
cli_result run_from_pipe(const std::string& clip, std::vector<std::string> args) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  const int saved = dup(0);
  dup2(fds[0], 0);
  close(fds[0]);
  clearerr(stdin);
  std::thread writer([&] {
    size_t at = 0;
    while (at < clip.size()) {
      const ssize_t n = write(fds[1], clip.data() + at, clip.size() - at);
      if (n <= 0) break;
      at += size_t(n);
    }
    close(fds[1]);
  });
  args.insert(args.end() - 1, "-");
  const cli_result r = run_nivora(args);
  writer.join();
  dup2(saved, 0);
  close(saved);
  clearerr(stdin);
  return r;
}

}  // namespace

TEST(StrongLarge, OddSizesRunAndDoNotDependOnThreadsOrRanges) {
  for (const auto& size : {std::make_pair(1928, 1082), std::make_pair(4098, 2050)}) {
    const int w = size.first, h = size.second, frames = 4;
    const std::string name = std::to_string(w) + "x" + std::to_string(h);
    const std::string in = temp_path("large_" + name + ".y4m");
    write_file(in, make_y4m(w, h, frames, "420jpeg", 'p', 5));
    const std::string whole = temp_path("large_whole.y4m");
    cli_result r = run_nivora({"--sigma", "4", "--threads", "1", in, whole});
    ASSERT_EQ(r.status, 0) << name << ": " << r.messages;
    const std::string reference = read_file(whole);
    ASSERT_EQ(y4m_frame_count(reference, payload_420(w, h, 1)), frames) << name;
    for (int threads : {2, 3, 4, 7}) {
      const std::string out = temp_path("large_t.y4m");
      r = run_nivora({"--sigma", "4", "--threads", std::to_string(threads), in, out});
      ASSERT_EQ(r.status, 0) << name << ", " << threads << " threads: " << r.messages;
      EXPECT_TRUE(same_bytes(read_file(out), reference)) << name << ", " << threads << " threads";
    }
    const std::string a = temp_path("large_a.y4m"), b = temp_path("large_b.y4m");
    ASSERT_EQ(run_nivora({"--sigma", "4", "--range", "0:2", in, a}).status, 0) << name;
    ASSERT_EQ(run_nivora({"--sigma", "4", "--range", "2:", in, b}).status, 0) << name;
    EXPECT_TRUE(same_bytes(read_file(a) + read_file(b), reference)) << name;
  }
}

TEST(StrongLarge, A4kClipRunsFromAPipeAsFromAFile) {
  const std::string clip = make_y4m(3840, 2160, 3, "420jpeg", 'p', 9);
  const std::string in = temp_path("uhd.y4m"), from_file = temp_path("uhd_file.md5");
  write_file(in, clip);
  cli_result r = run_nivora({"--sigma", "auto", "--threads", "2", in, from_file});
  ASSERT_EQ(r.status, 0) << r.messages;
  EXPECT_NE(r.messages.find("3 frames 3840x2160"), std::string::npos) << r.messages;
  const std::string from_pipe = temp_path("uhd_pipe.md5");
  r = run_from_pipe(clip, {"--sigma", "auto", "--threads", "2", from_pipe});
  ASSERT_EQ(r.status, 0) << r.messages;
  EXPECT_EQ(read_file(from_pipe), read_file(from_file));
}

TEST(StrongLarge, DeepAndInterlacedClipsRun) {
  // 10-bit: the same clip with samples scaled by 4 comes out as the 8-bit one
  // scaled, but for the 8-bit output's rounding.
  const int w = 1928, h = 1082, frames = 3;
  const std::string in8 = temp_path("large8.y4m"), in10 = temp_path("large10.y4m");
  write_file(in8, make_y4m(w, h, frames, "420jpeg", 'p', 3));
  write_file(in10, make_y4m(w, h, frames, "420p10", 'p', 3));
  const std::string out8 = temp_path("large8_out.y4m"), out10 = temp_path("large10_out.y4m");
  ASSERT_EQ(run_nivora({"--sigma", "3", in8, out8}).status, 0);
  ASSERT_EQ(run_nivora({"--sigma", "3", in10, out10}).status, 0);
  const std::string r8 = read_file(out8), r10 = read_file(out10);
  const size_t bytes = payload_420(w, h, 1);
  ASSERT_EQ(y4m_frame_count(r10, 2 * bytes), frames);
  const size_t h8 = r8.find('\n') + 1, h10 = r10.find('\n') + 1;
  double largest = 0;
  for (int n = 0; n < frames; ++n)
    for (size_t i = 0; i < bytes; ++i) {
      const size_t p8 = h8 + n * (bytes + 6) + 6 + i, p10 = h10 + n * (2 * bytes + 6) + 6 + 2 * i;
      const double v10 = (uint8_t(r10[p10]) | (uint8_t(r10[p10 + 1]) << 8)) / 4.0;
      largest = std::max(largest, std::fabs(v10 - uint8_t(r8[p8])));
    }
  EXPECT_LE(largest, 0.75);

  // Interlaced: field by field, each field 1025 rows, of pictures above 1920.
  const std::string tff = temp_path("large_tff.y4m"), tff_out = temp_path("large_tff_out.y4m");
  write_file(tff, make_y4m(4098, 2050, frames, "420jpeg", 't', 4));
  cli_result r = run_nivora({"--sigma", "3", "--threads", "3", tff, tff_out});
  ASSERT_EQ(r.status, 0) << r.messages;
  EXPECT_NE(r.messages.find("by field"), std::string::npos) << r.messages;
  EXPECT_EQ(y4m_frame_count(read_file(tff_out), payload_420(4098, 2050, 1)), frames);
}

TEST(StrongLarge, SizesAboveTheLimitAreRefusedWithOneLine) {
  for (const char* header : {"YUV4MPEG2 W8193 H64 C420jpeg\n", "YUV4MPEG2 W64 H8194 C420jpeg\n"}) {
    const std::string in = temp_path("huge.y4m");
    write_file(in, header);
    const cli_result r = run_nivora({"--sigma", "3", in, temp_path("huge_out.y4m")});
    EXPECT_EQ(r.status, 1) << header;
    EXPECT_NE(r.messages.find("exceeds strong mode's limit of 8192x8192"), std::string::npos)
        << r.messages;
    EXPECT_EQ(std::count(r.messages.begin(), r.messages.end(), '\n'), 1) << r.messages;
  }
  // The plug-in's filter keeps its own limit and message.
  const std::string uhd = temp_path("uhd_plugin.y4m");
  write_file(uhd, "YUV4MPEG2 W3840 H2160 C420jpeg\n");
  const cli_result plugin = run_nivora({"--plugin", uhd, temp_path("uhd_plugin_out.y4m")});
  EXPECT_EQ(plugin.status, 1);
  EXPECT_NE(plugin.messages.find("frame size 3840x2160 exceeds the filter's limit of 1920x1088"),
            std::string::npos)
      << plugin.messages;
}
