// The frame driver seen from the editor: size checks and messages, the rounded
// size the stages see, the temporal window over the ring cache, the pre-filter
// hand-over and the order of the stages.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "analysis/analysis.h"
#include "driver/driver.h"
#include "frame/buffers.h"
#include "frame/stage_params.h"
#include "host/cpu.h"
#include "host/host_api.h"
#include "host/settings.h"
#include "platform/platform.h"
#include "prefilter/prefilter.h"
#include "temporal/temporal.h"
#include "test_host.h"

namespace {

PIXEL_YC pattern(int n, int x, int y) {
  return PIXEL_YC{(short)(100 * n + x + 3 * y), (short)(x - y), (short)(n - x)};
}

class Driver : public ::testing::Test {
 protected:
  void SetUp() override {
    platform_set_quiet(true);
    platform_call_log().clear();
  }
  void TearDown() override {
    func_exit(&the_test_host().filter);
    set_block_allocator(nullptr, nullptr);
    prev_w = 1920;
    prev_h = 1088;
    prev_radius = 0;
    canvas_w = 1984;
    canvas_h = 1152;
    ring_n = 5;
  }
  // A clip and a fresh filter, initialised as the editor does.
  test_host& start(int w, int h, int frame_n, int max_w, int max_h) {
    test_host_setup(w, h, frame_n, max_w, max_h, pattern);
    func_init(&the_test_host().filter);
    return the_test_host();
  }
  static bool rows_zero(const test_host& th, int rows) {
    return std::all_of(th.edit.begin(), th.edit.begin() + (size_t)th.max_w * rows,
                       [](const PIXEL_YC& p) { return p.y == 0 && p.cb == 0 && p.cr == 0; });
  }
  static bool rows_untouched(const test_host& th, int from) {
    return std::all_of(th.edit.begin() + (size_t)th.max_w * from, th.edit.end(),
                       [](const PIXEL_YC& p) { return p.y == 0x55 && p.cb == 0x55; });
  }
  std::vector<std::string> boxes() {
    std::vector<std::string> texts;
    for (auto& c : platform_call_log())
      if (c.what == "message_box") {
        EXPECT_EQ(c.caption, "Nivora");
        texts.push_back(platform_sjis_to_utf8(c.text.c_str()));
      }
    return texts;
  }
};

const char* const height_1088 =
    "「システムの設定」の「最大画像サイズ」の「高さ」を 1088 以上に設定し、AviUtlを再起動してください";

}  // namespace

TEST_F(Driver, HeightAboveTheEditorMaximumShowsTheMessageAndClears) {
  test_host& th = start(1920, 1080, 10, 1920, 1080);
  EXPECT_EQ(test_host_run(0), 1);
  EXPECT_EQ(boxes(), std::vector<std::string>{height_1088});
  EXPECT_TRUE(rows_zero(th, 1080));
  EXPECT_TRUE(th.stages.empty());
  EXPECT_TRUE(th.fetches.empty());
  EXPECT_EQ(th.fpip.w, 1920);
  EXPECT_EQ(th.fpip.h, 1080);
}

TEST_F(Driver, BothMessagesComeHeightFirstThenTheFrameIsCleared) {
  test_host& th = start(945, 675, 10, 950, 680);
  EXPECT_EQ(test_host_run(3), 1);
  const std::vector<std::string> texts = boxes();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_NE(texts[0].find("「高さ」を 688 以上"), std::string::npos);
  EXPECT_NE(texts[1].find("「幅」を 960 以上"), std::string::npos);
  EXPECT_TRUE(rows_zero(th, 675));
  EXPECT_TRUE(rows_untouched(th, 675));  // only the picture's rows are cleared
  EXPECT_EQ(th.fpip.w, 945);
  EXPECT_EQ(th.fpip.h, 675);
  // The messages repeat on every frame while the condition holds.
  platform_call_log().clear();
  test_host_run(4);
  EXPECT_EQ(boxes().size(), 2u);
}

TEST_F(Driver, FramesBeyondTheFilterLimitAreClearedSilently) {
  test_host& th = start(1928, 1080, 4, 1936, 1088);
  test_host_run(0);
  EXPECT_TRUE(boxes().empty());
  EXPECT_TRUE(rows_zero(th, 1080));
  EXPECT_TRUE(th.stages.empty());

  // No SSE2 (or a system that does not run SSE), and SSE2 without SSE3.
  for (int32_t level : {0, 1}) {
    test_host& small = start(64, 48, 4, 64, 48);
    const int32_t saved = cpu_level;
    cpu_level = level;
    test_host_run(0);
    cpu_level = saved;
    EXPECT_TRUE(boxes().empty());
    EXPECT_TRUE(rows_zero(small, 48)) << level;
    EXPECT_TRUE(small.stages.empty()) << level;
    EXPECT_TRUE(small.fetches.empty()) << level;
    func_exit(&small.filter);
  }
}

