// The synthesis kernel pointer and its choice from the kernel level.
#include "temporal/synthesize_level.h"

synthesize_level_fn synthesize_level = synthesize_level_ref;

void select_synthesis_kernels(int level) {
  synthesize_level = level >= 2 ? synthesize_level_sse3 : synthesize_level_ref;
}
