// The working buffers: sizes per canvas class and radius, carving and
// alignment, the workers' scratch, and allocation failures.
#include <gtest/gtest.h>

#include <cstdint>

#include "frame/buffers.h"
#include "frame/stage_share.h"

namespace {
// Scratch per worker the tests ask for: not a multiple of 64 floats.
constexpr size_t scratch_floats = 1000;

size_t total(int cw, int ch, int rn) {
  size_t s[buffer_block_count];
  buffer_block_sizes(cw, ch, rn, s);
  size_t t = 0;
  for (size_t v : s) t += v;
  return t;
}

bool aligned16(const void* p) { return (reinterpret_cast<uintptr_t>(p) & 15) == 0; }

int live_blocks = 0;
int fail_above = 1 << 30;  // allocations larger than this fail
void* counting_alloc(size_t bytes) {
  if (bytes > (size_t)fail_above) return nullptr;
  ++live_blocks;
  return default_block_alloc(bytes);
}
void counting_free(void* p) {
  --live_blocks;
  default_block_free(p);
}

class Buffers : public ::testing::Test {
 protected:
  void TearDown() override {
    free_buffers();
    set_block_allocator(nullptr, nullptr);
    canvas_w = 1984;
    canvas_h = 1152;
    ring_n = 5;
  }
};
}  // namespace

TEST_F(Buffers, SizesPerCanvasAndRadius) {
  const size_t want[3][4] = {{23003136, 36634624, 50266112, 63897600},
                             {91570176, 145833984, 200097792, 254361600},
                             {123420672, 196558848, 269697024, 342835200}};
  const int cw[3] = {832, 1472, 1984}, ch[3] = {512, 1152, 1152};
  for (int c = 0; c < 3; ++c)
    for (int r = 1; r <= 4; ++r) EXPECT_EQ(total(cw[c], ch[c], 2 * r + 1), want[c][r - 1]);
  size_t s[buffer_block_count];
  buffer_block_sizes(832, 512, 3, s);
  EXPECT_EQ(s[0], 11927552u);  // 7 luma planes
  buffer_block_sizes(1984, 1152, 9, s);
  EXPECT_EQ(s[0], 173703168u);
  EXPECT_EQ(s[1], 82280448u);
  EXPECT_EQ(s[3], 82280448u);
}

TEST_F(Buffers, SubBuffersAreCarvedInOrderAndAligned) {
  for (int cls = 0; cls < 3; ++cls)
    for (int rn = 3; rn <= 9; rn += 2) {
      canvas_w = cls == 0 ? 832 : (cls == 1 ? 1472 : 1984);
      canvas_h = cls == 0 ? 512 : 1152;
      ring_n = rn;
      ASSERT_TRUE(allocate_buffers(scratch_floats));
      EXPECT_EQ(half_w, canvas_w / 2);
      const size_t plane = (size_t)canvas_w * canvas_h;
      EXPECT_EQ(luma_ring_b, luma_ring_a + rn * plane);
      EXPECT_EQ(luma_canvas, luma_ring_a + 2 * rn * plane);
      EXPECT_EQ(cb_ring_b, cb_ring_a + rn * plane / 2);
      EXPECT_EQ(cr_ring_b, cr_ring_a + rn * plane / 2);
      const void* all[] = {luma_ring_a, luma_ring_b, luma_canvas, cb_ring_a,
                           cb_ring_b,   cb_out,      cr_ring_a,   cr_ring_b, cr_out};
      for (const void* p : all) EXPECT_TRUE(aligned16(p));
      const void* block_starts[] = {luma_ring_a, cb_ring_a, cb_out, cr_ring_a, cr_out};
      for (const void* p : block_starts)
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 256, 0u);
      // Writing every sub-buffer end to end stays inside its block.
      luma_canvas[plane - 1] = 1.0f;
      cb_ring_b[rn * plane / 2 - 1] = 1.0f;
      cr_out[plane / 2 - 1] = 1;
    }
}

TEST_F(Buffers, EveryReallocationEmptiesAllNineSlots) {
  ring_n = 3;
  for (int i = 0; i < ring_slots_max; ++i) ring_frame[i] = i;
  ASSERT_TRUE(allocate_buffers(scratch_floats));
  for (int i = 0; i < ring_slots_max; ++i) EXPECT_EQ(ring_frame[i], ring_empty);
}

TEST_F(Buffers, FailureKeepsTheOtherBlocksAndRecovers) {
  set_block_allocator(counting_alloc, counting_free);
  live_blocks = 0;
  // The rings, the canvas and the scratch (as large as the largest canvas's)
  // fail, the output planes do not.
  fail_above = 4 << 20;
  EXPECT_FALSE(allocate_buffers(56 * 1152));
  EXPECT_EQ(live_blocks, 2);  // cb_out and cr_out
  EXPECT_EQ(luma_canvas, nullptr);
  EXPECT_EQ(cb_ring_a, nullptr);
  EXPECT_EQ(worker_scratch_base, nullptr);  // the workers' scratch failed too
  EXPECT_NE(cb_out, nullptr);
  EXPECT_NE(cr_out, nullptr);
  fail_above = 1 << 30;
  canvas_w = 832;
  canvas_h = 512;
  EXPECT_TRUE(allocate_buffers(scratch_floats));
  EXPECT_EQ(live_blocks, buffer_block_count + 1);  // old blocks were released, never leaked
  free_buffers();
  EXPECT_EQ(live_blocks, 0);
  EXPECT_EQ(luma_ring_a, nullptr);
  EXPECT_EQ(worker_scratch_base, nullptr);
  free_buffers();
  EXPECT_EQ(live_blocks, 0);
}

// Every worker up to the cap has its own scratch, on its own cache lines, of
// the size asked for rounded up to whole 256-byte lines.
TEST_F(Buffers, EveryWorkerHasItsOwnScratch) {
  for (size_t asked : {scratch_floats, (size_t)64, (size_t)56 * 1152 + 1}) {
    ASSERT_TRUE(allocate_buffers(asked));
    ASSERT_NE(worker_scratch_base, nullptr);
    EXPECT_EQ(worker_scratch_stride % 64, 0u);
    EXPECT_GE(worker_scratch_stride, asked);
    EXPECT_LT(worker_scratch_stride, asked + 64);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(stage_scratch(0)) % 256, 0u);
    EXPECT_EQ(stage_scratch(1), stage_scratch(0) + worker_scratch_stride);
    // The last worker's last float is inside the block.
    stage_scratch(max_workers - 1)[worker_scratch_stride - 1] = 1.0f;
  }
  free_buffers();
  EXPECT_EQ(worker_scratch_base, nullptr);
}
