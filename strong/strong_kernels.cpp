// The strong filter's kernel table.
#include "strong/strong.h"

strong_kernel_table strong_kernels = {block_ssd16_ref, block_sad8_ref};

void strong_select_kernels(int level) {
  if (level >= 1) {
    strong_kernels.ssd16 = block_ssd16_sse2;
    strong_kernels.sad8 = block_sad8_sse2;
  } else {
    strong_kernels.ssd16 = block_ssd16_ref;
    strong_kernels.sad8 = block_sad8_ref;
  }
}
