// The 2-D transforms and the aggregation with AVX2: the scalar versions'
// operations in the same order, a whole row of eight columns in one register.
// The 8x8 transposition between the two passes only moves values.
#include <immintrin.h>

#include "strong/dct8.h"
#include "strong/dct8_butterfly.h"

namespace {

// A constant in all eight lanes (an object, so that the butterflies inline).
struct splat {
  __m256 operator()(float v) const { return _mm256_set1_ps(v); }
};

// r[k] becomes column k of the eight rows r[0..7].
inline void transpose8(__m256 r[8]) {
  // Pairs of rows interleaved, then pairs of pairs: each 128-bit half holds a
  // 4x4 transposed quarter; the halves then swap across the diagonal.
  const __m256 t0 = _mm256_unpacklo_ps(r[0], r[1]), t1 = _mm256_unpackhi_ps(r[0], r[1]);
  const __m256 t2 = _mm256_unpacklo_ps(r[2], r[3]), t3 = _mm256_unpackhi_ps(r[2], r[3]);
  const __m256 t4 = _mm256_unpacklo_ps(r[4], r[5]), t5 = _mm256_unpackhi_ps(r[4], r[5]);
  const __m256 t6 = _mm256_unpacklo_ps(r[6], r[7]), t7 = _mm256_unpackhi_ps(r[6], r[7]);
  const __m256 u0 = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(1, 0, 1, 0));
  const __m256 u1 = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(3, 2, 3, 2));
  const __m256 u2 = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(1, 0, 1, 0));
  const __m256 u3 = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(3, 2, 3, 2));
  const __m256 u4 = _mm256_shuffle_ps(t4, t6, _MM_SHUFFLE(1, 0, 1, 0));
  const __m256 u5 = _mm256_shuffle_ps(t4, t6, _MM_SHUFFLE(3, 2, 3, 2));
  const __m256 u6 = _mm256_shuffle_ps(t5, t7, _MM_SHUFFLE(1, 0, 1, 0));
  const __m256 u7 = _mm256_shuffle_ps(t5, t7, _MM_SHUFFLE(3, 2, 3, 2));
  r[0] = _mm256_permute2f128_ps(u0, u4, 0x20);
  r[1] = _mm256_permute2f128_ps(u1, u5, 0x20);
  r[2] = _mm256_permute2f128_ps(u2, u6, 0x20);
  r[3] = _mm256_permute2f128_ps(u3, u7, 0x20);
  r[4] = _mm256_permute2f128_ps(u0, u4, 0x31);
  r[5] = _mm256_permute2f128_ps(u1, u5, 0x31);
  r[6] = _mm256_permute2f128_ps(u2, u6, 0x31);
  r[7] = _mm256_permute2f128_ps(u3, u7, 0x31);
}

// A row of eight as two halves: the coefficients come from the shrinkages'
// four-wide stores, and a load spanning two stores waits for both to reach
// the cache where two half loads take each from its store.
__m256 load_row(const float* p) {
  return _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(p)), _mm_loadu_ps(p + 4), 1);
}

template <bool inverse>
void columns(const __m256 in[8], __m256 out[8]) {
  if (inverse)
    dct8_butterfly::inverse(in, splat(), out);
  else
    dct8_butterfly::forward(in, splat(), out);
}

template <bool inverse>
void transform(const float* in, int pitch, float* out) {
  __m256 rows[8], a[8];
  for (int k = 0; k < 8; ++k) rows[k] = load_row(in + k * pitch);
  columns<inverse>(rows, a);
  transpose8(a);
  columns<inverse>(a, rows);
  for (int u = 0; u < 8; ++u) _mm256_storeu_ps(out + 8 * u, rows[u]);
}

}  // namespace

void dct8_forward_avx2(const float* in, int pitch, float* out) { transform<false>(in, pitch, out); }
void dct8_inverse_avx2(const float* in, int pitch, float* out) { transform<true>(in, pitch, out); }

void aggregate8_avx2(const float* row, float weight, float say, float* num, float* den,
                     float* cover) {
  const __m256 w = _mm256_set1_ps(weight);
  _mm256_storeu_ps(num, _mm256_add_ps(_mm256_loadu_ps(num), _mm256_mul_ps(w, _mm256_loadu_ps(row))));
  _mm256_storeu_ps(den, _mm256_add_ps(_mm256_loadu_ps(den), w));
  _mm256_storeu_ps(cover, _mm256_add_ps(_mm256_loadu_ps(cover), _mm256_set1_ps(say)));
}