TEST_F(Driver, EmptyFramesAreLeftAlone) {
  test_host& th = start(64, 48, 4, 64, 48);
  th.w = 0;
  EXPECT_EQ(test_host_run(0), 1);
  EXPECT_TRUE(th.stages.empty());
  EXPECT_TRUE(rows_untouched(th, 0));
}

TEST_F(Driver, CanvasClassFollowsTheRoundedSize) {
  struct case_t {
    int w16, h16, canvas_w, canvas_h;
  };
  const case_t cases[] = {{720, 480, 832, 512},    {720, 496, 1472, 1152},
                          {736, 480, 1472, 1152},  {1440, 1088, 1472, 1152},
                          {1456, 1080, 1984, 1152}, {16, 16, 832, 512}};
  for (const case_t& c : cases) {
    int32_t cw, ch;
    choose_canvas(c.w16, c.h16, &cw, &ch);
    EXPECT_EQ(cw, c.canvas_w) << c.w16 << "x" << c.h16;
    EXPECT_EQ(ch, c.canvas_h) << c.w16 << "x" << c.h16;
  }
}

TEST_F(Driver, StagesSeeTheRoundedSizeAndTheHostGetsItsOwnBack) {
  test_host& th = start(718, 478, 10, 720, 480);
  EXPECT_EQ(test_host_run(5), 1);
  ASSERT_FALSE(th.stage_sizes.empty());
  for (auto& s : th.stage_sizes) EXPECT_EQ(s, std::make_pair(720, 480));
  EXPECT_EQ(th.fpip.w, 718);
  EXPECT_EQ(th.fpip.h, 478);
  EXPECT_EQ(canvas_w, 832);
  EXPECT_EQ(canvas_h, 512);
  EXPECT_TRUE(boxes().empty());
}

TEST_F(Driver, FetchedFramesAreExtendedRightAndDownward) {
  test_host& th = start(100, 70, 10, 128, 80);
  for (int y = 0; y < 80; ++y)  // a mark outside the picture
    for (int x = y < 70 ? 100 : 0; x < 128; ++x)
      th.clip[4][(size_t)y * 128 + x] = PIXEL_YC{-7, 7, -7};
  const std::vector<PIXEL_YC> before = th.clip[4];
  test_host_run(4);
  const std::vector<PIXEL_YC>& after = th.clip[4];
  // Rows 70.. mirror rows 68.., and every row of the rounded frame repeats its
  // column 99 up to column 111.
  for (int y = 0; y < 80; ++y)
    for (int x = 0; x < 112; ++x) {
      const int from_y = y < 70 ? y : 68 - (y - 70), from_x = x < 100 ? x : 99;
      const PIXEL_YC& got = after[(size_t)y * 128 + x];
      const PIXEL_YC& want = before[(size_t)from_y * 128 + from_x];
      ASSERT_EQ(got.y, want.y) << "row " << y << " column " << x;
      ASSERT_EQ(got.cb, want.cb) << "row " << y << " column " << x;
      ASSERT_EQ(got.cr, want.cr) << "row " << y << " column " << x;
    }
  // Columns past the rounded width are not touched.
  for (int y = 0; y < 80; ++y)
    for (int x = 112; x < 128; ++x) ASSERT_EQ(after[(size_t)y * 128 + x].y, -7);
}

TEST_F(Driver, VeryShortFramesRepeatTheirFirstRow) {
  std::vector<PIXEL_YC> frame(16 * 16);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) frame[y * 16 + x] = PIXEL_YC{(short)(y + 1), 0, 0};
  extend_downward(frame.data(), 16, 16, 3, 16);
  // Rows 3.. take rows 1, 0, then row 0 again for the rest.
  EXPECT_EQ(frame[3 * 16].y, 2);
  EXPECT_EQ(frame[4 * 16].y, 1);
  for (int y = 5; y < 16; ++y) EXPECT_EQ(frame[y * 16 + 7].y, 1) << y;
  for (int h = 1; h <= 8; ++h) {
    std::vector<PIXEL_YC> f(16 * 16, PIXEL_YC{7, 7, 7});
    extend_downward(f.data(), 16, 16, h, 16);  // must stay inside the frame
    EXPECT_EQ(f[15 * 16].y, 7);
  }
}

