// One level of line synthesis shared by the spatial analysis and the temporal
// filter: rebuilds 2n samples from L = a[0, n), Ha = a[n, 2n), Hb = b[n, 2n).
#pragma once

// n a multiple of 4 and at least 8; a and b 16-byte aligned; out does not
// overlap a or b. b[0, n) is not read. Writes out[0, 2n) and nothing else.
typedef void (*synthesize_level_fn)(const float* a, const float* b, int n, float* out);
extern synthesize_level_fn synthesize_level;

void select_synthesis_kernels(int level);
