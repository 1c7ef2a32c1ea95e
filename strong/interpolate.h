// Compensation kernels: the two passes of the four-tap interpolation of a
// block of a padded float plane. Blocks are bw floats a row, bw a multiple of
// 4; no alignment is needed; the output never overlaps the input.
#pragma once

// Horizontal pass: for rows r < rows and i < bw,
// dst[r * bw + i] = (t0 s[i-1] + t1 s[i]) + (t2 s[i+1] + t3 s[i+2]),
// s being row r of src (pitch floats apart; reads one column before and two
// after the block).
typedef void (*interp_rows_fn)(const float* src, int pitch, int rows, int bw, const float taps[4],
                               float* dst);
// Vertical pass: out[r * bw + i] = (t0 a[r] + t1 a[r+1]) + (t2 a[r+2] + t3 a[r+3])
// at column i, a being the rows of src (bw floats apart), for r < bh: reads
// bh + 3 rows.
typedef void (*interp_columns_fn)(const float* src, int bw, int bh, const float taps[4],
                                  float* out);

void interp_rows_ref(const float* src, int pitch, int rows, int bw, const float taps[4],
                     float* dst);
void interp_rows_sse2(const float* src, int pitch, int rows, int bw, const float taps[4],
                      float* dst);
void interp_rows_avx2(const float* src, int pitch, int rows, int bw, const float taps[4],
                      float* dst);

void interp_columns_ref(const float* src, int bw, int bh, const float taps[4], float* out);
void interp_columns_sse2(const float* src, int bw, int bh, const float taps[4], float* out);
void interp_columns_avx2(const float* src, int bw, int bh, const float taps[4], float* out);
