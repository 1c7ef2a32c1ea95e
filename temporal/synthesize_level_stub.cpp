#include "temporal/synthesize_level.h"
synthesize_level_fn synthesize_level = nullptr;
void select_synthesis_kernels(int) {}
