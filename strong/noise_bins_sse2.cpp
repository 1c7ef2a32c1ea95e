// The temporal reading's histogram with SSE2: four differences and their bins
// at a time, counted in one histogram per lane (so that a run of equal bins
// does not wait on its own counts; 16-bit counts, a lane takes a quarter of
// the block), added up eight bins at a time at the end.
#include <emmintrin.h>

#include "strong/noise_bins.h"

namespace {

// A lane's histogram, rounded up to whole groups of eight bins.
constexpr int lane_bins = (noise_difference_bins + 7) / 8 * 8;

}  // namespace

int difference_bins_sse2(const float* cur, int cur_pitch, const float* comp, int comp_pitch,
                         int w, int h, uint32_t count[noise_difference_bins]) {
  alignas(16) uint16_t lane[4][lane_bins] = {};
  const __m128 zero = _mm_setzero_ps(), top = _mm_set1_ps(255.0f), half = _mm_set1_ps(0.5f);
  const __m128 last = _mm_set1_ps(float(noise_median_bins - 1));
  const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
  const __m128i centre = _mm_set1_epi32(noise_zero_bin);
  __m128 nonzero = zero;
  for (int y = 0; y < h; ++y, cur += cur_pitch, comp += comp_pitch) {
    __m128 clipped = zero;
    for (int x = 0; x < w; x += 4) {
      const __m128 a = _mm_loadu_ps(cur + x), b = _mm_loadu_ps(comp + x);
      clipped = _mm_or_ps(clipped, _mm_or_ps(_mm_or_ps(_mm_cmple_ps(a, zero), _mm_cmpge_ps(a, top)),
                                             _mm_or_ps(_mm_cmple_ps(b, zero), _mm_cmpge_ps(b, top))));
      // |b - a| by the sign bit; min before truncating: the same bin as
      // truncating and then taking the last for anything above it. The
      // sign (all ones where b < a) negates the bin: (m ^ s) - s.
      const __m128 d = _mm_and_ps(_mm_sub_ps(b, a), magnitude);
      nonzero = _mm_or_ps(nonzero, _mm_cmpneq_ps(d, zero));
      const __m128i m = _mm_cvttps_epi32(_mm_min_ps(_mm_add_ps(d, half), last));
      const __m128i s = _mm_castps_si128(_mm_cmplt_ps(b, a));
      const __m128i bins = _mm_add_epi32(centre, _mm_sub_epi32(_mm_xor_si128(m, s), s));
      ++lane[0][_mm_cvtsi128_si32(bins)];
      ++lane[1][_mm_cvtsi128_si32(_mm_shuffle_epi32(bins, 1))];
      ++lane[2][_mm_cvtsi128_si32(_mm_shuffle_epi32(bins, 2))];
      ++lane[3][_mm_cvtsi128_si32(_mm_shuffle_epi32(bins, 3))];
    }
    if (_mm_movemask_ps(clipped)) return -1;
  }
  int k = 0;
  for (; k + 8 <= noise_difference_bins; k += 8) {
    const __m128i sum =
        _mm_add_epi16(_mm_add_epi16(_mm_load_si128(reinterpret_cast<const __m128i*>(&lane[0][k])),
                                    _mm_load_si128(reinterpret_cast<const __m128i*>(&lane[1][k]))),
                      _mm_add_epi16(_mm_load_si128(reinterpret_cast<const __m128i*>(&lane[2][k])),
                                    _mm_load_si128(reinterpret_cast<const __m128i*>(&lane[3][k]))));
    __m128i* to = reinterpret_cast<__m128i*>(count + k);
    _mm_storeu_si128(to, _mm_add_epi32(_mm_loadu_si128(to), _mm_unpacklo_epi16(sum, _mm_setzero_si128())));
    _mm_storeu_si128(to + 1, _mm_add_epi32(_mm_loadu_si128(to + 1),
                                           _mm_unpackhi_epi16(sum, _mm_setzero_si128())));
  }
  for (; k < noise_difference_bins; ++k)
    count[k] += uint32_t(lane[0][k]) + lane[1][k] + lane[2][k] + lane[3][k];
  return _mm_movemask_ps(nonzero) ? 1 : 0;
}
