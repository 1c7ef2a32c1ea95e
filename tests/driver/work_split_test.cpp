// The stages' work split: every item goes to exactly one worker whatever the
// worker count, small frames wake few workers, and at 1920x1080 on 16
// workers no worker gets more than 1.1 times the mean share in any stage.
#include <gtest/gtest.h>

#include <vector>

#include "driver/buffers.h"
#include "driver/work_split.h"

TEST(WorkSplit, SharesCoverEveryItemOnceInOrder) {
  for (int count : {0, 1, 2, 3, 7, 45, 64, 120, 144, 1000})
    for (int min_items : {1, 2, 3, 16})
      for (int threads = 1; threads <= 70; ++threads) {
        int next = 0, active = 0;
        for (int t = 0; t < threads + 2; ++t) {
          int first = -1, end = -1;
          const bool has = stage_share(count, min_items, t, threads, &first, &end);
          EXPECT_EQ(has, first < end);
          if (!has) {
            EXPECT_EQ(first, 0);
            EXPECT_EQ(end, 0);
            continue;
          }
          EXPECT_EQ(first, next) << count << " " << min_items << " " << threads << " " << t;
          next = end;
          ++active;
          EXPECT_LT(t, threads);
          EXPECT_LT(t, max_workers);
          // At least the minimum, unless there is less than that at all.
          EXPECT_GE(end - first, count < min_items ? count : min_items);
        }
        EXPECT_EQ(next, count) << count << " " << min_items << " " << threads;
        EXPECT_EQ(active, stage_workers(count, min_items, threads) * (count > 0 ? 1 : 0));
      }
  int first = 0, end = 0;
  EXPECT_FALSE(stage_share(1000, 1, -1, 4, &first, &end));
  EXPECT_FALSE(stage_share(1000, 1, 64, 100, &first, &end));  // above the cap: idle
  EXPECT_TRUE(stage_share(1000, 1, 63, 100, &first, &end));
  EXPECT_EQ(end, 1000);
}

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
