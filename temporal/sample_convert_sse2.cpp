// Eight samples per step: truncating conversion, saturating pack, clamp.
#include <emmintrin.h>

#include "temporal/sample_convert.h"

void row_to_int16_sse2(const float* src, int count, int16_t* dst) {
  const __m128 half = _mm_set1_ps(0.5f);
  const __m128i lo = _mm_set1_epi16(-8192);
  const __m128i hi = _mm_set1_epi16(8192);
  for (int k = 0; k < count; k += 8) {
    // cvttps gives 0x80000000 for NaN and out-of-range values.
    const __m128i a = _mm_cvttps_epi32(_mm_add_ps(_mm_load_ps(src + k), half));
    const __m128i b = _mm_cvttps_epi32(_mm_add_ps(_mm_load_ps(src + k + 4), half));
    const __m128i s = _mm_packs_epi32(a, b);
    _mm_store_si128(reinterpret_cast<__m128i*>(dst + k), _mm_min_epi16(_mm_max_epi16(s, lo), hi));
  }
}
