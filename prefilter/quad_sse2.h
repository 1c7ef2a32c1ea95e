// SSE2 helpers shared by the pre-filter kernels: loading the eight samples of
// a quad in lane order (see prefilter_internal.h) and spreading eight lane
// results back to the twelve shorts of the quad's four pixels.
// Include only from files compiled with SSE2.
#pragma once

#include <emmintrin.h>

#include "host/host_api.h"

namespace prefilter_detail {

// Shorts 0-3 of pixel p and of pixel p + 2: y cb cr y' twice. Reads 8 bytes
// at each pixel, i.e. up to the luma of pixel p + 3.
inline __m128i load_quad(const PIXEL_YC* p) {
  const __m128i lo = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
  const __m128i hi = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + 2));
  return _mm_unpacklo_epi64(lo, hi);
}

// |a - b| saturated to 32767 (SSE2 has no 16-bit absolute value).
inline __m128i absdiff_sat(__m128i a, __m128i b) {
  return _mm_max_epi16(_mm_subs_epi16(a, b), _mm_subs_epi16(b, a));
}

// Lanes L0..L7 = (y0 cb0 cr0 y1 y2 cb2 cr2 y3) to the pixel order
// y0 cb0 cr0 y1 cb0 cr0 y2 cb2 (first) and cr2 y3 cb2 cr2 (second, low half):
// odd pixels repeat the chroma of the even pixel to their left.
inline void spread_quad(__m128i lanes, __m128i* first, __m128i* second) {
  const __m128i shifted = _mm_srli_si128(lanes, 2);  // dwords L1L2, L3L4, L5L6, L7-
  // dwords L1L2, L5L6, L4L5, L6L7
  const __m128i pick = _mm_castps_si128(_mm_shuffle_ps(
      _mm_castsi128_ps(shifted), _mm_castsi128_ps(lanes), _MM_SHUFFLE(3, 2, 2, 0)));
  // dwords L1L2, L4L5, L6L7, L5L6
  const __m128i order = _mm_shuffle_epi32(pick, _MM_SHUFFLE(1, 3, 2, 0));
  *first = _mm_unpacklo_epi64(lanes, order);
  *second = _mm_unpackhi_epi64(order, order);
}

// The twelve shorts of pixels p .. p + 3: 16 bytes and 8 bytes.
inline void load_pixels4(const PIXEL_YC* p, __m128i* first, __m128i* second) {
  *first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  *second = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(reinterpret_cast<const short*>(p) + 8));
}
inline void store_pixels4(PIXEL_YC* p, __m128i first, __m128i second) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), first);
  _mm_storel_epi64(reinterpret_cast<__m128i*>(reinterpret_cast<short*>(p) + 8), second);
}

}  // namespace prefilter_detail
