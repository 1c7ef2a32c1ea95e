// The rows a host keeps below the picture and the columns right of it are not
// part of it: whatever they hold, on whichever fetch, the frames that come out
// are the same.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "clips.h"
#include "host/host_api.h"
#include "platform/platform.h"
#include "test_host.h"

namespace {

int round16(int v) { return (v + 15) & ~15; }

struct padding_case {
  int w, h, max_h;
  bool field, block;
};

// Hashes of the frames of a five-frame clip played forward, the rows below
// the picture scrambled on every fetch or left to the driver.
std::vector<uint64_t> run(const padding_case& c, bool scramble) {
  test_host_setup(c.w, c.h, 5, c.w, c.max_h,
                  [](int n, int x, int y) { return clip_pixel(3, n, x, y, 40, 1); });
  test_host& th = the_test_host();
  th.check[0] = c.field ? 1 : 0;
  th.check[2] = 1;  // mosquito NR
  th.check[3] = c.block ? 1 : 0;
  th.scramble_below = scramble;
  func_init(&th.filter);
  func_update(&th.filter, 0);
  std::vector<uint64_t> hashes;
  for (int n = 0; n < 5; ++n) {
    test_host_run(n);
    hashes.push_back(frame_hash(th.edit.data(), c.w, c.h, th.max_w));
  }
  func_exit(&th.filter);
  return hashes;
}

struct columns_case {
  int w, h, frames;
  bool field, prefilters;
};

// What the host keeps right of the picture in the columns test.
enum class right_fill {
  zeros,         // the test host's buffers as set up
  last_column,   // copies of column w - 1, as the command line pads
  scrambled,     // a new pattern on every fetch
  all_scrambled  // the rows below too
};

// Hashes of the frames of a clip played forward, at a pitch of the rounded
// width plus 8 (the host's columns go past the rounded width too).
std::vector<uint64_t> run_columns(const columns_case& c, right_fill fill) {
  const int max_w = round16(c.w) + 8, max_h = round16(c.h);
  test_host_setup(c.w, c.h, c.frames, max_w, max_h,
                  [](int n, int x, int y) { return clip_pixel(5, n, x, y, 40, 1); });
  test_host& th = the_test_host();
  if (fill == right_fill::last_column)
    for (std::vector<PIXEL_YC>& frame : th.clip)
      for (int y = 0; y < c.h; ++y)
        for (int x = c.w; x < max_w; ++x)
          frame[(size_t)y * max_w + x] = frame[(size_t)y * max_w + c.w - 1];
  th.scramble_right = fill == right_fill::scrambled || fill == right_fill::all_scrambled;
  th.scramble_below = fill == right_fill::all_scrambled;
  th.check[0] = c.field ? 1 : 0;
  th.check[2] = c.prefilters ? 1 : 0;  // mosquito NR
  th.check[3] = c.prefilters ? 1 : 0;  // block NR
  func_init(&th.filter);
  func_update(&th.filter, 0);
  std::vector<uint64_t> hashes;
  for (int n = 0; n < c.frames; ++n) {
    test_host_run(n);
    hashes.push_back(frame_hash(th.edit.data(), c.w, c.h, th.max_w));
  }
  func_exit(&th.filter);
  return hashes;
}

}  // namespace

TEST(HostPadding, ColumnsRightOfThePictureDoNotChangeTheOutput) {
  platform_set_quiet(true);
  // Widths on either side of the canvas classes (832, 1472, 1984 wide); the
  // wide frames with few rows and frames, as their cost follows the canvas.
  const int sizes[][3] = {{6, 37, 5}, {70, 48, 5}, {70, 45, 5}, {724, 21, 3}, {1912, 18, 3}};
  for (const auto& size : sizes)
    for (bool field : {false, true})
      for (bool prefilters : {false, true}) {
        const columns_case c{size[0], size[1], size[2], field, prefilters};
        const std::string name = std::to_string(c.w) + "x" + std::to_string(c.h) + " field " +
                                 std::to_string(field) + " pre-filters " +
                                 std::to_string(prefilters);
        const std::vector<uint64_t> zeros = run_columns(c, right_fill::zeros);
        EXPECT_EQ(zeros, run_columns(c, right_fill::last_column)) << name;
        EXPECT_EQ(zeros, run_columns(c, right_fill::scrambled)) << name;
        EXPECT_GE(the_test_host().scrambles, c.frames + 2) << name;
        EXPECT_EQ(zeros, run_columns(c, right_fill::all_scrambled)) << name;
      }
}

TEST(HostPadding, RowsBelowThePictureDoNotChangeTheOutput) {
  platform_set_quiet(true);
  const padding_case cases[] = {
      {64, 6, 32, false, false},   {64, 6, 32, true, false},    {64, 45, 64, false, false},
      {64, 45, 64, true, true},    {80, 484, 512, false, false}, {80, 484, 512, true, false},
      {48, 1080, 1088, false, true}, {48, 1080, 1088, true, false},
  };
  for (const padding_case& c : cases) {
    ASSERT_GE(c.max_h, round16(c.h));
    const std::vector<uint64_t> plain = run(c, false);
    const std::vector<uint64_t> scrambled = run(c, true);
    EXPECT_GT(the_test_host().scrambles, 5);
    EXPECT_EQ(plain, scrambled) << c.w << "x" << c.h << " field " << c.field << " block "
                                << c.block;
  }
}
