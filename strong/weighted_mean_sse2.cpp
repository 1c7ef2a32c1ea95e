// The weighted temporal mean's block sums with SSE2 (the scalar versions'
// operations in the same order, four columns at a time).
#include <emmintrin.h>

#include "strong/weighted_mean.h"

namespace {

// The squares of all samples and of those below the limit, and how many
// those are, one running sum per column mod 4.
struct square_sums {
  __m128 all, near;
  __m128i count;
};

// The cells of groups x 4 columns: one running sum per cell of a row of
// cells, kept in registers.
template <int groups>
square_sums diff_sums(const float* cur, int cur_pitch, const float* comp, int bh, float limit,
                      float* cells) {
  __m128 sq = _mm_setzero_ps(), in = _mm_setzero_ps();
  __m128i count = _mm_setzero_si128();
  const __m128 vlimit = _mm_set1_ps(limit);
  for (int cy = 0; cy < bh; cy += 4) {
    __m128 sum[groups];
    for (int g = 0; g < groups; ++g) sum[g] = _mm_setzero_ps();
    for (int y = 0; y < 4; ++y, cur += cur_pitch, comp += 4 * groups)
      for (int g = 0; g < groups; ++g) {
        const __m128 d = _mm_sub_ps(_mm_loadu_ps(comp + 4 * g), _mm_loadu_ps(cur + 4 * g));
        sum[g] = _mm_add_ps(sum[g], d);
        const __m128 e = _mm_mul_ps(d, d);
        const __m128 below = _mm_cmplt_ps(e, vlimit);
        sq = _mm_add_ps(sq, e);
        in = _mm_add_ps(in, _mm_and_ps(below, e));
        count = _mm_sub_epi32(count, _mm_castps_si128(below));  // true: all ones, -1
      }
    for (int g = 0; g < groups; ++g) {
      float s[4];
      _mm_storeu_ps(s, sum[g]);
      *cells++ = (s[0] + s[1]) + (s[2] + s[3]);
    }
  }
  return {sq, in, count};
}

float add_lanes(__m128 v) {
  float q[4];
  _mm_storeu_ps(q, v);
  return (q[0] + q[1]) + (q[2] + q[3]);
}

}  // namespace

float block_diff_sums_sse2(const float* cur, int cur_pitch, const float* comp, int bw, int bh,
                           float limit, float cells[16], float* near, int* near_count) {
  const square_sums s = bw == 16  ? diff_sums<4>(cur, cur_pitch, comp, bh, limit, cells)
                        : bw == 8 ? diff_sums<2>(cur, cur_pitch, comp, bh, limit, cells)
                                  : diff_sums<1>(cur, cur_pitch, comp, bh, limit, cells);
  int c[4];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(c), s.count);
  *near_count = (c[0] + c[1]) + (c[2] + c[3]);
  *near = add_lanes(s.near);
  return add_lanes(s.all);
}

void accumulate_sse2(const float* cur, int cur_pitch, const float* comp, int bw, int bh,
                     float offset, float block, float low, float high, float* acc,
                     float* weight) {
  const __m128 vb = _mm_set1_ps(block), vh = _mm_set1_ps(high), vo = _mm_set1_ps(offset);
  const __m128 span = _mm_set1_ps(high - low);
  const __m128 zero = _mm_setzero_ps(), one = _mm_set1_ps(1.0f);
  for (int y = 0; y < bh; ++y, cur += cur_pitch, comp += bw, acc += bw, weight += bw)
    for (int x = 0; x < bw; x += 4) {
      const __m128 c = _mm_sub_ps(_mm_loadu_ps(comp + x), vo);
      const __m128 d = _mm_sub_ps(c, _mm_loadu_ps(cur + x));
      const __m128 q = _mm_div_ps(_mm_sub_ps(vh, _mm_mul_ps(d, d)), span);
      const __m128 r = _mm_min_ps(_mm_max_ps(q, zero), one);
      const __m128 w = _mm_mul_ps(vb, r);
      _mm_storeu_ps(acc + x, _mm_add_ps(_mm_loadu_ps(acc + x), _mm_mul_ps(w, c)));
      _mm_storeu_ps(weight + x, _mm_add_ps(_mm_loadu_ps(weight + x), w));
    }
}

void block_start_sse2(const float* cur, int cur_pitch, int bw, int bh, float* acc, float* weight) {
  const __m128 one = _mm_set1_ps(1.0f);
  for (int y = 0; y < bh; ++y, cur += cur_pitch, acc += bw, weight += bw)
    for (int x = 0; x < bw; x += 4) {
      _mm_storeu_ps(acc + x, _mm_loadu_ps(cur + x));
      _mm_storeu_ps(weight + x, one);
    }
}

void block_finish_row_sse2(const float* acc, const float* weight, int n, float* out,
                           float* weight_out) {
  int x = 0;
  for (; x + 4 <= n; x += 4) {
    const __m128 w = _mm_loadu_ps(weight + x);
    _mm_storeu_ps(out + x, _mm_div_ps(_mm_loadu_ps(acc + x), w));
    _mm_storeu_ps(weight_out + x, w);
  }
  block_finish_row_ref(acc + x, weight + x, n - x, out + x, weight_out + x);
}

// Four cells a lane each: every row of the four cells transposed, so that
// lane c takes its cell's weights in the scalar version's order.
void cell_shares_sse2(const float* weight, int bw, int cells, float* out) {
  const __m128 sixteen = _mm_set1_ps(16.0f);
  int c = 0;
  for (; c + 4 <= cells; c += 4) {
    __m128 sum = _mm_setzero_ps();
    for (int y = 0; y < 4; ++y) {
      const float* row = weight + y * bw + 4 * c;
      __m128 a = _mm_loadu_ps(row), b = _mm_loadu_ps(row + 4);
      __m128 e = _mm_loadu_ps(row + 8), f = _mm_loadu_ps(row + 12);
      _MM_TRANSPOSE4_PS(a, b, e, f);
      sum = _mm_add_ps(_mm_add_ps(_mm_add_ps(_mm_add_ps(sum, a), b), e), f);
    }
    _mm_storeu_ps(out + c, _mm_div_ps(sixteen, sum));
  }
  cell_shares_ref(weight + 4 * c, bw, cells - c, out + c);
}
