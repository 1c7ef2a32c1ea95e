// The stages' work split as the stages make it: small frames wake few
// workers, and at 1920x1080 on 16 workers no worker gets more than 1.1 times
// the mean share in any stage.
#include <gtest/gtest.h>

#include <vector>

#include "driver/work_split.h"
#include "frame/stage_share.h"

TEST(WorkSplit, SixteenWorkersAtFullHdGetEvenShares) {
  int work[16];
  for (int field = 0; field < 2; ++field)
    for (int lanes : {4, 8})
      for (int stage = 0; stage < split_stage_count; ++stage) {
        split_work(stage, 1920, 1088, (uint8_t)field, lanes, 16, work);
        for (int t = 0; t < 16; ++t) EXPECT_GT(work[t], 0) << split_stage_name(stage);
        EXPECT_LE(split_imbalance(work, 16), 1.1)
            << split_stage_name(stage) << " field " << field << " lanes " << lanes;
      }
}

TEST(WorkSplit, SmallFramesWakeFewWorkers) {
  std::vector<int> work(64);
  // 96x64: six column blocks, two per worker at least.
  split_work(split_columns, 96, 64, 0, 8, 64, work.data());
  int active = 0;
  for (int v : work) active += v > 0;
  EXPECT_EQ(active, 3);
  // A 64-row frame has eight blocks of eight output rows.
  split_work(split_output, 96, 64, 1, 8, 64, work.data());
  active = 0;
  for (int v : work) active += v > 0;
  EXPECT_EQ(active, 4);
  // Beyond the cap the extra workers idle and the rest share everything.
  std::vector<int> many(100);
  split_work(split_temporal_chroma, 1920, 1088, 0, 8, 100, many.data());
  int sum = 0;
  for (int t = 0; t < 100; ++t) {
    sum += many[t];
    if (t >= max_workers) {
      EXPECT_EQ(many[t], 0);
    }
  }
  EXPECT_EQ(sum, 960);
}