TEST_F(Driver, WindowReflectsAtTheClipEndsAndReusesTheRing) {
  test_host& th = start(64, 48, 100, 64, 48);
  test_host_run(0);
  EXPECT_EQ(th.fetches, (std::vector<int>{2, 1, 0, 1, 2}));
  EXPECT_EQ(th.cache_size_calls, 5);
  // Positions -2 and -1 sit in slots 3 and 4, keyed by their source frames.
  EXPECT_EQ(ring_frame[3], 2);
  EXPECT_EQ(ring_frame[4], 1);
  EXPECT_EQ(ring_frame[0], 0);

  test_host_run(1);
  // Position -1 is outside the clip, so it never matches its key; 3 is new.
  EXPECT_EQ(th.fetches, (std::vector<int>{1, 3}));
  EXPECT_EQ(th.cache_size_calls, 2);
  test_host_run(2);
  EXPECT_EQ(th.fetches, (std::vector<int>{4}));

  test_host_run(99);
  EXPECT_EQ(th.fetches, (std::vector<int>{97, 98, 99, 98, 97}));
}

// The editor's cache is sized right before each window position's fetch, to
// the maximum image size (not the frame's) and five frames.
TEST_F(Driver, TheCacheIsSizedBeforeEveryPositionFetch) {
  test_host& th = start(50, 40, 100, 80, 64);
  th.check[2] = 1;  // mosquito NR: neighbour fetches in between
  test_host_run(10);
  ASSERT_EQ(th.cache_size_args.size(), 5u);
  for (size_t i = 0; i < 5; ++i) {
    const std::vector<int>& a = th.cache_size_args[i];
    EXPECT_EQ(a, (std::vector<int>{80, 64, 5, 0, (int)(3 * i)})) << i;
    EXPECT_EQ(th.fetches[3 * i], 8 + (int)i);  // the position itself comes next
  }
}

TEST_F(Driver, ClipsShorterThanTheWindowStayInsideTheClip) {
  test_host& th = start(64, 48, 2, 64, 48);
  test_host_run(0);
  EXPECT_EQ(th.fetches, (std::vector<int>{1, 1, 0, 1, 0}));
  test_host& one = start(64, 48, 1, 64, 48);
  test_host_run(0);
  EXPECT_EQ(one.fetches, (std::vector<int>{0, 0, 0, 0, 0}));
  EXPECT_EQ(one.stages.back(), &output_job);
}

TEST_F(Driver, StagesRunInOrderForEveryFetchedFrame) {
  test_host& th = start(64, 48, 20, 64, 48);
  test_host_run(10);
  std::vector<MULTI_THREAD_FUNC> want;
  // The last frame's row pass runs beside the chroma fits, the luma fits after.
  for (int i = 0; i < 5; ++i) {
    want.push_back(spatial_columns_job);
    want.push_back(i < 4 ? spatial_rows_job : rows_and_chroma_job);
  }
  want.push_back(temporal_luma_job);
  want.push_back(output_job);
  EXPECT_EQ(th.stages, want);
  EXPECT_EQ(th.stage_params[9], th.stage_params[7]);  // the analysis parameters
  EXPECT_EQ(th.stage_params[10], &th.filter);
  EXPECT_EQ(th.stage_params[11], &output_field_mode);
  ASSERT_EQ(th.analysis_log.size(), 5u);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(th.analysis_log[i].src, th.clip[8 + i].data());
    EXPECT_EQ(th.analysis_log[i].slot, (8 + i) % 5);
    EXPECT_EQ(th.analysis_log[i].field_mode, 1);
  }
}

// Whatever happens to the current frame, every analysed frame gets its row
// pass once; a window already in the ring runs the temporal stage whole.
TEST_F(Driver, EveryAnalysedFrameGetsOneRowPass) {
  test_host& th = start(64, 48, 20, 64, 48);
  auto count = [&](MULTI_THREAD_FUNC f) {
    return std::count(th.stages.begin(), th.stages.end(), f);
  };
  test_host_run(10);
  test_host_run(10);
  EXPECT_TRUE(th.fetches.empty());
  EXPECT_EQ(th.stages, (std::vector<MULTI_THREAD_FUNC>{temporal_job, output_job}));
  th.missing = {14};
  test_host_run(14);  // frames 13, 15 and 16 are new, 14 is not delivered
  EXPECT_EQ(count(spatial_columns_job), 3);
  EXPECT_EQ(count(spatial_rows_job), 3);
  EXPECT_EQ(count(rows_and_chroma_job) + count(temporal_job) + count(temporal_luma_job), 0);
}

