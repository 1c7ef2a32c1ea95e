// Temporal mean kernels: how well a compensated block matches the picture,
// its share of the weighted sums, and the sums' start and end. comp, acc and weight are bw floats a
// row (bw a multiple of 4), the picture's block cur_pitch floats apart; no
// alignment is needed.
#pragma once

// Sums of the differences d = comp - cur of a bw x bh block (bw 4, 8 or 16, bh
// a multiple of 4 up to 16): cells[i], the sum over the i-th 4x4 cell in row order,
// four running sums (column x of the cell to sum x) over its rows in order,
// then (s0 + s1) + (s2 + s3); the return value, the sum of the squares, four
// running sums (column i of the block to sum i mod 4) over the rows in order,
// then (s0 + s1) + (s2 + s3); *near, the same sum over the samples with
// d * d < limit alone, and *near_count, how many they are.
typedef float (*block_diff_sums_fn)(const float* cur, int cur_pitch, const float* comp, int bw,
                                    int bh, float limit, float cells[16], float* near,
                                    int* near_count);
// Adds a compensated block, less a brightness offset, to the weighted sums:
// per sample c = comp - offset, d = c - cur,
// w = block * min(max((high - d*d) / (high - low), 0), 1); acc += w * c;
// weight += w.
typedef void (*accumulate_fn)(const float* cur, int cur_pitch, const float* comp, int bw, int bh,
                              float offset, float block, float low, float high, float* acc,
                              float* weight);

float block_diff_sums_ref(const float* cur, int cur_pitch, const float* comp, int bw, int bh,
                          float limit, float cells[16], float* near, int* near_count);
float block_diff_sums_sse2(const float* cur, int cur_pitch, const float* comp, int bw, int bh,
                           float limit, float cells[16], float* near, int* near_count);

void accumulate_ref(const float* cur, int cur_pitch, const float* comp, int bw, int bh,
                    float offset, float block, float low, float high, float* acc, float* weight);
void accumulate_sse2(const float* cur, int cur_pitch, const float* comp, int bw, int bh,
                     float offset, float block, float low, float high, float* acc,
                     float* weight);
void accumulate_avx2(const float* cur, int cur_pitch, const float* comp, int bw, int bh,
                     float offset, float block, float low, float high, float* acc,
                     float* weight);

// A block's sums as the picture alone gives them: acc, the bw x bh block of
// cur (cur_pitch floats a row); weight, 1.
typedef void (*block_start_fn)(const float* cur, int cur_pitch, int bw, int bh, float* acc,
                               float* weight);
// A row of the mean, any length n: out[x] = acc[x] / weight[x] and
// weight_out[x] = weight[x].
typedef void (*block_finish_row_fn)(const float* acc, const float* weight, int n, float* out,
                                    float* weight_out);
// The inverse mean weight of cells whole 4x4 cells side by side: out[c] =
// 16 / s, s the sum of the 16 weights of columns
// 4c .. 4c + 3 of rows 0 .. 3 (bw floats apart), taken row by row, each row
// from left to right.
typedef void (*cell_shares_fn)(const float* weight, int bw, int cells, float* out);

void block_start_ref(const float* cur, int cur_pitch, int bw, int bh, float* acc, float* weight);
void block_start_sse2(const float* cur, int cur_pitch, int bw, int bh, float* acc, float* weight);
void block_finish_row_ref(const float* acc, const float* weight, int n, float* out,
                          float* weight_out);
void block_finish_row_sse2(const float* acc, const float* weight, int n, float* out,
                           float* weight_out);
void cell_shares_ref(const float* weight, int bw, int cells, float* out);
void cell_shares_sse2(const float* weight, int bw, int cells, float* out);
