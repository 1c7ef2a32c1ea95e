// The weighted temporal mean's block sums, scalar. The SSE2 versions do the
// same operations in the same order, four columns at a time.
#include "strong/weighted_mean.h"

float block_diff_sums_ref(const float* cur, int cur_pitch, const float* comp, int bw, int bh,
                          float limit, float cells[16], float* near, int* near_count) {
  float sq[4] = {0.0f, 0.0f, 0.0f, 0.0f}, in[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  int count = 0;
  for (int cy = 0; cy < bh; cy += 4)
    for (int cx = 0; cx < bw; cx += 4) {
      float sum[4] = {0.0f, 0.0f, 0.0f, 0.0f};
      for (int y = cy; y < cy + 4; ++y)
        for (int x = 0; x < 4; ++x) sum[x] += comp[y * bw + cx + x] - cur[y * cur_pitch + cx + x];
      *cells++ = (sum[0] + sum[1]) + (sum[2] + sum[3]);
    }
  for (int y = 0; y < bh; ++y, cur += cur_pitch, comp += bw)
    for (int x = 0; x < bw; ++x) {
      const float d = comp[x] - cur[x];
      const float e = d * d;
      sq[x & 3] += e;
      // The SSE2 version adds 0 for the others, which leaves a sum of
      // squares as it is.
      if (e < limit) {
        in[x & 3] += e;
        ++count;
      }
    }
  *near = (in[0] + in[1]) + (in[2] + in[3]);
  *near_count = count;
  return (sq[0] + sq[1]) + (sq[2] + sq[3]);
}

void accumulate_ref(const float* cur, int cur_pitch, const float* comp, int bw, int bh,
                    float offset, float block, float low, float high, float* acc, float* weight) {
  const float span = high - low;
  for (int y = 0; y < bh; ++y, cur += cur_pitch, comp += bw, acc += bw, weight += bw)
    for (int x = 0; x < bw; ++x) {
      const float c = comp[x] - offset;
      const float d = c - cur[x];
      const float q = (high - d * d) / span;
      const float positive = q > 0.0f ? q : 0.0f;  // as the SSE max and min pick
      const float r = positive < 1.0f ? positive : 1.0f;
      const float w = block * r;
      acc[x] += w * c;
      weight[x] += w;
    }
}

void block_start_ref(const float* cur, int cur_pitch, int bw, int bh, float* acc, float* weight) {
  for (int y = 0; y < bh; ++y, cur += cur_pitch, acc += bw, weight += bw)
    for (int x = 0; x < bw; ++x) {
      acc[x] = cur[x];
      weight[x] = 1.0f;
    }
}

void block_finish_row_ref(const float* acc, const float* weight, int n, float* out,
                          float* weight_out) {
  for (int x = 0; x < n; ++x) {
    out[x] = acc[x] / weight[x];
    weight_out[x] = weight[x];
  }
}

void cell_shares_ref(const float* weight, int bw, int cells, float* out) {
  for (int c = 0; c < cells; ++c) {
    float sum = 0.0f;
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x) sum += weight[y * bw + 4 * c + x];
    out[c] = 16.0f / sum;
  }
}
