// Initialisation, shutdown and the start of saving.
#include <gtest/gtest.h>

#include "driver/driver.h"
#include "frame/buffers.h"
#include "host/cpu.h"
#include "host/host_api.h"
#include "host/settings.h"
#include "test_host.h"

namespace {
class Lifecycle : public ::testing::Test {
 protected:
  void TearDown() override {
    func_exit(&the_test_host().filter);
    set_block_allocator(nullptr, nullptr);
    canvas_w = 1984;
    canvas_h = 1152;
    ring_n = 5;
    prev_radius = 0;
  }
};
}  // namespace

TEST_F(Lifecycle, InitPreparesTheLargestCanvasAndTheSettings) {
  test_host_setup(64, 48, 4, 64, 48);
  frame_radius = 0;
  EXPECT_EQ(func_init(&the_test_host().filter), 1);
  EXPECT_EQ(cpu_level, 2);
  EXPECT_EQ(buffers_ok, 1);
  EXPECT_NE(luma_canvas, nullptr);
  EXPECT_EQ(canvas_w, 1984);
  EXPECT_EQ(ring_n, 5);
  // Thresholds are ready before any setting change.
  EXPECT_EQ(frame_radius, 2);
  EXPECT_EQ(thr3d_y_low_v, 32.1f);
}

TEST_F(Lifecycle, ExitFreesEverythingAndCanRunTwice) {
  test_host_setup(64, 48, 4, 64, 48);
  func_init(&the_test_host().filter);
  EXPECT_EQ(func_exit(&the_test_host().filter), 1);
  EXPECT_EQ(luma_ring_a, nullptr);
  EXPECT_EQ(cr_out, nullptr);
  EXPECT_EQ(func_exit(&the_test_host().filter), 1);
  // Loading again after an unload works.
  EXPECT_EQ(func_init(&the_test_host().filter), 1);
  EXPECT_EQ(buffers_ok, 1);
}

TEST_F(Lifecycle, SavingStartsWithAnEmptyRing) {
  for (int i = 0; i < ring_slots_max; ++i) ring_frame[i] = i;
  EXPECT_EQ(func_save_start(nullptr, 0, 100, nullptr), 1);
  for (int i = 0; i < ring_slots_max; ++i) EXPECT_EQ(ring_frame[i], ring_empty);
}

TEST_F(Lifecycle, FailedAllocationAtLoadClearsFramesUntilASizeFits) {
  test_host_setup(64, 48, 6, 128, 96);
  set_block_allocator([](size_t) -> void* { return nullptr; }, nullptr);
  EXPECT_EQ(func_init(&the_test_host().filter), 1);
  EXPECT_EQ(buffers_ok, 0);
  EXPECT_EQ(luma_canvas, nullptr);
  // Frames are cleared while memory is short; the first frame at a new size
  // allocates again and processing resumes.
  set_block_allocator([](size_t) -> void* { return nullptr; }, nullptr);
  test_host_run(0);
  EXPECT_TRUE(the_test_host().stages.empty());
  EXPECT_EQ(the_test_host().edit[0].y, 0);
  set_block_allocator(nullptr, nullptr);
  the_test_host().w = 80;
  test_host_run(1);
  EXPECT_EQ(buffers_ok, 1);
  EXPECT_NE(luma_canvas, nullptr);
  EXPECT_FALSE(the_test_host().stages.empty());
}
