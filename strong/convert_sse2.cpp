// The conversion kernels with SSE2, sixteen samples at a time; the rest of a
// row as the scalar versions take it.
#include <emmintrin.h>

#include "strong/convert.h"

void u8_to_float_sse2(const uint8_t* in, int n, float* out) {
  const __m128i zero = _mm_setzero_si128();
  int x = 0;
  for (; x + 16 <= n; x += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x));
    const __m128i lo = _mm_unpacklo_epi8(v, zero), hi = _mm_unpackhi_epi8(v, zero);
    _mm_storeu_ps(out + x, _mm_cvtepi32_ps(_mm_unpacklo_epi16(lo, zero)));
    _mm_storeu_ps(out + x + 4, _mm_cvtepi32_ps(_mm_unpackhi_epi16(lo, zero)));
    _mm_storeu_ps(out + x + 8, _mm_cvtepi32_ps(_mm_unpacklo_epi16(hi, zero)));
    _mm_storeu_ps(out + x + 12, _mm_cvtepi32_ps(_mm_unpackhi_epi16(hi, zero)));
  }
  u8_to_float_ref(in + x, n - x, out + x);
}

namespace {

// Four samples to whole numbers in 0 .. top. maxps gives its second operand
// where the first is not a number: 0, as the scalar version.
inline __m128i nearest4(const float* in, __m128 scale, __m128 half, __m128 top) {
  const __m128 q = _mm_add_ps(_mm_mul_ps(_mm_loadu_ps(in), scale), half);
  return _mm_cvttps_epi32(_mm_min_ps(_mm_max_ps(q, _mm_setzero_ps()), top));
}

}  // namespace

void float_to_u8_sse2(const float* in, int n, float scale, float top, uint8_t* out) {
  const __m128 s = _mm_set1_ps(scale), half = _mm_set1_ps(0.5f), t = _mm_set1_ps(top);
  int x = 0;
  for (; x + 16 <= n; x += 16) {
    const __m128i a = _mm_packs_epi32(nearest4(in + x, s, half, t),
                                      nearest4(in + x + 4, s, half, t));
    const __m128i b = _mm_packs_epi32(nearest4(in + x + 8, s, half, t),
                                      nearest4(in + x + 12, s, half, t));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(a, b));
  }
  float_to_u8_ref(in + x, n - x, scale, top, out + x);
}
