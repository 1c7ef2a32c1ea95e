// SSE2 four-column kernels: the shared column-group code of columns_simd.h
// over four-lane vectors, and the transposition and block store of their own.
#include <emmintrin.h>

#include <cstdint>

#include "analysis/band_split.h"
#include "analysis/columns.h"
#include "analysis/detail_shrink.h"
#include "temporal/synthesize_level.h"

namespace {

struct vec_sse2 {
  static constexpr int lanes = 4;
  typedef __m128 reg;
  static reg load(const float* p) { return _mm_load_ps(p); }
  static void store(float* p, reg v) { _mm_store_ps(p, v); }
  static reg set1(float c) { return _mm_set1_ps(c); }
  static reg zero() { return _mm_setzero_ps(); }
  static reg add(reg a, reg b) { return _mm_add_ps(a, b); }
  static reg sub(reg a, reg b) { return _mm_sub_ps(a, b); }
  static reg mul(reg a, reg b) { return _mm_mul_ps(a, b); }
  static reg bit_or(reg a, reg b) { return _mm_or_ps(a, b); }
  static reg andnot(reg a, reg b) { return _mm_andnot_ps(a, b); }
  // cmpnlt: not less than, so an unordered comparison counts as true.
  static reg not_less(reg a, reg b) { return _mm_cmpnlt_ps(a, b); }
  static reg less(reg a, reg b) { return _mm_cmplt_ps(a, b); }
  static reg less_equal(reg a, reg b) { return _mm_cmple_ps(a, b); }
};

#include "analysis/columns_simd.h"

}  // namespace

void band_split_x4_sse2(int n, const float* src, float* dst_a, float* dst_b) {
  band_split_cols<vec_sse2>(n, src, dst_a, dst_b);
}

void low_merge_x4_sse2(const float* src, int m, float* dst) {
  low_merge_cols<vec_sse2>(src, m, dst);
}

void synthesize_x4_sse2(const float* a, const float* b, int n, float* out) {
  synthesize_cols<vec_sse2>(a, b, n, out);
}

void keep_shrink_x4_sse2(float* a, float* b, int m, float limit, float floor, float t) {
  keep_shrink_cols<vec_sse2>(a, b, m, limit, floor, t);
}

// Four lines, four floats at a time: a 4x4 transposition in registers.
void rows_to_cols_x4_sse2(const float* src, ptrdiff_t stride, int n, float* dst) {
  for (int j = 0; j < n; j += 4) {
    __m128 r0 = _mm_load_ps(src + j);
    __m128 r1 = _mm_load_ps(src + stride + j);
    __m128 r2 = _mm_load_ps(src + 2 * stride + j);
    __m128 r3 = _mm_load_ps(src + 3 * stride + j);
    _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
    _mm_store_ps(dst + 4 * j, r0);
    _mm_store_ps(dst + 4 * j + 4, r1);
    _mm_store_ps(dst + 4 * j + 8, r2);
    _mm_store_ps(dst + 4 * j + 12, r3);
  }
}

// A row that fills its own cache line goes there with streaming stores: the
// canvas is read again only after the whole pass.
void store_block_rows_x4_sse2(const float* const* groups, int rows, float* dst, ptrdiff_t stride) {
  const bool whole_lines = (reinterpret_cast<uintptr_t>(dst) | (uintptr_t)stride * 4) % 64 == 0;
  for (int r = 0; r < rows; ++r) {
    float* out = dst + r * stride;
    for (int g = 0; g < 4; ++g) {
      __m128 v = row<vec_sse2>(groups[g], r);
      if (whole_lines) {
        _mm_stream_ps(out + 4 * g, v);
      } else {
        _mm_store_ps(out + 4 * g, v);
      }
    }
  }
}

void store_fence_sse2() { _mm_sfence(); }
