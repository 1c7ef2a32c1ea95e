// AVX2 eight-lane column-group kernels: the shared column-group code of
// columns_simd.h over eight-lane vectors, and the transposition and block
// store of their own. Every function here is local, so no AVX2 code can stand
// in for an inline function of another file.
#include <immintrin.h>

#include <cstdint>

#include "analysis/band_split.h"
#include "analysis/columns.h"
#include "analysis/detail_shrink.h"
#include "temporal/synthesize_level.h"

namespace {

struct vec_avx2 {
  static constexpr int lanes = 8;
  typedef __m256 reg;
  static reg load(const float* p) { return _mm256_load_ps(p); }
  static void store(float* p, reg v) { _mm256_store_ps(p, v); }
  static reg set1(float c) { return _mm256_set1_ps(c); }
  static reg zero() { return _mm256_setzero_ps(); }
  static reg add(reg a, reg b) { return _mm256_add_ps(a, b); }
  static reg sub(reg a, reg b) { return _mm256_sub_ps(a, b); }
  static reg mul(reg a, reg b) { return _mm256_mul_ps(a, b); }
  static reg bit_or(reg a, reg b) { return _mm256_or_ps(a, b); }
  static reg andnot(reg a, reg b) { return _mm256_andnot_ps(a, b); }
  // NLT_UQ: not less than, so an unordered comparison counts as true.
  static reg not_less(reg a, reg b) { return _mm256_cmp_ps(a, b, _CMP_NLT_UQ); }
  static reg less(reg a, reg b) { return _mm256_cmp_ps(a, b, _CMP_LT_OQ); }
  static reg less_equal(reg a, reg b) { return _mm256_cmp_ps(a, b, _CMP_LE_OQ); }
};

#include "analysis/columns_simd.h"

}  // namespace

void band_split_x8_avx2(int n, const float* src, float* dst_a, float* dst_b) {
  band_split_cols<vec_avx2>(n, src, dst_a, dst_b);
}

void low_merge_x8_avx2(const float* src, int m, float* dst) {
  low_merge_cols<vec_avx2>(src, m, dst);
}

void synthesize_x8_avx2(const float* a, const float* b, int n, float* out) {
  synthesize_cols<vec_avx2>(a, b, n, out);
}

void keep_shrink_x8_avx2(float* a, float* b, int m, float limit, float floor, float t) {
  keep_shrink_cols<vec_avx2>(a, b, m, limit, floor, t);
}

// Eight lines, eight floats at a time: an 8x8 transposition in registers.
void rows_to_cols_x8_avx2(const float* src, ptrdiff_t stride, int n, float* dst) {
  for (int j = 0; j < n; j += 8) {
    __m256 r[8];
    #pragma GCC unroll 16
    for (int c = 0; c < 8; ++c) r[c] = _mm256_loadu_ps(src + c * stride + j);
    __m256 t[8];
    #pragma GCC unroll 16
    for (int c = 0; c < 8; c += 2) {
      t[c] = _mm256_unpacklo_ps(r[c], r[c + 1]);
      t[c + 1] = _mm256_unpackhi_ps(r[c], r[c + 1]);
    }
    __m256 s[8];  // s[i] (i < 4): elements i and i+4 of lines 0-3; s[4+i] of lines 4-7
    #pragma GCC unroll 16
    for (int h = 0; h < 8; h += 4) {
      s[h] = _mm256_shuffle_ps(t[h], t[h + 2], 0x44);
      s[h + 1] = _mm256_shuffle_ps(t[h], t[h + 2], 0xee);
      s[h + 2] = _mm256_shuffle_ps(t[h + 1], t[h + 3], 0x44);
      s[h + 3] = _mm256_shuffle_ps(t[h + 1], t[h + 3], 0xee);
    }
    float* out = dst + 8 * j;
    #pragma GCC unroll 16
    for (int i = 0; i < 4; ++i) {
      _mm256_store_ps(out + 8 * i, _mm256_permute2f128_ps(s[i], s[4 + i], 0x20));
      _mm256_store_ps(out + 8 * (i + 4), _mm256_permute2f128_ps(s[i], s[4 + i], 0x31));
    }
  }
}

// A row that fills its own cache line goes there with streaming stores: the
// canvas is read again only after the whole pass.
void store_block_rows_x8_avx2(const float* const* groups, int rows, float* dst, ptrdiff_t stride) {
  const bool whole_lines = (reinterpret_cast<uintptr_t>(dst) | (uintptr_t)stride * 4) % 64 == 0;
  for (int r = 0; r < rows; ++r) {
    float* out = dst + r * stride;
    __m256 lo = row<vec_avx2>(groups[0], r);
    __m256 hi = row<vec_avx2>(groups[1], r);
    if (whole_lines) {
      _mm256_stream_ps(out, lo);
      _mm256_stream_ps(out + 8, hi);
    } else {
      _mm256_storeu_ps(out, lo);
      _mm256_storeu_ps(out + 8, hi);
    }
  }
}
