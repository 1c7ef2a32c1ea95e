// The way back to YC48 with SSE2, eight samples at a time (the scalar
// version's operations in the same order; the rest of a row by it).
#include <emmintrin.h>

#include "strong_window/yc48_row.h"

namespace {

__m128i floor_of(__m128 v, __m128 offset, __m128 scale) {
  const __m128 q = _mm_div_ps(_mm_mul_ps(_mm_sub_ps(v, offset), _mm_set1_ps(4096.0f)), scale);
  __m128 s = _mm_add_ps(q, _mm_set1_ps(0.5f));
  // maxps gives its second operand where the first is no value: the clamp's -32768.
  s = _mm_min_ps(_mm_max_ps(s, _mm_set1_ps(-32768.0f)), _mm_set1_ps(32767.0f));
  // Truncation, less one where it went up (negative s with a fraction).
  const __m128i t = _mm_cvttps_epi32(s);
  const __m128 above = _mm_cmpgt_ps(_mm_cvtepi32_ps(t), s);
  return _mm_add_epi32(t, _mm_castps_si128(above));
}

}  // namespace

void yc48_row_sse2(const float* src, int n, float offset, float scale, short* dst) {
  const __m128 o = _mm_set1_ps(offset), k = _mm_set1_ps(scale);
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m128i lo = floor_of(_mm_loadu_ps(src + i), o, k);
    const __m128i hi = floor_of(_mm_loadu_ps(src + i + 4), o, k);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_packs_epi32(lo, hi));
  }
  yc48_row_ref(src + i, n - i, offset, scale, dst + i);
}
