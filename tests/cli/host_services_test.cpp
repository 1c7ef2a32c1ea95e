// The editor's services: the worker threads and the filtering frame cache.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "cli/cli.h"
#include "cli_test_util.h"

namespace {

std::string pixel_text(const PIXEL_YC& p) {
  return "(" + std::to_string(p.y) + ", " + std::to_string(p.cb) + ", " + std::to_string(p.cr) +
         ")";
}

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
    cache_free(&cache);
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

TEST(ThreadPool, AProcessEndsWithWorkersStillWaiting) {
  // A run that returns early (a failed check, an error path) leaves its
  // workers waiting for the next call; the process must still end. The alarm
  // turns a hang into a failure.
  for (int threads : {2, 7})
    EXPECT_EXIT(
        {
          alarm(10);
          pool_probe p;
          start_workers(threads);
          host_exec_multi_thread_func(pool_probe_job, &p, nullptr);
          exit(0);
        },
        testing::ExitedWithCode(0), "")
        << threads << " threads";
}

TEST(FrameCache, ServesTheWindowNearBothEndsOfKnownAndUnknownLengths) {
  const int clip = 9;
  for (int radius = 1; radius <= 4; ++radius)
    for (bool known : {false, true}) {
      SCOPED_TRACE("radius " + std::to_string(radius) + (known ? ", length known" : ", stream"));
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
  for (bool known : {false, true}) {
    SCOPED_TRACE(known ? "length known" : "stream");
    cache_fixture f;
    ASSERT_TRUE(f.open(60, 2, known)) << f.error;
    ASSERT_TRUE(cache_prepare(&f.cache, 40));
    for (int k = 37; k <= 43; ++k) {
      EXPECT_TRUE(cache_has(&f.cache, k)) << k;
      EXPECT_EQ(frame_of(cache_fetch(&f.cache, k)), k);
    }
    EXPECT_FALSE(cache_has(&f.cache, 36));
    EXPECT_FALSE(cache_has(&f.cache, 44));
    EXPECT_EQ(cache_fetch(&f.cache, 10), nullptr);
    EXPECT_EQ(f.cache.misses, 1);  // a clip frame that is gone
  }
}

// Frames 5 x 3 at pitch 16, 16 rows: the filter may write below and right of
// the picture; a frame still in a slot comes back without a new conversion
// and with that area restored; the slot used least recently is replaced.
TEST(FrameCache, FetchSlotsAreReusedAndRestoredOutsideThePicture) {
  for (bool known : {false, true}) {
    cache_fixture f;
    ASSERT_TRUE(f.open(6, 1, known)) << f.error;
    ASSERT_TRUE(cache_prepare(&f.cache, 2));
    PIXEL_YC* a = cache_fetch(&f.cache, 0);
    ASSERT_NE(a, nullptr);
    const PIXEL_YC below = a[3 * 16 + 2], right = a[16 + 9];
    a[3 * 16 + 2].y = 999;  // the filter extends frames downward in place
    a[16 + 9].cb = 999;
    PIXEL_YC* b = cache_fetch(&f.cache, 1);
    PIXEL_YC* c = cache_fetch(&f.cache, 2);
    ASSERT_TRUE(b && c && a != b && b != c && a != c);
    EXPECT_EQ(a[3 * 16 + 2].y, 999) << "valid while two further frames are fetched";
    EXPECT_EQ(f.cache.conversions, 3);
    EXPECT_EQ(cache_fetch(&f.cache, 0), a);
    EXPECT_EQ(f.cache.conversions, 3) << "frame 0 was still in its slot";
    // The area past the picture is restored on every fetch.
    EXPECT_EQ(pixel_text(a[3 * 16 + 2]), pixel_text(below)) << "below the picture";
    EXPECT_EQ(pixel_text(a[16 + 9]), pixel_text(right)) << "right of the picture";
    EXPECT_EQ(frame_of(a), 0);
    EXPECT_EQ(cache_fetch(&f.cache, 3), b) << "frame 1's slot was used least recently";
    EXPECT_EQ(frame_of(b), 3);
    EXPECT_EQ(frame_of(cache_fetch(&f.cache, 1)), 1);
    EXPECT_EQ(f.cache.conversions, 5);
    EXPECT_EQ(frame_of(a), 0);
    EXPECT_EQ(frame_of(b), 3);
  }
}

namespace {

// The frames of a clip decoded independently of the cache: each frame's
// bytes read in order and converted whole.
std::vector<std::vector<PIXEL_YC>> decode_all(const std::string& bytes, stream_format format,
                                              int w, int h, bool field_aware, int pitch,
                                              int rows) {
  std::string copy = bytes;
  FILE* file = fmemopen(&copy[0], copy.size(), "rb");
  frame_source source;
  std::string error;
  std::vector<std::vector<PIXEL_YC>> frames;
  EXPECT_TRUE(source_open_stream(&source, file, "clip", format, w, h, &error)) << error;
  chroma_rows map;
  make_chroma_rows(source.video, field_aware, &map);
  while (source_read(&source, &error) == read_ok) {
    frames.emplace_back(size_t(pitch) * rows);
    payload_to_frame(source.payload.data(), format, source.video, map, frames.back().data(),
                     pitch, rows);
  }
  fclose(file);
  return frames;
}

// A cache over a clip's bytes, from a regular file (read back by offset) or
// from a memory stream (samples held).
struct clip_cache {
  std::string bytes;
  FILE* file = nullptr;
  frame_source source;
  frame_cache cache;
  std::string error;
  bool open(const std::string& data, stream_format format, int w, int h, bool seekable,
            int pitch, int rows, int radius, bool field_aware) {
    bytes = data;
    if (seekable) {
      const std::string path = temp_path("clip_cache.bin");
      write_file(path, bytes);
      file = fopen(path.c_str(), "rb");
    } else {
      file = fmemopen(&bytes[0], bytes.size(), "rb");
    }
    return source_open_stream(&source, file, "clip", format, w, h, &error) &&
           source.seekable == seekable &&
           cache_init(&cache, &source, pitch, rows, radius, field_aware, &error);
  }
  ~clip_cache() {
    cache_free(&cache);
    if (file) fclose(file);
  }
};

// The frame fetched against the expected pixels; when they differ, the first
// pixel that does, with both values.
testing::AssertionResult same_pixels(const PIXEL_YC* a, const std::vector<PIXEL_YC>& b) {
  if (!a) return testing::AssertionFailure() << "no frame";
  for (size_t i = 0; i < b.size(); ++i)
    if (memcmp(&a[i], &b[i], sizeof(PIXEL_YC)) != 0)
      return testing::AssertionFailure() << "pixel " << i << " is " << pixel_text(a[i])
                                         << ", expected " << pixel_text(b[i]);
  return testing::AssertionSuccess();
}

// Resident pages of a page-aligned block.
size_t resident_pages(const void* block, size_t bytes) {
  const size_t page = size_t(sysconf(_SC_PAGESIZE));
  std::vector<unsigned char> in((bytes + page - 1) / page);
  if (mincore(const_cast<void*>(block), bytes, in.data()) != 0) return size_t(-1);
  size_t n = 0;
  for (unsigned char c : in) n += c & 1;
  return n;
}

// A write makes at most the page it lands on resident: one small page, or one
// 2 MiB page where the kernel backs the block with large pages.
bool at_most_one_page(size_t pages) {
  const size_t page = size_t(sysconf(_SC_PAGESIZE));
  return pages >= 1 && pages * page <= (size_t(2) << 20);
}

}  // namespace

TEST(FrameCache, FramesReadBackMatchTheStreamInEveryLayout) {
  // Heights that end mid-step and chroma maps whose rows interleave (per
  // field), so every step of a read-back takes a different span of chroma rows;
  // the frames come back the same whichever frames share the fetch slots.
  const struct {
    const char* colorspace;  // "" for raw YC48
    int w, h;
    bool field_aware;
  } layouts[] = {
      {"420jpeg", 37, 75, false}, {"420jpeg", 37, 75, true}, {"420p10", 20, 66, true},
      {"422", 18, 33, true},      {"444p16", 9, 97, false},  {"", 23, 70, false},
  };
  for (const auto& l : layouts) {
    const bool raw = !l.colorspace[0];
    const stream_format format = raw ? format_yc48 : format_y4m;
    std::string data =
        raw ? make_yc48(l.w, l.h, 6, 11) : make_y4m(l.w, l.h, 6, l.colorspace, 'p', 11);
    if (!raw) {
      video_format f;
      std::string error;
      ASSERT_TRUE(y4m_parse_header(data.data(), data.find('\n'), &f, &error));
      data = with_frame_parameters(data, frame_payload_bytes(format_y4m, f));
    }
    const int pitch = (l.w + 15) & ~15, rows = (l.h + 15) & ~15;
    const auto expected = decode_all(data, format, l.w, l.h, l.field_aware, pitch, rows);
    ASSERT_EQ(expected.size(), 6u);
    // Conversions are shared out over the worker threads; a file, and a
    // stream's temporary file, are read back in steps of rows (the default,
    // and short steps). A stream whose temporary file cannot be made (no
    // such TMPDIR) is held in memory.
    const char* tmpdir = getenv("TMPDIR");
    const std::string saved_tmpdir = tmpdir ? tmpdir : "";
    for (int threads : {1, 3})
      for (int way = 0; way < 3; ++way)
        for (int step : {0, 7}) {
          const bool seekable = way == 0, in_memory = way == 2;
          if (in_memory && step) continue;
          ASSERT_TRUE(start_workers(threads));
          if (in_memory) setenv("TMPDIR", "/nonexistent/nivora-test", 1);
          clip_cache c;
          const bool opened =
              c.open(data, format, l.w, l.h, seekable, pitch, rows, 1, l.field_aware);
          if (!tmpdir) unsetenv("TMPDIR");
          else setenv("TMPDIR", saved_tmpdir.c_str(), 1);
          ASSERT_TRUE(opened) << c.error;
          EXPECT_EQ(c.cache.held != nullptr, in_memory);
          EXPECT_EQ(c.cache.spill_fd >= 0, way == 1);
          if (step) c.cache.strip_rows = step;
          for (int n = 0; n < 6; ++n) {
            ASSERT_TRUE(cache_prepare(&c.cache, n));
            for (int k = std::max(0, n - 2); k <= std::min(5, n + 2); ++k)
              ASSERT_TRUE(same_pixels(cache_fetch(&c.cache, k), expected[k]))
                  << (raw ? "yc48" : l.colorspace) << " " << l.w << "x" << l.h << " field "
                  << l.field_aware << (seekable ? " file" : in_memory ? " held stream" : " stream")
                  << ", frame " << k
                  << ", " << threads << " threads, step " << step;
          }
          EXPECT_FALSE(c.cache.read_error || c.cache.read_back_failed) << c.cache.error;
        }
    stop_workers();
  }
}

TEST(FrameCache, ReadsFramesBackFromWhereTheyStartFarIntoTheFile) {
  // Frame headers of every length: offsets must be recorded, not computed.
  const int w = 10, h = 6, frames = 120, radius = 4;
  const std::string data =
      with_frame_parameters(make_y4m(w, h, frames, "420jpeg", 'p', 21), w * h * 3 / 2);
  const auto expected = decode_all(data, format_y4m, w, h, false, 16, 16);
  clip_cache c;
  ASSERT_TRUE(c.open(data, format_y4m, w, h, true, 16, 16, radius, false)) << c.error;
  EXPECT_EQ(c.cache.held, nullptr) << "a seekable file needs no samples held";
  for (int n = 0; n < frames; n += 7) {
    ASSERT_TRUE(cache_prepare(&c.cache, n));
    // The oldest frame still kept, after the newest, and again after that.
    const int oldest = std::max(0, n - radius - 1), newest = std::min(frames - 1, n + radius + 1);
    ASSERT_TRUE(same_pixels(cache_fetch(&c.cache, newest), expected[newest])) << newest;
    ASSERT_TRUE(same_pixels(cache_fetch(&c.cache, oldest), expected[oldest])) << oldest;
    ASSERT_TRUE(same_pixels(cache_fetch(&c.cache, oldest), expected[oldest])) << oldest;
  }
  EXPECT_EQ(c.cache.misses, 0);
}

TEST(FrameCache, AFileThatShrinksUnderItEndsTheRunWithAMessage) {
  // Read back by one thread, and by three side by side (one message).
  for (int threads : {1, 3}) {
    const std::string data = make_y4m(8, 40, 10, "420jpeg", 'p', 4);
    ASSERT_TRUE(start_workers(threads));
    clip_cache c;
    ASSERT_TRUE(c.open(data, format_y4m, 8, 40, true, 16, 48, 1, false)) << c.error;
    ASSERT_TRUE(cache_prepare(&c.cache, 6));
    ASSERT_EQ(truncate(temp_path("clip_cache.bin").c_str(), off_t(data.size() / 2)), 0);
    EXPECT_EQ(cache_fetch(&c.cache, 7), nullptr);
    EXPECT_TRUE(c.cache.read_back_failed);
    EXPECT_NE(c.cache.error.find("clip: cannot read frame 7 back"), std::string::npos)
        << c.cache.error;
    EXPECT_FALSE(cache_prepare(&c.cache, 7));
    stop_workers();
  }
}

TEST(HostBuffers, PagesNoStageWritesTakeNoMemory) {
  const size_t bytes = size_t(64) << 20;
  void* block = lazy_alloc(bytes);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(resident_pages(block, bytes), 0u);
  static_cast<char*>(block)[bytes / 2] = 1;
  EXPECT_TRUE(at_most_one_page(resident_pages(block, bytes)));
  lazy_free(block, bytes);

  // The fetch slots and the edit buffers cost nothing until written.
  const std::string data = make_y4m(640, 480, 3, "420jpeg", 'p', 2);
  clip_cache c;
  ASSERT_TRUE(c.open(data, format_y4m, 640, 480, true, 640, 480, 2, false)) << c.error;
  const size_t slot_bytes = sizeof(PIXEL_YC) * c.cache.frame_pixels;
  EXPECT_EQ(resident_pages(c.cache.fetch, slot_bytes * fetch_slot_count), 0u);
  ASSERT_TRUE(cache_prepare(&c.cache, 0));
  ASSERT_NE(cache_fetch(&c.cache, 0), nullptr);
  // (Slot 0's last large page may reach into slot 1.)
  EXPECT_LE(resident_pages(c.cache.fetch + c.cache.frame_pixels, 2 * slot_bytes) *
                size_t(sysconf(_SC_PAGESIZE)),
            size_t(2) << 20);

  FILTER_DLL table = *GetFilterTable();  // the records only, no filter behind them
  table.func_init = nullptr;
  table.func_exit = nullptr;
  table.func_update = nullptr;
  static editor_host e;
  editor_open(&e, &table, table.track_default, table.check_default);
  ASSERT_TRUE(editor_prepare(&e, &c.cache, 640, 480, 640, 480));
  EXPECT_EQ(resident_pages(e.edit, slot_bytes), 0u);
  EXPECT_EQ(resident_pages(e.temp, slot_bytes), 0u);
  editor_close(&e);
}
