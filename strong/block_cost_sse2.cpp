// Block costs of the motion search with SSE2 (the same integer sums as the
// scalar versions).
#include <emmintrin.h>

#include <cstring>

#include "strong/block_cost.h"

uint32_t block_ssd16_sse2(const uint8_t* a, int a_pitch, const uint8_t* b, int b_pitch) {
  const __m128i zero = _mm_setzero_si128();
  __m128i acc = zero;
  for (int y = 0; y < 16; ++y, a += a_pitch, b += b_pitch) {
    const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a));
    const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b));
    const __m128i lo = _mm_sub_epi16(_mm_unpacklo_epi8(va, zero), _mm_unpacklo_epi8(vb, zero));
    const __m128i hi = _mm_sub_epi16(_mm_unpackhi_epi8(va, zero), _mm_unpackhi_epi8(vb, zero));
    acc = _mm_add_epi32(acc, _mm_add_epi32(_mm_madd_epi16(lo, lo), _mm_madd_epi16(hi, hi)));
  }
  acc = _mm_add_epi32(acc, _mm_shuffle_epi32(acc, _MM_SHUFFLE(1, 0, 3, 2)));
  acc = _mm_add_epi32(acc, _mm_shuffle_epi32(acc, _MM_SHUFFLE(2, 3, 0, 1)));
  return uint32_t(_mm_cvtsi128_si32(acc));
}

uint32_t block_sad8_sse2(const uint8_t* a, int a_pitch, const uint8_t* b, int b_pitch, int h) {
  __m128i acc = _mm_setzero_si128();
  for (int y = 0; y < h; ++y, a += a_pitch, b += b_pitch) {
    const __m128i va = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(a));
    const __m128i vb = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(b));
    acc = _mm_add_epi64(acc, _mm_sad_epu8(va, vb));
  }
  return uint32_t(_mm_cvtsi128_si32(acc));
}

namespace {
// Four rows of four bytes in one register.
__m128i load_4x4(const uint8_t* p, int pitch) {
  int32_t r[4];
  for (int y = 0; y < 4; ++y) std::memcpy(&r[y], p + y * pitch, 4);
  return _mm_setr_epi32(r[0], r[1], r[2], r[3]);
}
}  // namespace

uint32_t block_sad4_sse2(const uint8_t* a, int a_pitch, const uint8_t* b, int b_pitch) {
  const __m128i s = _mm_sad_epu8(load_4x4(a, a_pitch), load_4x4(b, b_pitch));
  return uint32_t(_mm_cvtsi128_si32(s) + _mm_cvtsi128_si32(_mm_srli_si128(s, 8)));
}

void block_sad4_row_sse2(const uint8_t* a, int a_pitch, const uint8_t* b, int b_pitch, int count,
                         uint32_t* out) {
  const __m128i block = load_4x4(a, a_pitch);
  for (int i = 0; i < count; ++i) {
    const __m128i s = _mm_sad_epu8(block, load_4x4(b + i, b_pitch));
    out[i] = uint32_t(_mm_cvtsi128_si32(s) + _mm_cvtsi128_si32(_mm_srli_si128(s, 8)));
  }
}
