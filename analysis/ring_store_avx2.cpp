// AVX2 ring store of eight-lane group buffers. Where a line's sixteen-float
// block lies wholly inside the store, sixteen rows are transposed at once and
// each line's block goes out as two 32-byte streaming stores, one whole cache
// line that nothing reads before the temporal stage (no read for ownership,
// no room taken in the caches). Groups of a block that the store only partly
// covers (where a band starts or ends mid-block) are transposed four rows at a
// time and stored plainly.
#include <immintrin.h>

#include "analysis/ring_store.h"

namespace {

// Rows r .. r + 7 of lanes 0..7 (eight vectors of eight lanes) become lanes
// 0..7 of rows r .. r + 7: v[c] then holds lane c's eight rows.
inline void transpose8(__m256 v[8]) {
  const __m256 t0 = _mm256_unpacklo_ps(v[0], v[1]), t1 = _mm256_unpackhi_ps(v[0], v[1]);
  const __m256 t2 = _mm256_unpacklo_ps(v[2], v[3]), t3 = _mm256_unpackhi_ps(v[2], v[3]);
  const __m256 t4 = _mm256_unpacklo_ps(v[4], v[5]), t5 = _mm256_unpackhi_ps(v[4], v[5]);
  const __m256 t6 = _mm256_unpacklo_ps(v[6], v[7]), t7 = _mm256_unpackhi_ps(v[6], v[7]);
  const __m256 u0 = _mm256_shuffle_ps(t0, t2, 0x44), u1 = _mm256_shuffle_ps(t0, t2, 0xee);
  const __m256 u2 = _mm256_shuffle_ps(t1, t3, 0x44), u3 = _mm256_shuffle_ps(t1, t3, 0xee);
  const __m256 u4 = _mm256_shuffle_ps(t4, t6, 0x44), u5 = _mm256_shuffle_ps(t4, t6, 0xee);
  const __m256 u6 = _mm256_shuffle_ps(t5, t7, 0x44), u7 = _mm256_shuffle_ps(t5, t7, 0xee);
  v[0] = _mm256_permute2f128_ps(u0, u4, 0x20);
  v[1] = _mm256_permute2f128_ps(u1, u5, 0x20);
  v[2] = _mm256_permute2f128_ps(u2, u6, 0x20);
  v[3] = _mm256_permute2f128_ps(u3, u7, 0x20);
  v[4] = _mm256_permute2f128_ps(u0, u4, 0x31);
  v[5] = _mm256_permute2f128_ps(u1, u5, 0x31);
  v[6] = _mm256_permute2f128_ps(u2, u6, 0x31);
  v[7] = _mm256_permute2f128_ps(u3, u7, 0x31);
}

// Four rows (one group) into the eight lines' groups at p, plain stores.
inline void store_group(const float* s, float* p, ptrdiff_t line_stride) {
  const __m256 t0 = _mm256_unpacklo_ps(_mm256_load_ps(s), _mm256_load_ps(s + 8));
  const __m256 t1 = _mm256_unpackhi_ps(_mm256_load_ps(s), _mm256_load_ps(s + 8));
  const __m256 t2 = _mm256_unpacklo_ps(_mm256_load_ps(s + 16), _mm256_load_ps(s + 24));
  const __m256 t3 = _mm256_unpackhi_ps(_mm256_load_ps(s + 16), _mm256_load_ps(s + 24));
  // q[c] holds line c's group in its low half and line c+4's in its high half.
  const __m256 q[4] = {_mm256_shuffle_ps(t0, t2, 0x44), _mm256_shuffle_ps(t0, t2, 0xee),
                       _mm256_shuffle_ps(t1, t3, 0x44), _mm256_shuffle_ps(t1, t3, 0xee)};
  for (int c = 0; c < 4; ++c) {
    _mm_store_ps(p + c * line_stride, _mm256_castps256_ps128(q[c]));
    _mm_store_ps(p + (c + 4) * line_stride, _mm256_extractf128_ps(q[c], 1));
  }
}

}  // namespace

void ring_store_x8_avx2(const float* src, int rows, float* dst, ptrdiff_t line_stride,
                        ptrdiff_t block_stride, int phase) {
  float* const base = dst - 4 * phase;  // group h lies in block h / 4 from here
  const int groups = rows / 4;
  int g = 0;
  while (g < groups) {
    const int h = phase + g;
    float* p = base + (ptrdiff_t)(h >> 2) * block_stride + 4 * (h & 3);
    if ((h & 3) != 0 || g + 4 > groups) {
      store_group(src + 32 * g, p, line_stride);
      ++g;
      continue;
    }
    const float* s = src + 32 * g;  // sixteen rows of eight lanes
    __m256 a[8], b[8];
    for (int r = 0; r < 8; ++r) {
      a[r] = _mm256_load_ps(s + 8 * r);
      b[r] = _mm256_load_ps(s + 64 + 8 * r);
    }
    transpose8(a);
    transpose8(b);
    for (int c = 0; c < 8; ++c) {
      _mm256_stream_ps(p + c * line_stride, a[c]);
      _mm256_stream_ps(p + c * line_stride + 8, b[c]);
    }
    g += 4;
  }
}
