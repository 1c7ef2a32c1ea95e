// The strong filter's owned buffers: aligned and zeroed, moved without a
// second owner, empty after a failed or released allocation.
#include <gtest/gtest.h>

#include <cstdint>
#include <utility>

#include "strong/aligned_buffer.h"

TEST(AlignedBuffer, AllocatesAlignedZeroedMemoryAndMovesItsOwnership) {
  aligned_buffer<float> a;
  EXPECT_TRUE(a.empty());
  for (size_t n : {size_t(1), size_t(3), size_t(4097)}) {
    ASSERT_TRUE(a.allocate(n));
    ASSERT_EQ(a.size(), n);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(a.data()) % 64, 0u) << n;
    for (size_t i = 0; i < n; ++i) ASSERT_EQ(a.data()[i], 0.0f) << n << ", " << i;
    a.data()[n - 1] = 1.0f;  // a later allocation zeroes again
  }
  float* const held = a.data();
  aligned_buffer<float> b(std::move(a));
  EXPECT_EQ(b.data(), held);
  EXPECT_TRUE(a.empty());
  EXPECT_EQ(a.data(), nullptr);
  aligned_buffer<float> c;
  ASSERT_TRUE(c.allocate(8));
  c = std::move(b);  // c's own block is given back, b's is c's now
  EXPECT_EQ(c.data(), held);
  EXPECT_TRUE(b.empty());
  c.release();
  EXPECT_TRUE(c.empty());
  EXPECT_TRUE(c.allocate(0));
  EXPECT_EQ(c.data(), nullptr);
}

TEST(AlignedBuffer, AnImpossibleSizeFailsAndLeavesItEmpty) {
  aligned_buffer<uint8_t> a;
  ASSERT_TRUE(a.allocate(100));
  EXPECT_FALSE(a.allocate(SIZE_MAX));
  EXPECT_TRUE(a.empty());
  aligned_buffer<float> b;
  EXPECT_FALSE(b.allocate(SIZE_MAX / 2));
  EXPECT_FALSE(b.allocate(size_t(1) << 60));
  EXPECT_TRUE(b.empty());
}