TEST_F(Driver, PreFiltersHandOverTheirResults) {
  test_host& th = start(64, 48, 20, 64, 48);
  th.check[2] = th.check[3] = 1;
  th.track[7] = 5;
  th.track[8] = 3;
  test_host_run(0);
  ASSERT_EQ(th.stages.size(), 5u * 4 + 2);
  EXPECT_EQ(th.stages[0], &block_nr_job);
  EXPECT_EQ(th.stages[1], &mosquito_nr_job);
  EXPECT_EQ(th.stages[2], &spatial_columns_job);
  ASSERT_EQ(th.prefilter_log.size(), 10u);
  const int sources[5] = {2, 1, 0, 1, 2};
  for (int i = 0; i < 5; ++i) {
    const prefilter_params& block = th.prefilter_log[2 * i];
    const prefilter_params& mosq = th.prefilter_log[2 * i + 1];
    const int m = sources[i];
    EXPECT_EQ(block.src, th.clip[m].data());
    EXPECT_EQ(block.strength_a, 24);
    EXPECT_EQ(block.strength_b, 48);
    EXPECT_EQ(block.field_step, 2);
    EXPECT_EQ(block.anime, 0);
    // The mosquito pass reads the block result but the unfiltered neighbours.
    EXPECT_EQ(mosq.src, th.fpip.ycp_edit);
    EXPECT_EQ(mosq.prev, m == 0 ? th.fpip.ycp_edit : th.clip[m - 1].data());
    EXPECT_EQ(mosq.next, th.clip[m + 1].data());
    EXPECT_EQ(mosq.strength_c, 40);  // small canvas
    EXPECT_EQ(th.analysis_log[i].src, th.fpip.ycp_temp);
  }
  EXPECT_EQ(th.fetches, (std::vector<int>{2, 1, 3, 1, 0, 2, 0, 1, 1, 0, 2, 2, 1, 3}));
}

TEST_F(Driver, MosquitoStrengthScalesWithTheCanvasAndMissingNeighboursUseTheFrame) {
  test_host& th = start(736, 64, 12, 736, 64);
  th.check[0] = 0;
  th.check[2] = 1;
  th.missing = {4};
  test_host_run(6);
  ASSERT_EQ(th.prefilter_log.size(), 4u);  // position 4 itself is missing
  for (auto& p : th.prefilter_log) {
    EXPECT_EQ(p.strength_c, 450);
    EXPECT_EQ(p.field_step, 1);
  }
  // Frame 5's previous neighbour (4) is missing: its own frame stands in.
  EXPECT_EQ(th.prefilter_log[0].src, th.clip[5].data());
  EXPECT_EQ(th.prefilter_log[0].prev, th.clip[5].data());
  EXPECT_EQ(th.prefilter_log[0].next, th.clip[6].data());
  EXPECT_EQ(window_missing[0], 1);
}

TEST_F(Driver, MissingWindowFramesAreRecordedAndAMissingCurrentFrameClears) {
  test_host& th = start(64, 48, 20, 64, 48);
  th.missing = {11};
  test_host_run(10);
  EXPECT_EQ(ring_frame[11 % 5], ring_empty);
  EXPECT_EQ(window_missing[3], 1);
  EXPECT_EQ(window_missing[2], 0);
  EXPECT_EQ(th.stages.back(), &output_job);
  // The next frame asks again for the position it could not fill.
  th.missing.clear();
  test_host_run(11);
  EXPECT_EQ(th.fetches, (std::vector<int>{11, 13}));

  th.missing = {14};
  std::fill(th.edit.begin(), th.edit.end(), PIXEL_YC{0x55, 0x55, 0x55});
  test_host_run(14);
  EXPECT_TRUE(rows_zero(th, 48));
  EXPECT_TRUE(std::find(th.stages.begin(), th.stages.end(), &temporal_job) == th.stages.end());
  EXPECT_EQ(th.fpip.h, 48);
}

