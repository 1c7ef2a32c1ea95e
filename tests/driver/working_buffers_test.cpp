// The working buffers as the driver allocates them: every worker's scratch
// holds what the analysis and the temporal stage need on every canvas class.
#include <gtest/gtest.h>

#include "analysis/analysis.h"
#include "driver/driver.h"
#include "frame/buffers.h"
#include "temporal/temporal.h"

TEST(WorkingBuffers, EveryWorkerHasScratchForEveryStage) {
  for (int cls = 0; cls < 3; ++cls) {
    canvas_w = cls == 0 ? 832 : (cls == 1 ? 1472 : 1984);
    canvas_h = cls == 0 ? 512 : 1152;
    ring_n = 3;
    ASSERT_TRUE(allocate_working_buffers());
    EXPECT_GE(worker_scratch_stride, analysis_scratch_floats(canvas_w, canvas_h));
    EXPECT_GE(worker_scratch_stride, temporal_scratch_floats(canvas_w, canvas_h));
    // The column pass needs 56 canvas columns' worth, the row pass three
    // eight-row groups of a canvas row.
    EXPECT_GE(worker_scratch_stride, (size_t)56 * canvas_h);
    EXPECT_GE(worker_scratch_stride, (size_t)24 * canvas_w);
  }
  free_buffers();
  canvas_w = max_canvas_w;
  canvas_h = max_canvas_h;
  ring_n = 5;
}
