// Sixteen pixels of eight rows per step: the eight chroma lines of those
// pixels are read eight samples deep and transposed, then each row's pixels
// are assembled from 32-bit pieces.
#include <emmintrin.h>

#include "temporal/pixel_pack.h"

namespace {

// rows[k] = samples k of the eight vectors (an 8 x 8 transpose of 16-bit values).
inline void transpose8(__m128i v[8]) {
  __m128i a[8], b[8];
  for (int i = 0; i < 4; ++i) {
    a[2 * i] = _mm_unpacklo_epi16(v[2 * i], v[2 * i + 1]);
    a[2 * i + 1] = _mm_unpackhi_epi16(v[2 * i], v[2 * i + 1]);
  }
  for (int i = 0; i < 2; ++i) {
    b[4 * i] = _mm_unpacklo_epi32(a[4 * i], a[4 * i + 2]);
    b[4 * i + 1] = _mm_unpackhi_epi32(a[4 * i], a[4 * i + 2]);
    b[4 * i + 2] = _mm_unpacklo_epi32(a[4 * i + 1], a[4 * i + 3]);
    b[4 * i + 3] = _mm_unpackhi_epi32(a[4 * i + 1], a[4 * i + 3]);
  }
  for (int i = 0; i < 4; ++i) {
    v[2 * i] = _mm_unpacklo_epi64(b[i], b[i + 4]);
    v[2 * i + 1] = _mm_unpackhi_epi64(b[i], b[i + 4]);
  }
}

// Eight luma floats to samples: truncating conversion, saturating pack, clamp.
inline __m128i luma8(const float* src) {
  const __m128 half = _mm_set1_ps(0.5f);
  const __m128i a = _mm_cvttps_epi32(_mm_add_ps(_mm_load_ps(src), half));
  const __m128i b = _mm_cvttps_epi32(_mm_add_ps(_mm_load_ps(src + 4), half));
  const __m128i s = _mm_packs_epi32(a, b);
  return _mm_min_epi16(_mm_max_epi16(s, _mm_set1_epi16(-8192)), _mm_set1_epi16(8192));
}

inline __m128 as_ps(__m128i v) { return _mm_castsi128_ps(v); }

// Eight pixels (48 bytes) from y (8 samples) and the low four cb, cr samples.
// A pixel pair is three 32-bit pieces: (y0, cb) (cr, y1) (cb, cr).
inline void store8(PIXEL_YC* dst, __m128i y, __m128i cb, __m128i cr) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i low16 = _mm_set1_epi32(0xFFFF);
  const __m128i d0 = _mm_or_si128(_mm_and_si128(y, low16), _mm_unpacklo_epi16(zero, cb));
  const __m128i d1 = _mm_or_si128(_mm_andnot_si128(low16, y), _mm_unpacklo_epi16(cr, zero));
  const __m128i d2 = _mm_unpacklo_epi16(cb, cr);
  // Pieces in memory order: d0[0] d1[0] d2[0] d0[1] | d1[1] d2[1] d0[2] d1[2] | d2[2] d0[3] d1[3]
  // d2[3]
  const __m128 r0 = _mm_shuffle_ps(as_ps(_mm_unpacklo_epi32(d0, d1)),
                                   as_ps(_mm_unpacklo_epi32(d2, d0)), _MM_SHUFFLE(3, 0, 1, 0));
  const __m128 r1 = _mm_shuffle_ps(as_ps(_mm_unpacklo_epi32(d1, d2)),
                                   as_ps(_mm_unpackhi_epi32(d0, d1)), _MM_SHUFFLE(1, 0, 3, 2));
  const __m128 r2 = _mm_shuffle_ps(as_ps(_mm_unpackhi_epi32(d2, d0)),
                                   as_ps(_mm_unpackhi_epi32(d1, d2)), _MM_SHUFFLE(3, 2, 3, 0));
  char* out = reinterpret_cast<char*>(dst);
  _mm_storeu_ps(reinterpret_cast<float*>(out), r0);
  _mm_storeu_ps(reinterpret_cast<float*>(out + 16), r1);
  _mm_storeu_ps(reinterpret_cast<float*>(out + 32), r2);
}

}  // namespace

void pack_pixel_rows_sse2(const float* luma, ptrdiff_t luma_stride, const int16_t* cb,
                          const int16_t* cr, ptrdiff_t chroma_stride, int w, PIXEL_YC* dst,
                          ptrdiff_t dst_stride) {
  for (int x = 0; x < w; x += 16) {
    __m128i u[8], v[8];
    const ptrdiff_t line = static_cast<ptrdiff_t>(x / 2) * chroma_stride;
    for (int k = 0; k < 8; ++k) {
      u[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cb + line + k * chroma_stride));
      v[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cr + line + k * chroma_stride));
    }
    transpose8(u);
    transpose8(v);
    for (int k = 0; k < 8; ++k) {
      const float* y = luma + k * luma_stride + x;
      PIXEL_YC* out = dst + k * dst_stride + x;
      store8(out, luma8(y), u[k], v[k]);
      store8(out + 8, luma8(y + 8), _mm_unpackhi_epi64(u[k], u[k]), _mm_unpackhi_epi64(v[k], v[k]));
    }
  }
}
