// Block costs of the motion search with AVX2 (the same integer sums as the
// scalar versions). The row of 4x4 costs uses the multiple-SAD instruction:
// one 4-byte row of the block against eight consecutive 4-byte windows of
// the neighbour in each 128-bit half.
#include <immintrin.h>

#include <cstring>

#include "strong/block_cost.h"

uint32_t block_ssd16_avx2(const uint8_t* a, int a_pitch, const uint8_t* b, int b_pitch) {
  __m256i acc = _mm256_setzero_si256();
  for (int y = 0; y < 16; ++y, a += a_pitch, b += b_pitch) {
    const __m256i va = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a)));
    const __m256i vb = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b)));
    const __m256i d = _mm256_sub_epi16(va, vb);
    acc = _mm256_add_epi32(acc, _mm256_madd_epi16(d, d));
  }
  __m128i s = _mm_add_epi32(_mm256_castsi256_si128(acc), _mm256_extracti128_si256(acc, 1));
  s = _mm_add_epi32(s, _mm_shuffle_epi32(s, _MM_SHUFFLE(1, 0, 3, 2)));
  s = _mm_add_epi32(s, _mm_shuffle_epi32(s, _MM_SHUFFLE(2, 3, 0, 1)));
  return uint32_t(_mm_cvtsi128_si32(s));
}

void block_sad4_row_avx2(const uint8_t* a, int a_pitch, const uint8_t* b, int b_pitch, int count,
                         uint32_t* out) {
  __m256i rows[4];
  for (int y = 0; y < 4; ++y) {
    int32_t r;
    std::memcpy(&r, a + y * a_pitch, 4);
    rows[y] = _mm256_set1_epi32(r);
  }
  for (int i = 0; i < count; i += 16) {
    // Costs i .. i + 15 (at most 4 x 4 x 255: 16 bits suffice).
    __m256i acc = _mm256_setzero_si256();
    for (int y = 0; y < 4; ++y) {
      const uint8_t* p = b + y * b_pitch + i;
      const __m256i ref = _mm256_inserti128_si256(
          _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8)), 1);
      acc = _mm256_add_epi16(acc, _mm256_mpsadbw_epu8(ref, rows[y], 0));
    }
    const __m256i lo = _mm256_cvtepu16_epi32(_mm256_castsi256_si128(acc));
    const __m256i hi = _mm256_cvtepu16_epi32(_mm256_extracti128_si256(acc, 1));
    if (count - i >= 16) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), lo);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i + 8), hi);
    } else {
      uint32_t tail[16];
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(tail), lo);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(tail + 8), hi);
      std::memcpy(out + i, tail, size_t(count - i) * sizeof(uint32_t));
    }
  }
}
