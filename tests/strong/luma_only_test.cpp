// The strong filter asked for luma alone (strong_params::planes 1): the luma
// plane comes out bit for bit as when all three are filtered, and the chroma
// planes of the output are left as they were.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "strong/strong.h"
#include "strong_test_util.h"

namespace {

constexpr int width = 72, height = 40, frames = 5;

int one_worker(void (*job)(int, int, void*, void*), void* p1, void* p2) {
  job(0, 1, p1, p2);
  return 1;
}

// Filters frame 2 of a noisy 4:4:4 pan, or of pictures far apart in the
// texture (no neighbour matches, so the block transform pass runs); returns
// the three output planes. With `all_first` the same filter has filtered the
// frame with all three planes just before (Chroma switched off during play).
std::vector<float> filter_middle(int planes, bool far_apart, bool all_first = false) {
  test_noise noise(17);
  std::vector<float> pictures[frames][3];
  for (int n = 0; n < frames; ++n)
    for (int p = 0; p < 3; ++p) {
      pictures[n][p].resize(size_t(width) * height);
      for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
          pictures[n][p][size_t(y) * width + x] =
              noise.add(texture_at(x + (far_apart ? 97.0 * n : 0.7 * n) + 13 * p, y + 0.4 * n), 6.0);
    }
  const strong_filter_ptr f = strong_create(width, height, width, height, 0, 0);
  EXPECT_NE(f, nullptr);
  for (int n = 0; n < frames; ++n) {
    strong_picture_view v;
    for (int p = 0; p < 3; ++p) {
      v.plane[p] = pictures[n][p].data();
      v.pitch[p] = width;
    }
    strong_push(f.get(), n, v, one_worker);
  }
  strong_params params = strong_params_for(6.0f, 6.0f);
  std::vector<float> out(3 * size_t(width) * height, -7.0f);
  float* planes_out[3] = {&out[0], &out[size_t(width) * height], &out[2 * size_t(width) * height]};
  const int pitch[3] = {width, width, width};
  if (all_first) {
    std::vector<float> before(out.size());
    float* before_out[3] = {&before[0], &before[size_t(width) * height],
                            &before[2 * size_t(width) * height]};
    strong_process(f.get(), params, 2, 0, frames - 1, before_out, pitch, one_worker);
  }
  params.planes = planes;
  strong_process(f.get(), params, 2, 0, frames - 1, planes_out, pitch, one_worker);
  return out;
}

}  // namespace

TEST(StrongLumaOnly, LumaAsWithChromaAndChromaUntouched) {
  for (const int scene : {0, 1, 2}) {
    const bool far_apart = scene > 0, all_first = scene == 2;
    SCOPED_TRACE(scene == 0 ? "a pan" : scene == 1 ? "pictures far apart" : "far apart, all planes first");
    const std::vector<float> all = filter_middle(3, far_apart),
                             luma = filter_middle(1, far_apart, all_first);
    const size_t plane = size_t(width) * height;
    EXPECT_EQ(std::memcmp(all.data(), luma.data(), plane * sizeof(float)), 0);
    size_t touched = 0;
    for (size_t i = plane; i < 3 * plane; ++i) touched += luma[i] != -7.0f;
    EXPECT_EQ(touched, 0u);
    size_t changed = 0;
    for (size_t i = plane; i < 3 * plane; ++i) changed += all[i] != -7.0f;
    EXPECT_EQ(changed, 2 * plane);
  }
}
