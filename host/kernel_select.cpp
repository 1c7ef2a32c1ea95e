// The one place where the detected (or forced) level reaches the folders that
// choose their own kernels.
#include "analysis/analysis.h"
#include "host/cpu.h"
#include "prefilter/prefilter.h"
#include "temporal/temporal_kernels.h"

int kernel_level = simd_ref;

namespace {
int forced_level = -1;
}

void select_kernels(int level) {
  const int top = detect_simd_level();
  if (level > top) level = top;
  if (level < simd_ref) level = simd_ref;
  kernel_level = level;
  prefilter_select_kernels(level);
  analysis_select_kernels(level);
  temporal_select_kernels(level);
}

void force_kernel_level(int level) { forced_level = level; }
int forced_kernel_level() { return forced_level; }

int usable_kernel_level() {
  const int level = detect_simd_level();
  return forced_level >= 0 && forced_level < level ? forced_level : level;
}