TEST_F(Driver, ChangingTheRadiusReallocatesAndEmptiesTheRing) {
  test_host& th = start(64, 48, 30, 64, 48);
  test_host_run(10);
  EXPECT_EQ(ring_n, 5);
  th.track[0] = 3;
  func_update(&th.filter, 0);
  for (int i = 0; i < 5; ++i) ring_frame[i] = 10 + i;  // pretend the ring was still full
  test_host_run(10);
  EXPECT_EQ(ring_n, 7);
  EXPECT_EQ(prev_radius, 3);
  EXPECT_EQ(th.fetches.size(), 7u);
  test_host_run(11);
  EXPECT_EQ(th.fetches, (std::vector<int>{14}));
}

TEST_F(Driver, FailedAllocationClearsUntilTheSizeChanges) {
  test_host& th = start(64, 48, 10, 128, 96);
  test_host_run(0);
  set_block_allocator([](size_t) -> void* { return nullptr; }, nullptr);
  th.w = 80;  // a new rounded size forces a reallocation, which fails
  test_host_run(1);
  EXPECT_EQ(buffers_ok, 0);
  EXPECT_TRUE(rows_zero(th, 48));
  EXPECT_EQ(th.fpip.w, 80);
  EXPECT_EQ(th.fpip.h, 48);
  EXPECT_TRUE(th.stages.empty());
  // Not retried at the same size, even with memory back.
  set_block_allocator(nullptr, nullptr);
  test_host_run(2);
  EXPECT_TRUE(th.stages.empty());
  // A new size allocates again and processing resumes.
  th.w = 64;
  test_host_run(3);
  EXPECT_EQ(buffers_ok, 1);
  EXPECT_EQ(th.stages.back(), &output_job);
}

TEST_F(Driver, FailedAllocationAtAnUnevenHeightClearsTheRoundedRows) {
  test_host& th = start(64, 45, 10, 128, 96);
  test_host_run(0);
  set_block_allocator([](size_t) -> void* { return nullptr; }, nullptr);
  th.w = 80;
  test_host_run(1);
  EXPECT_EQ(buffers_ok, 0);
  EXPECT_TRUE(rows_zero(th, 48));  // the rounded height, at full pitch
  EXPECT_TRUE(rows_untouched(th, 48));
  EXPECT_EQ(th.fpip.w, 80);
  EXPECT_EQ(th.fpip.h, 45);
  EXPECT_TRUE(th.stages.empty());
}

// A host that loads the filter before its settings exist and sends no
// setting change before the first frame: the frame derives them itself.
TEST_F(Driver, AFirstFrameWithoutDerivedSettingsDerivesThem) {
  test_host& th = start(64, 48, 10, 64, 48);
  test_host_run(3);
  const std::vector<PIXEL_YC> want = th.edit;
  func_exit(&th.filter);

  settings_derived = false;
  frame_radius = 0;
  thr3d_y_low_v = 0;
  test_host_setup(64, 48, 10, 64, 48, pattern);
  th.filter.track = nullptr;
  th.filter.check = nullptr;
  func_init(&th.filter);
  EXPECT_EQ(frame_radius, 0);
  th.filter.track = th.track;
  th.filter.check = th.check;
  EXPECT_EQ(test_host_run(3), 1);
  EXPECT_TRUE(settings_derived);
  EXPECT_EQ(frame_radius, 2);
  EXPECT_EQ(th.stages.back(), &output_job);
  EXPECT_EQ(std::memcmp(th.edit.data(), want.data(), want.size() * sizeof(PIXEL_YC)), 0);
}

// After func_exit the buffers are gone: a frame is answered with a cleared
// picture and allocates nothing; loading again brings processing back.
TEST_F(Driver, AFrameAfterExitIsClearedWithoutAllocating) {
  test_host& th = start(64, 48, 10, 128, 64);
  test_host_run(3);
  func_exit(&th.filter);
  int allocations = 0;
  static int* counter;
  counter = &allocations;
  set_block_allocator(
      [](size_t bytes) -> void* {
        ++*counter;
        return default_block_alloc(bytes);
      },
      nullptr);
  for (int w : {64, 80}) {  // a new size would otherwise reallocate
    th.w = w;
    EXPECT_EQ(test_host_run(4), 1);
    EXPECT_TRUE(rows_zero(th, 48));
    EXPECT_TRUE(th.stages.empty());
    EXPECT_TRUE(th.fetches.empty());
    EXPECT_EQ(th.fpip.w, w);
    EXPECT_EQ(th.fpip.h, 48);
  }
  EXPECT_EQ(allocations, 0);
  func_init(&th.filter);
  test_host_run(4);
  EXPECT_EQ(buffers_ok, 1);
  EXPECT_EQ(th.stages.size(), 12u);
}
