// PIXEL_YC rows to 8-bit plane rows with SSE2, eight pixels at a time, the
// same integer arithmetic as the _ref versions beside the other conversions:
//  - luma ((y * 219 + 383) >> 12) + 16, clamped to a byte: one multiply-add
//    of the pair (y, 1) with (219, 383) in 32 bits;
//  - chroma of a 2x2 block: the four samples summed in 32 bits (a multiply-
//    add by ones adds the two columns of a row), c = (2 * sum + 4) >> 3, then
//    (((c + 2048) * 7 + 66) >> 7) + 16, clamped to a byte.
// Eight pixels are three vectors of interleaved y, cb, cr; they are split
// into one vector per component by three rounds of unpacking.
#include "cli/convert.h"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace {

inline __m128i high_half(__m128i v) { return _mm_unpackhi_epi64(v, v); }

// The y, cb and cr samples of eight pixels.
inline void split_pixels(const PIXEL_YC* p, __m128i* y, __m128i* cb, __m128i* cr) {
  const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p) + 1);
  const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p) + 2);
  const __m128i a1 = _mm_unpacklo_epi16(a, high_half(b));
  const __m128i b1 = _mm_unpacklo_epi16(high_half(a), c);
  const __m128i c1 = _mm_unpacklo_epi16(b, high_half(c));
  const __m128i a2 = _mm_unpacklo_epi16(a1, high_half(b1));
  const __m128i b2 = _mm_unpacklo_epi16(high_half(a1), c1);
  const __m128i c2 = _mm_unpacklo_epi16(b1, high_half(c1));
  *y = _mm_unpacklo_epi16(a2, high_half(b2));
  *cb = _mm_unpacklo_epi16(high_half(a2), c2);
  *cr = _mm_unpacklo_epi16(b2, high_half(c2));
}

// Eight luma samples to their eight results (16 bits each).
inline __m128i luma_bytes(__m128i y) {
  const __m128i k = _mm_set1_epi32(219 | (383 << 16));
  const __m128i one = _mm_set1_epi16(1);
  const __m128i lo = _mm_srai_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(y, one), k), 12);
  const __m128i hi = _mm_srai_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(y, one), k), 12);
  return _mm_add_epi16(_mm_packs_epi32(lo, hi), _mm_set1_epi16(16));
}

// Four 32-bit block sums to four chroma results (32 bits each).
inline __m128i chroma_of_sums(__m128i sum) {
  const __m128i c = _mm_srai_epi32(_mm_add_epi32(_mm_slli_epi32(sum, 1), _mm_set1_epi32(4)), 3);
  const __m128i t = _mm_add_epi32(c, _mm_set1_epi32(2048));
  const __m128i t7 = _mm_sub_epi32(_mm_slli_epi32(t, 3), t);
  return _mm_add_epi32(_mm_srai_epi32(_mm_add_epi32(t7, _mm_set1_epi32(66)), 7),
                       _mm_set1_epi32(16));
}

}  // namespace

void luma_to_bytes_sse2(const PIXEL_YC* row, int w, uint8_t* out) {
  int x = 0;
  for (; x + 16 <= w; x += 16) {
    __m128i y0, y1, unused;
    split_pixels(row + x, &y0, &unused, &unused);
    split_pixels(row + x + 8, &y1, &unused, &unused);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x),
                     _mm_packus_epi16(luma_bytes(y0), luma_bytes(y1)));
  }
  if (x < w) luma_to_bytes_ref(row + x, w - x, out + x);
}

void chroma_blocks_to_bytes_sse2(const PIXEL_YC* r0, const PIXEL_YC* r1, int count, uint8_t* cb,
                                 uint8_t* cr) {
  const __m128i ones = _mm_set1_epi16(1);
  int cx = 0;
  for (; cx + 8 <= count; cx += 8) {
    // Sums of the 2x2 blocks, in 32 bits: columns added by a multiply-add by
    // ones, then the two rows; blocks 0-3 from pixels 0-7, 4-7 from 8-15.
    __m128i sum_b[2], sum_r[2];
    for (int half = 0; half < 2; ++half) {
      __m128i y, b0, c0, b1, c1;
      split_pixels(r0 + 2 * cx + 8 * half, &y, &b0, &c0);
      split_pixels(r1 + 2 * cx + 8 * half, &y, &b1, &c1);
      sum_b[half] = _mm_add_epi32(_mm_madd_epi16(b0, ones), _mm_madd_epi16(b1, ones));
      sum_r[half] = _mm_add_epi32(_mm_madd_epi16(c0, ones), _mm_madd_epi16(c1, ones));
    }
    const __m128i vb = _mm_packs_epi32(chroma_of_sums(sum_b[0]), chroma_of_sums(sum_b[1]));
    const __m128i vr = _mm_packs_epi32(chroma_of_sums(sum_r[0]), chroma_of_sums(sum_r[1]));
    const __m128i bytes = _mm_packus_epi16(vb, vr);  // cb in the low half, cr in the high
    _mm_storel_epi64(reinterpret_cast<__m128i*>(cb + cx), bytes);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(cr + cx), _mm_unpackhi_epi64(bytes, bytes));
  }
  if (cx < count) chroma_blocks_to_bytes_ref(r0 + 2 * cx, r1 + 2 * cx, count - cx, cb + cx, cr + cx);
}
#endif
