// The processor check and the one place where kernels are chosen.
#include "host/cpu.h"

#include "analysis/analysis.h"
#include "platform/platform.h"
#include "prefilter/prefilter.h"
#include "strong/strong.h"
#include "temporal/synthesize_level.h"
#include "temporal/temporal.h"

int32_t cpu_level = 0;
int kernel_level = simd_ref;

namespace {
int forced_level = -1;
}

int32_t cpu_level_from(bool cpuid_available, const unsigned leaf1[4], bool (*sse_probe)()) {
  if (!cpuid_available) return 0;
  if (!(leaf1[3] & (1u << 26))) return 0;     // SSE2
  const int level = (leaf1[2] & 1u) ? 2 : 1;  // SSE3
  if (!sse_probe()) return 0;                 // the OS must run SSE
  return level;
}

int32_t detect_cpu_level() {
  unsigned regs[4] = {0, 0, 0, 0};
  const bool available = platform_cpuid_available();
  if (available) platform_cpuid(1, regs);
  return cpu_level_from(available, regs, platform_sse_probe);
}

int detect_simd_level() {
  const int level = detect_cpu_level();
  if (level == 2 && platform_avx2_usable()) return simd_avx2;
  return level == 2 ? simd_sse3 : (level == 1 ? simd_sse2 : simd_ref);
}

void select_kernels(int level) {
  const int top = detect_simd_level();
  if (level > top) level = top;
  if (level < simd_ref) level = simd_ref;
  kernel_level = level;
  select_prefilter_kernels(level);
  select_analysis_kernels(level);
  select_synthesis_kernels(level);
  select_temporal_kernels(level);
  strong_select_kernels(level);
}

void force_kernel_level(int level) { forced_level = level; }
int forced_kernel_level() { return forced_level; }
