// The rows a host keeps below the picture are not part of it: whatever they
// hold, on whichever fetch, the frames that come out are the same.
#include <gtest/gtest.h>

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

}  // namespace

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
