// Per-frame hashes of seeded clips under many settings, recorded once. Any
// change to a frame (a kernel, a stage, an order of additions) shows here;
// a commit that changes a hash must say why.
// NIVORA_PRINT_GOLDEN=1 prints the current hashes in the table's format.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "clips.h"
#include "host/cpu.h"
#include "host/host_api.h"
#include "platform/platform.h"
#include "test_host.h"

namespace {

struct golden_case {
  const char* name;
  int w, h, frames, noise, motion;
  int track[9];
  int check[4];
  std::vector<int> order;  // playback order (empty: forward)
  std::vector<uint64_t> hashes;
};

int round16(int v) { return (v + 15) & ~15; }

std::vector<uint64_t> run_case(const golden_case& c, int threads) {
  test_host_setup(c.w, c.h, c.frames, round16(c.w), round16(c.h), [&](int n, int x, int y) {
    return clip_pixel(7, n, x, y, c.noise, c.motion);
  });
  test_host& th = the_test_host();
  for (int i = 0; i < 9; ++i) th.track[i] = c.track[i];
  for (int i = 0; i < 4; ++i) th.check[i] = c.check[i];
  th.threads = threads;
  th.parallel = threads > 1;
  func_init(&th.filter);
  func_update(&th.filter, 0);
  std::vector<int> order = c.order;
  if (order.empty())
    for (int n = 0; n < c.frames; ++n) order.push_back(n);
  std::vector<uint64_t> hashes(c.frames, 0);
  for (int n : order) {
    test_host_run(n);
    hashes[n] = frame_hash(th.edit.data(), c.w, c.h, th.max_w);
  }
  func_exit(&th.filter);
  return hashes;
}

// clang-format off
std::vector<golden_case> cases = {
  {"defaults", 96, 64, 6, 30, 1, {2, 8, 8, 8, 8, 8, 8, 5, 5}, {1, 0, 0, 0}, {}, {}},
  {"radius1_progressive", 96, 64, 5, 30, 2, {1, 8, 8, 8, 8, 8, 8, 5, 5}, {0, 0, 0, 0}, {}, {}},
  {"radius3_anime", 80, 48, 6, 30, 1, {3, 8, 8, 8, 8, 8, 8, 5, 5}, {1, 1, 0, 0}, {}, {}},
  {"radius4_backward", 64, 48, 9, 30, 1, {4, 12, 10, 6, 14, 9, 7, 5, 5}, {0, 0, 0, 0},
   {8, 7, 6, 5, 4, 3, 2, 1, 0}, {}},
  {"prefilters", 96, 64, 5, 30, 1, {2, 8, 8, 8, 8, 8, 8, 5, 5}, {1, 0, 1, 1}, {}, {}},
  {"prefilters_max_anime", 96, 64, 5, 60, 0, {2, 8, 8, 8, 8, 8, 8, 20, 20}, {0, 1, 1, 1}, {}, {}},
  {"strengths_zero", 64, 48, 4, 30, 1, {2, 0, 0, 0, 0, 0, 0, 0, 0}, {1, 0, 1, 1}, {}, {}},
  {"strengths_max_jumps", 96, 64, 7, 60, 3, {2, 30, 30, 30, 30, 30, 30, 20, 20}, {1, 0, 0, 0},
   {3, 0, 6, 1, 5, 2, 4}, {}},
  {"odd_size", 70, 37, 4, 30, 1, {2, 8, 8, 8, 8, 8, 8, 5, 5}, {1, 0, 0, 1}, {}, {}},
  {"sd_interlaced", 720, 480, 3, 30, 1, {1, 8, 8, 8, 8, 8, 8, 5, 5}, {1, 0, 1, 0}, {}, {}},
  {"hd_canvas", 736, 64, 3, 30, 1, {1, 8, 8, 8, 8, 8, 8, 5, 5}, {0, 0, 1, 0}, {}, {}},
};
// clang-format on

#include "golden_hashes.inc"

class Golden : public ::testing::Test {
 protected:
  void SetUp() override { platform_set_quiet(true); }
};

}  // namespace

TEST_F(Golden, FramesMatchTheRecordedHashes) {
  set_golden_hashes(cases);
  const bool print = std::getenv("NIVORA_PRINT_GOLDEN") != nullptr;
  for (const golden_case& c : cases) {
    const std::vector<uint64_t> got = run_case(c, 1);
    if (print) {
      std::printf("  {\"%s\", {", c.name);
      for (size_t i = 0; i < got.size(); ++i)
        std::printf("%s0x%016" PRIx64 "ull", i ? ", " : "", got[i]);
      std::printf("}},\n");
      continue;
    }
    EXPECT_EQ(got, c.hashes) << c.name;
  }
}

TEST_F(Golden, SameHashesOnRealThreads) {
  set_golden_hashes(cases);
  for (const golden_case& c : cases) {
    if (c.w > 200) continue;  // the small cases are enough here
    for (int threads : {2, 3, 16}) EXPECT_EQ(run_case(c, threads), c.hashes) << c.name << " " << threads;
  }
}
