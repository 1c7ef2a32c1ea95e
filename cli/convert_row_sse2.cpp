// 8-bit picture rows to PIXEL_YC, sixteen pixels at a time with SSE2 (part
// of every x86-64 processor). The sample formulas are computed exactly in
// integers, as eight_bit_row_to_pixels_ref does with its tables:
//  - luma ((v * 1197) >> 6) - 299: (v << 6) * 19152 is v * 1197 * 1024, so
//    the high half of that unsigned product is (v * 1197) >> 6;
//  - chroma ((v - 128) * 4681 + 164) >> 8: one multiply-add of the pair
//    (v - 128, 1) with (4681, 164) in 32 bits, shifted and packed (the result
//    lies in [-2340, 2336]).
// A pixel pair is then three 32-bit words (y0, cb0) (cr0, y1) (cb1, cr1),
// and four pairs are three vectors of those words, interleaved into the
// three 16-byte pieces the 24 output samples make.
#include "cli/convert.h"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace {

inline __m128i luma_of(__m128i v16) {
  return _mm_sub_epi16(_mm_mulhi_epu16(_mm_slli_epi16(v16, 6), _mm_set1_epi16(19152)),
                       _mm_set1_epi16(299));
}

// Eight chroma bytes (the low half of v8) to eight samples.
inline __m128i chroma_of(__m128i v8) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i c = _mm_sub_epi16(_mm_unpacklo_epi8(v8, zero), _mm_set1_epi16(128));
  const __m128i k = _mm_set1_epi32(4681 | (164 << 16));
  const __m128i one = _mm_set1_epi16(1);
  const __m128i lo = _mm_srai_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(c, one), k), 8);
  const __m128i hi = _mm_srai_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(c, one), k), 8);
  return _mm_packs_epi32(lo, hi);
}

// The even and the odd lanes of sixteen samples (a: lanes 0-7, b: 8-15).
inline __m128i even_lanes(__m128i a, __m128i b) {
  return _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(a, 16), 16),
                         _mm_srai_epi32(_mm_slli_epi32(b, 16), 16));
}
inline __m128i odd_lanes(__m128i a, __m128i b) {
  return _mm_packs_epi32(_mm_srai_epi32(a, 16), _mm_srai_epi32(b, 16));
}

// Four pixel pairs from their words d0 (y0, cb0), d1 (cr0, y1), d2 (cb1, cr1).
inline void store_pairs(__m128i d0, __m128i d1, __m128i d2, __m128i* out) {
  const __m128i t0 = _mm_unpacklo_epi32(d0, d1);  // d0(0) d1(0) d0(1) d1(1)
  const __m128i t1 = _mm_unpackhi_epi32(d0, d1);  // d0(2) d1(2) d0(3) d1(3)
  const __m128i u = _mm_unpacklo_epi32(d2, _mm_srli_si128(d0, 4));  // d2(0) d0(1) ..
  const __m128i v = _mm_unpacklo_epi32(_mm_srli_si128(d1, 4), _mm_srli_si128(d2, 4));
  const __m128i x = _mm_unpackhi_epi64(t1, d2);  // d0(3) d1(3) d2(2) d2(3)
  _mm_storeu_si128(out, _mm_unpacklo_epi64(t0, u));
  _mm_storeu_si128(out + 1, _mm_unpacklo_epi64(v, t1));
  _mm_storeu_si128(out + 2, _mm_shuffle_epi32(x, _MM_SHUFFLE(3, 1, 0, 2)));
}

}  // namespace

void eight_bit_row_to_pixels_sse2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, int w,
                                  int chroma_shift, PIXEL_YC* out) {
  const __m128i zero = _mm_setzero_si128();
  int x = 0;
  for (; x + 16 <= w; x += 16) {
    const __m128i yv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + x));
    const __m128i ya = luma_of(_mm_unpacklo_epi8(yv, zero));
    const __m128i yb = luma_of(_mm_unpackhi_epi8(yv, zero));
    const __m128i y_even = even_lanes(ya, yb), y_odd = odd_lanes(ya, yb);
    __m128i cb_even, cb_odd, cr_even, cr_odd;
    if (chroma_shift) {  // one chroma sample per pair
      cb_even = cb_odd = chroma_of(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(cb + x / 2)));
      cr_even = cr_odd = chroma_of(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(cr + x / 2)));
    } else {
      const __m128i bv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cb + x));
      const __m128i rv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cr + x));
      const __m128i ba = chroma_of(bv), bb = chroma_of(_mm_srli_si128(bv, 8));
      const __m128i ra = chroma_of(rv), rb = chroma_of(_mm_srli_si128(rv, 8));
      cb_even = even_lanes(ba, bb);
      cb_odd = odd_lanes(ba, bb);
      cr_even = even_lanes(ra, rb);
      cr_odd = odd_lanes(ra, rb);
    }
    __m128i* o = reinterpret_cast<__m128i*>(out + x);
    store_pairs(_mm_unpacklo_epi16(y_even, cb_even), _mm_unpacklo_epi16(cr_even, y_odd),
                _mm_unpacklo_epi16(cb_odd, cr_odd), o);
    store_pairs(_mm_unpackhi_epi16(y_even, cb_even), _mm_unpackhi_epi16(cr_even, y_odd),
                _mm_unpackhi_epi16(cb_odd, cr_odd), o + 3);
  }
  if (x < w)
    eight_bit_row_to_pixels_ref(y + x, cb + (x >> chroma_shift), cr + (x >> chroma_shift), w - x,
                                chroma_shift, out + x);
}
#endif
