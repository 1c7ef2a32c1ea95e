// The temporal reading's histogram with AVX2: eight differences and their
// bins at a time; the bins of 32 samples packed into bytes, and the bins of
// small magnitudes either side of zero, where noise puts most differences,
// counted by comparing all 32 with each bin (a byte count per lane and bin);
// the few samples beyond them one at a time.
#include <immintrin.h>

#include "strong/noise_bins.h"

namespace {

// Bins counted by comparison: magnitudes up to 15, either sign.
constexpr int byte_reach = 15;
constexpr int first_byte_bin = noise_zero_bin - byte_reach;
constexpr int byte_bins = 2 * byte_reach + 1;

// Counts 32 bins (four vectors of eight; 255 marks none) into the byte
// counts of the middle bins, or one at a time into count.
void count_bins(const __m256i held[4], __m256i small[byte_bins],
                uint32_t count[noise_difference_bins]) {
  const __m256i bytes = _mm256_packus_epi16(_mm256_packs_epi32(held[0], held[1]),
                                            _mm256_packs_epi32(held[2], held[3]));
  // Signed, the bins are 0 to 126 and none is -1: beyond the middle bins
  // above them, or below them but not none.
  const __m256i above = _mm256_cmpgt_epi8(bytes, _mm256_set1_epi8(first_byte_bin + byte_bins - 1));
  const __m256i below = _mm256_and_si256(_mm256_cmpgt_epi8(_mm256_set1_epi8(first_byte_bin), bytes),
                                         _mm256_cmpgt_epi8(bytes, _mm256_set1_epi8(-1)));
  unsigned mask = unsigned(_mm256_movemask_epi8(_mm256_or_si256(above, below)));
  if (mask) {
    alignas(32) uint8_t bin[32];
    _mm256_store_si256(reinterpret_cast<__m256i*>(bin), bytes);
    for (; mask; mask &= mask - 1) ++count[bin[__builtin_ctz(mask)]];
  }
  __m256i k = _mm256_set1_epi8(first_byte_bin);
  const __m256i one = _mm256_set1_epi8(1);
  for (int i = 0; i < byte_bins; ++i, k = _mm256_add_epi8(k, one))
    small[i] = _mm256_sub_epi8(small[i], _mm256_cmpeq_epi8(bytes, k));
}

}  // namespace

int difference_bins_avx2(const float* cur, int cur_pitch, const float* comp, int comp_pitch,
                         int w, int h, uint32_t count[noise_difference_bins]) {
  // A byte count takes one sample of each 32.
  if (w % 8 || w * h > 32 * 255)
    return difference_bins_sse2(cur, cur_pitch, comp, comp_pitch, w, h, count);
  const __m256 zero = _mm256_setzero_ps(), top = _mm256_set1_ps(255.0f),
               half = _mm256_set1_ps(0.5f), last = _mm256_set1_ps(float(noise_median_bins - 1));
  const __m256 magnitude = _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff));
  const __m256i centre = _mm256_set1_epi32(noise_zero_bin);
  __m256 nonzero = zero;
  __m256i small[byte_bins];
  for (__m256i& s : small) s = _mm256_setzero_si256();
  __m256i held[4];
  int n = 0;
  for (int y = 0; y < h; ++y, cur += cur_pitch, comp += comp_pitch) {
    __m256 clipped = zero;
    for (int x = 0; x < w; x += 8) {
      const __m256 a = _mm256_loadu_ps(cur + x), b = _mm256_loadu_ps(comp + x);
      clipped = _mm256_or_ps(
          clipped, _mm256_or_ps(_mm256_or_ps(_mm256_cmp_ps(a, zero, _CMP_LE_OS),
                                             _mm256_cmp_ps(a, top, _CMP_GE_OS)),
                                _mm256_or_ps(_mm256_cmp_ps(b, zero, _CMP_LE_OS),
                                             _mm256_cmp_ps(b, top, _CMP_GE_OS))));
      // As the SSE2 version: |b - a| by the sign bit, min before truncating,
      // the sign s (all ones where b < a) applied as (m ^ s) - s.
      const __m256 d = _mm256_and_ps(_mm256_sub_ps(b, a), magnitude);
      nonzero = _mm256_or_ps(nonzero, _mm256_cmp_ps(d, zero, _CMP_NEQ_UQ));
      const __m256i m = _mm256_cvttps_epi32(_mm256_min_ps(_mm256_add_ps(d, half), last));
      const __m256i s = _mm256_castps_si256(_mm256_cmp_ps(b, a, _CMP_LT_OS));
      held[n++] = _mm256_add_epi32(centre, _mm256_sub_epi32(_mm256_xor_si256(m, s), s));
      if (n == 4) {
        count_bins(held, small, count);
        n = 0;
      }
    }
    if (_mm256_movemask_ps(clipped)) return -1;
  }
  if (n) {
    for (int i = n; i < 4; ++i) held[i] = _mm256_set1_epi32(255);
    count_bins(held, small, count);
  }
  for (int i = 0; i < byte_bins; ++i) {
    const __m256i s = _mm256_sad_epu8(small[i], _mm256_setzero_si256());  // four sums of 8
    const __m128i t = _mm_add_epi64(_mm256_castsi256_si128(s), _mm256_extracti128_si256(s, 1));
    count[first_byte_bin + i] +=
        uint32_t(_mm_cvtsi128_si32(_mm_add_epi64(t, _mm_unpackhi_epi64(t, t))));
  }
  return _mm256_movemask_ps(nonzero) ? 1 : 0;
}
