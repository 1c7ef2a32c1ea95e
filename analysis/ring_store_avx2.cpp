// AVX2 ring store of eight-lane group buffers: four rows are transposed into
// the eight lines' groups.
#include <immintrin.h>

#include "analysis/ring_store.h"

void ring_store_x8_avx2(const float* src, int rows, float* dst, ptrdiff_t line_stride,
                        ptrdiff_t group_stride) {
  for (int g = 0; g < rows / 4; ++g) {
    const float* s = src + 32 * g;
    __m256 t0 = _mm256_unpacklo_ps(_mm256_load_ps(s), _mm256_load_ps(s + 8));
    __m256 t1 = _mm256_unpackhi_ps(_mm256_load_ps(s), _mm256_load_ps(s + 8));
    __m256 t2 = _mm256_unpacklo_ps(_mm256_load_ps(s + 16), _mm256_load_ps(s + 24));
    __m256 t3 = _mm256_unpackhi_ps(_mm256_load_ps(s + 16), _mm256_load_ps(s + 24));
    // q[c] holds line c's group in its low half and line c+4's in its high half.
    __m256 q[4] = {_mm256_shuffle_ps(t0, t2, 0x44), _mm256_shuffle_ps(t0, t2, 0xee),
                   _mm256_shuffle_ps(t1, t3, 0x44), _mm256_shuffle_ps(t1, t3, 0xee)};
    float* p = dst + g * group_stride;
    for (int c = 0; c < 4; ++c) {
      _mm_store_ps(p + c * line_stride, _mm256_castps256_ps128(q[c]));
      _mm_store_ps(p + (c + 4) * line_stride, _mm256_extractf128_ps(q[c], 1));
    }
  }
}
