// The processor check and the choice of kernels.
#include <gtest/gtest.h>

#include "host/cpu.h"

namespace {
int probe_calls = 0;
bool probe_ok() {
  ++probe_calls;
  return true;
}
bool probe_faults() {
  ++probe_calls;
  return false;
}
const unsigned sse2 = 1u << 26, sse3 = 1u;
}  // namespace

TEST(CpuLevel, FollowsCpuidAndTheOperatingSystemProbe) {
  const unsigned both[4] = {0, 0, sse3, sse2};
  const unsigned sse2_only[4] = {0, 0, 0, sse2};
  const unsigned sse3_without_sse2[4] = {0, 0, sse3, 0};
  EXPECT_EQ(cpu_level_from(true, both, probe_ok), 2);
  EXPECT_EQ(cpu_level_from(true, sse2_only, probe_ok), 1);
  EXPECT_EQ(cpu_level_from(true, both, probe_faults), 0);
  probe_calls = 0;
  EXPECT_EQ(cpu_level_from(true, sse3_without_sse2, probe_ok), 0);
  EXPECT_EQ(cpu_level_from(false, both, probe_ok), 0);
  EXPECT_EQ(probe_calls, 0);  // no SSE instruction is tried when CPUID says no
}

TEST(CpuLevel, ThisMachineRunsTheFilter) {
  EXPECT_EQ(detect_cpu_level(), 2);
  EXPECT_GE(detect_simd_level(), simd_sse3);
}

TEST(KernelChoice, NeverExceedsTheProcessor) {
  select_kernels(simd_avx2 + 5);
  EXPECT_EQ(kernel_level, detect_simd_level());
  select_kernels(simd_ref);
  EXPECT_EQ(kernel_level, simd_ref);
  select_kernels(detect_simd_level());
}
