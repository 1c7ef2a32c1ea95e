// AVX2 ring store of eight-lane group buffers: four rows are transposed into
// four floats of each of the eight lines, in the walk of ring_store_simd.h.
#include <immintrin.h>

#include <cstdint>

#include "analysis/ring_store.h"

namespace {

struct stores_avx2 {
  // Rows 4g .. 4g + 3 transposed: q[c] holds line c's four values in its low
  // half and line c + 4's in its high half.
  static void transpose_group(const float* src, int g, __m256 q[4]) {
    const float* s = src + 32 * g;
    const __m256 t0 = _mm256_unpacklo_ps(_mm256_load_ps(s), _mm256_load_ps(s + 8));
    const __m256 t1 = _mm256_unpackhi_ps(_mm256_load_ps(s), _mm256_load_ps(s + 8));
    const __m256 t2 = _mm256_unpacklo_ps(_mm256_load_ps(s + 16), _mm256_load_ps(s + 24));
    const __m256 t3 = _mm256_unpackhi_ps(_mm256_load_ps(s + 16), _mm256_load_ps(s + 24));
    q[0] = _mm256_shuffle_ps(t0, t2, 0x44);
    q[1] = _mm256_shuffle_ps(t0, t2, 0xee);
    q[2] = _mm256_shuffle_ps(t1, t3, 0x44);
    q[3] = _mm256_shuffle_ps(t1, t3, 0xee);
  }

  static void store_group(const float* src, int g, float* dst, ptrdiff_t line_stride) {
    __m256 q[4];
    transpose_group(src, g, q);
    float* p = dst + 4 * g;
    for (int c = 0; c < 4; ++c) {
      _mm_store_ps(p + c * line_stride, _mm256_castps256_ps128(q[c]));
      _mm_store_ps(p + (c + 4) * line_stride, _mm256_extractf128_ps(q[c], 1));
    }
  }

  static void stream_groups(const float* src, int g, float* dst, ptrdiff_t line_stride) {
    __m256 q[4][4];
    for (int k = 0; k < 4; ++k) transpose_group(src, g + k, q[k]);
    float* p = dst + 4 * g;
    for (int c = 0; c < 4; ++c) {
      // Groups k and k + 1 of line c (low halves) and of line c + 4 (high).
      _mm256_stream_ps(p + c * line_stride, _mm256_permute2f128_ps(q[0][c], q[1][c], 0x20));
      _mm256_stream_ps(p + c * line_stride + 8, _mm256_permute2f128_ps(q[2][c], q[3][c], 0x20));
      _mm256_stream_ps(p + (c + 4) * line_stride,
                       _mm256_permute2f128_ps(q[0][c], q[1][c], 0x31));
      _mm256_stream_ps(p + (c + 4) * line_stride + 8,
                       _mm256_permute2f128_ps(q[2][c], q[3][c], 0x31));
    }
  }
};

#include "analysis/ring_store_simd.h"

}  // namespace

void ring_store_x8_avx2(const float* src, int rows, float* dst, ptrdiff_t line_stride) {
  ring_store_groups<stores_avx2>(src, rows, dst, line_stride);
}
