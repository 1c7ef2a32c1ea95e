// D4 synthesis of a pair of picture rows, four values per step.
#include <emmintrin.h>

#include "temporal/d4_synthesize.h"

void d4_synthesize_rows_sse2(const float* l, const float* lp, const float* h, const float* hp,
                             int count, int head, float* even, float* odd) {
  const __m128 h0 = _mm_set1_ps(d4_h0), h1 = _mm_set1_ps(d4_h1);
  const __m128 h2 = _mm_set1_ps(d4_h2), h3 = _mm_set1_ps(d4_h3);
  if (head) {
    for (int k = 0; k < count; k += 4) {
      const __m128 a = _mm_load_ps(l + k), b = _mm_load_ps(lp + k);
      const __m128 c = _mm_load_ps(h + k), d = _mm_load_ps(hp + k);
      _mm_store_ps(even + k, _mm_add_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(h0, a), _mm_mul_ps(h2, b)),
                                                   _mm_mul_ps(h3, c)),
                                        _mm_mul_ps(h1, d)));
      _mm_store_ps(odd + k, _mm_sub_ps(_mm_sub_ps(_mm_add_ps(_mm_mul_ps(h1, a), _mm_mul_ps(h3, b)),
                                                  _mm_mul_ps(h2, c)),
                                       _mm_mul_ps(h0, d)));
    }
    return;
  }
  for (int k = 0; k < count; k += 4) {
    const __m128 a = _mm_load_ps(l + k), b = _mm_load_ps(lp + k);
    const __m128 c = _mm_load_ps(h + k), d = _mm_load_ps(hp + k);
    _mm_store_ps(even + k, _mm_add_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(h0, a), _mm_mul_ps(h3, c)),
                                                 _mm_mul_ps(h2, b)),
                                      _mm_mul_ps(h1, d)));
    _mm_store_ps(odd + k, _mm_sub_ps(_mm_add_ps(_mm_sub_ps(_mm_mul_ps(h1, a), _mm_mul_ps(h2, c)),
                                                _mm_mul_ps(h3, b)),
                                     _mm_mul_ps(h0, d)));
  }
}
