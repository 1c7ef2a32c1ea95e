// The editor's services: the worker threads and the filtering frame cache.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "cli/cli.h"
#include "cli_test_util.h"

namespace {

struct pool_probe {
  std::atomic<int> runs[8];
  std::atomic<int> wrong{0};
  int expected_threads = 0;
  void* expected_param2 = nullptr;
};

void pool_probe_job(int thread_id, int thread_num, void* param1, void* param2) {
  pool_probe* p = static_cast<pool_probe*>(param1);
  if (thread_num != p->expected_threads || param2 != p->expected_param2 || thread_id < 0 ||
      thread_id >= thread_num)
    ++p->wrong;
  // Late workers: the call must still wait for them.
  if (thread_id == thread_num - 1) std::this_thread::sleep_for(std::chrono::microseconds(50));
  ++p->runs[thread_id];
}

// A raw YC48 clip of 5 x 3 frames whose luma is 10 * the frame number.
std::string numbered_clip(int frames) {
  std::string out;
  for (int n = 0; n < frames; ++n)
    for (int i = 0; i < 15; ++i) {
      const int y = 10 * n + i % 5;
      out += char(y & 255);
      out += char(y >> 8);
      out += std::string(4, '\0');
    }
  return out;
}

struct cache_fixture {
  std::string bytes;
  FILE* file = nullptr;
  frame_source source;
  frame_cache cache;
  std::string error;
  // known: a regular file (length known); otherwise a stream.
  bool open(int frames, int radius, bool known) {
    bytes = numbered_clip(frames);
    if (known) {
      const std::string path = temp_path("numbered.yc48");
      write_file(path, bytes);
      file = fopen(path.c_str(), "rb");
    } else {
      file = fmemopen(&bytes[0], bytes.size(), "rb");
    }
    return source_open_stream(&source, file, "clip", format_yc48, 5, 3, &error) &&
           cache_init(&cache, &source, 16, 16, radius, false, &error);
  }
  ~cache_fixture() {
    if (file) fclose(file);
  }
};

int frame_of(const PIXEL_YC* frame) { return frame ? frame[0].y / 10 : -1; }

}  // namespace

TEST(ThreadPool, RunsEveryThreadOnceAndReturnsWhenAllHaveFinished) {
  pool_probe p;
  for (auto& r : p.runs) r = 0;
  int param2 = 0;
  p.expected_param2 = &param2;
  for (int threads : {1, 2, 3, 4, 7, 3}) {
    ASSERT_TRUE(start_workers(threads));
    EXPECT_EQ(worker_threads(), threads);
    // Freshly started workers must not rerun the last call of the old ones.
    int before[8];
    for (int t = 0; t < 8; ++t) before[t] = p.runs[t];
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    for (int t = 0; t < 8; ++t) EXPECT_EQ(p.runs[t], before[t]) << threads << " threads";
    for (auto& r : p.runs) r = 0;
    p.expected_threads = threads;
    for (int call = 1; call <= 100; ++call) {
      host_exec_multi_thread_func(pool_probe_job, &p, &param2);
      for (int t = 0; t < threads; ++t) ASSERT_EQ(p.runs[t], call) << threads << " threads";
    }
    EXPECT_EQ(p.wrong, 0);
  }
  stop_workers();
  EXPECT_EQ(worker_threads(), 1);
}

TEST(FrameCache, ServesTheWindowNearBothEndsOfKnownAndUnknownLengths) {
  const int clip = 9;
  for (int radius = 1; radius <= 4; ++radius)
    for (bool known : {false, true}) {
      cache_fixture f;
      ASSERT_TRUE(f.open(clip, radius, known)) << f.error;
      EXPECT_EQ(f.cache.capacity, 2 * radius + 3);
      for (int n = 0; n < clip; ++n) {
        ASSERT_TRUE(cache_prepare(&f.cache, n));
        const int64_t frame_n = cache_frame_n(&f.cache);
        // Unknown length: a count beyond the window until the end is in reach.
        ASSERT_EQ(frame_n, known ? clip : std::min(clip, n + radius + 2)) << n;
        // The driver's fetches: every window position, reflected at the ends,
        // and the neighbours of each.
        for (int i = -radius; i <= radius; ++i) {
          const int p = n + i;
          const int m = p < 0 ? -p : p >= frame_n ? int(2 * frame_n - p - 2) : p;
          if (m < 0 || m >= clip) continue;
          for (int k = m - 1; k <= m + 1; ++k) {
            if (k < 0 || k >= clip) continue;
            const PIXEL_YC* got = cache_fetch(&f.cache, k);
            ASSERT_EQ(frame_of(got), k) << "frame " << n << " radius " << radius;
            ASSERT_EQ(got[15].y, got[4].y) << "columns past the width repeat the last pixel";
          }
        }
      }
      EXPECT_FALSE(cache_prepare(&f.cache, clip));
      EXPECT_EQ(cache_frame_n(&f.cache), clip);
      EXPECT_EQ(f.cache.misses, 0);
      // Numbers outside the clip give nothing and count as no miss.
      EXPECT_EQ(cache_fetch(&f.cache, -1), nullptr);
      EXPECT_EQ(cache_fetch(&f.cache, clip), nullptr);
      EXPECT_EQ(f.cache.misses, 0);
    }
}

TEST(FrameCache, KeepsOnlyWhatTheWindowCanStillUse) {
  cache_fixture f;
  ASSERT_TRUE(f.open(60, 2, false)) << f.error;
  ASSERT_TRUE(cache_prepare(&f.cache, 40));
  for (int k = 37; k <= 43; ++k) EXPECT_EQ(frame_of(cache_held(&f.cache, k)), k);
  EXPECT_EQ(cache_held(&f.cache, 36), nullptr);
  EXPECT_EQ(cache_held(&f.cache, 44), nullptr);
  EXPECT_EQ(cache_fetch(&f.cache, 10), nullptr);
  EXPECT_EQ(f.cache.misses, 1);  // a clip frame that is gone
}

TEST(FrameCache, FetchesAreWritableCopiesValidForTwoMoreFetches) {
  cache_fixture f;
  ASSERT_TRUE(f.open(6, 1, false)) << f.error;
  ASSERT_TRUE(cache_prepare(&f.cache, 1));
  PIXEL_YC* a = cache_fetch(&f.cache, 0);
  ASSERT_NE(a, nullptr);
  a[0].y = 999;  // the filter extends frames in place
  PIXEL_YC* b = cache_fetch(&f.cache, 1);
  PIXEL_YC* c = cache_fetch(&f.cache, 2);
  ASSERT_TRUE(b && c && a != b && b != c && a != c);
  EXPECT_EQ(a[0].y, 999);
  EXPECT_EQ(frame_of(b), 1);
  EXPECT_EQ(frame_of(c), 2);
  PIXEL_YC* again = cache_fetch(&f.cache, 0);  // the fourth fetch reuses the first slot
  EXPECT_EQ(again, a);
  EXPECT_EQ(again[0].y, 0);  // the cached original was never touched
}
