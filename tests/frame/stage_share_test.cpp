// The work split every float stage uses: every item goes to exactly one
// worker, in order, whatever the worker count, with at least the minimum per
// worker and no worker above the cap.
#include <gtest/gtest.h>

#include "frame/stage_share.h"

TEST(StageShare, SharesCoverEveryItemOnceInOrder) {
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
