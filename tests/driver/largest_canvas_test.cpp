// The largest canvas class (1984 x 1152), reached by 1920 x 1080 with a
// maximum height of 1088 and by 1456 x 1080, through the whole frame path:
// every kernel level and thread count gives the frames of the scalar kernels
// on one thread.
#include <gtest/gtest.h>

#include <vector>

#include "clips.h"
#include "frame/buffers.h"
#include "host/cpu.h"
#include "host/host_api.h"
#include "platform/platform.h"
#include "test_host.h"

namespace {

// Frame 1 of a three-frame clip, radius 1, both pre-filters on, with the
// filter loaded once per size; each run starts from an empty ring. The thread
// count is the host's thread_num; the workers run one after another unless
// `parallel` (the split of the work is what depends on the count).
uint64_t run(int level, int threads, bool parallel = false) {
  test_host& th = the_test_host();
  select_kernels(level);
  th.threads = threads;
  th.parallel = parallel;
  func_update(&th.filter, 0);
  test_host_run(1);
  return frame_hash(th.edit.data(), th.w, th.h, th.max_w);
}

}  // namespace

TEST(LargestCanvas, EveryLevelAndThreadCountGivesTheScalarFrames) {
  platform_set_quiet(true);
  const int top = detect_simd_level();
  for (int w : {1920, 1456}) {
    test_host_setup(w, 1080, 3, w, 1088,
                    [](int n, int x, int y) { return clip_pixel(11, n, x, y, 40, 2); });
    test_host& th = the_test_host();
    th.track[0] = 1;
    th.check[2] = th.check[3] = 1;
    func_init(&th.filter);
    const uint64_t want = run(simd_ref, 1);
    EXPECT_EQ(canvas_w, 1984);
    EXPECT_EQ(canvas_h, 1152);
    for (int level = simd_sse2; level <= top; ++level)
      for (int threads : {1, 2, 3, 4, 7})
        EXPECT_EQ(run(level, threads), want) << w << "x1080 level " << level << " threads "
                                             << threads;
    EXPECT_EQ(run(top, 3, true), want) << w << "x1080 on three real threads";
    func_exit(&th.filter);
  }
  select_kernels(top);
}
