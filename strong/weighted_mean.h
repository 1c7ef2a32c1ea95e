// Temporal mean kernels: how well a compensated block matches the picture,
// and its share of the weighted sums. comp, acc and weight are bw floats a
// row (bw a multiple of 4), the picture's block cur_pitch floats apart; no
// alignment is needed.
#pragma once

// Sum of squared differences of a bw x bh block against cur: four running
// sums, column i going to sum i mod 4, rows in order; the result is
// (s0 + s1) + (s2 + s3).
typedef float (*block_sq_diff_fn)(const float* cur, int cur_pitch, const float* comp, int bw,
                                  int bh);
// Adds a compensated block to the weighted sums: per sample d = comp - cur,
// w = block * min(max((high - d*d) / (high - low), 0), 1); acc += w * comp;
// weight += w.
typedef void (*accumulate_fn)(const float* cur, int cur_pitch, const float* comp, int bw, int bh,
                              float block, float low, float high, float* acc, float* weight);

float block_sq_diff_ref(const float* cur, int cur_pitch, const float* comp, int bw, int bh);
float block_sq_diff_sse2(const float* cur, int cur_pitch, const float* comp, int bw, int bh);

void accumulate_ref(const float* cur, int cur_pitch, const float* comp, int bw, int bh,
                    float block, float low, float high, float* acc, float* weight);
void accumulate_sse2(const float* cur, int cur_pitch, const float* comp, int bw, int bh,
                     float block, float low, float high, float* acc, float* weight);
