// Whole frames with every worker count from 1 to 64 (and above the cap) give
// the frames of one worker, with each pre-filter on and off and per-field
// processing on and off. The frame size leaves most counts not dividing the
// items of a stage, and is large enough that up to 30 workers share a stage.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "clips.h"
#include "host/cpu.h"
#include "host/host_api.h"
#include "host/settings.h"
#include "platform/platform.h"
#include "test_host.h"

namespace {

constexpr int clip_w = 720, clip_h = 480, clip_frames = 3;

// Frame hashes of the clip played 0, 1, 1 at Frame 1: frame 0 analyses three
// frames, frame 1 one, and the repeat of frame 1 runs the temporal stage
// whole, the others its two halves.
std::vector<uint64_t> play(int threads, bool parallel, const int check[4], int level = -1) {
  test_host_setup(clip_w, clip_h, clip_frames, clip_w, clip_h, [](int n, int x, int y) {
    return clip_pixel(11, n, x, y, 30, 1);
  });
  test_host& th = the_test_host();
  th.track[0] = 1;  // Frame 1
  for (int i = 0; i < 4; ++i) th.check[i] = check[i];
  th.threads = threads;
  th.parallel = parallel;
  force_kernel_level(level);
  func_init(&th.filter);
  func_update(&th.filter, 0);
  std::vector<uint64_t> hashes;
  for (int n : {0, 1, 1}) {
    test_host_run(n);
    hashes.push_back(frame_hash(th.edit.data(), clip_w, clip_h, th.max_w));
  }
  func_exit(&th.filter);
  force_kernel_level(-1);
  return hashes;
}

class WorkerCount : public ::testing::Test {
 protected:
  void SetUp() override { platform_set_quiet(true); }
};

}  // namespace

// Every worker count against one worker, for the pre-filter settings (block and
// mosquito, each on and off) with per-field processing as given.
void check_every_count(int field) {
  for (int setting = 0; setting < 4; ++setting) {
    int check[4] = {};
    check[check_block] = setting & 1;
    check[check_mosquito] = (setting >> 1) & 1;
    check[check_field] = field;
    const std::vector<uint64_t> one = play(1, false, check);
    // The workers of a call run one after another here: each still sees only
    // its own share and scratch, so any overlap or gap shows in the frames.
    for (int threads = 2; threads <= 66; ++threads) {
      ASSERT_EQ(play(threads, false, check), one)
          << threads << " workers, block " << check[check_block] << " mosquito "
          << check[check_mosquito] << " field " << check[check_field];
    }
    ASSERT_EQ(play(100, false, check), one) << "100 workers";
  }
}

TEST_F(WorkerCount, EveryCountGivesTheFramesOfOneWorkerPerField) { check_every_count(1); }

TEST_F(WorkerCount, EveryCountGivesTheFramesOfOneWorkerProgressive) { check_every_count(0); }

TEST_F(WorkerCount, RealThreadsAndNarrowerKernelsToo) {
  int check[4] = {};
  check[check_field] = 1;
  check[check_block] = check[check_mosquito] = 1;
  const std::vector<uint64_t> one = play(1, false, check);
  for (int threads : {3, 7, 13, 29, 64}) EXPECT_EQ(play(threads, true, check), one) << threads;
  // The SSE2 kernels take four rows per group in the row pass.
  const std::vector<uint64_t> sse2_one = play(1, false, check, 1);
  for (int threads : {5, 31, 64}) EXPECT_EQ(play(threads, false, check, 1), sse2_one) << threads;
}
