// Spatial pass kernels: the rows of the local Wiener filter over 5x5
// neighbourhoods. Any w; no alignment is needed; the SSE2 versions do the
// last w mod 4 columns with the scalar ones, the AVX2 versions the last
// w mod 8 with the SSE2 ones.
#pragma once

// Column sums: for x < w, sum[x] = (((r0 + r1) + r2) + r3) + r4 of rows[k][x],
// and sq[x] the same of the squares.
typedef void (*column_sums_fn)(const float* const rows[5], int w, float* sum, float* sq);
// One output row: for x < w, with s and q the sums of sum[x .. x+4] and
// sq[x .. x+4] taken in order, m = s a, v = q a - m m (a = 1/25),
// n = noise / weight[x]: out[x] = m + (v > n ? (v - n) / v : 0) (here[x] - m).
// Reads sum and sq up to w + 3.
typedef void (*lee_row_fn)(const float* sum, const float* sq, const float* here,
                           const float* weight, int w, float noise, float* out);

void column_sums_ref(const float* const rows[5], int w, float* sum, float* sq);
void column_sums_sse2(const float* const rows[5], int w, float* sum, float* sq);
void column_sums_avx2(const float* const rows[5], int w, float* sum, float* sq);

void lee_row_ref(const float* sum, const float* sq, const float* here, const float* weight, int w,
                 float noise, float* out);
void lee_row_sse2(const float* sum, const float* sq, const float* here, const float* weight, int w,
                  float noise, float* out);
void lee_row_avx2(const float* sum, const float* sq, const float* here, const float* weight, int w,
                  float noise, float* out);
