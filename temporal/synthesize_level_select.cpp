// The synthesis kernel pointer and its choice from the kernel level.
#include "temporal/synthesize_level.h"

synthesize_level_fn synthesize_level = synthesize_level_ref;

void select_synthesis_kernels(int level) {
  synthesize_level = level >= 3   ? synthesize_level_avx2
                     : level >= 1 ? synthesize_level_sse2
                                  : synthesize_level_ref;
}
