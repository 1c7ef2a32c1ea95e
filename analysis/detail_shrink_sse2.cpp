// SSE2 keep mask and shrinkage: four positions per step, comparisons as lane
// masks, no branch per coefficient. Same results as detail_shrink_ref.cpp.
#include <emmintrin.h>

#include "analysis/detail_shrink.h"

namespace {

inline __m128 abs_ps(__m128 x) { return _mm_andnot_ps(_mm_set1_ps(-0.0f), x); }

// Second differences of x[j0 .. j0+3], ends replicated by shuffles.
inline __m128 second_difference4(const float* x, int j0, int m, __m128 here) {
  __m128 left = j0 == 0 ? _mm_shuffle_ps(here, here, _MM_SHUFFLE(2, 1, 0, 0))
                        : _mm_loadu_ps(x + j0 - 1);
  __m128 right = j0 + 4 == m ? _mm_shuffle_ps(here, here, _MM_SHUFFLE(3, 3, 2, 1))
                             : _mm_loadu_ps(x + j0 + 1);
  return _mm_sub_ps(_mm_sub_ps(_mm_add_ps(here, here), left), right);
}

}  // namespace

void keep_mask_sse2(const float* a, const float* b, int m, float limit, float floor,
                    float* keep) {
  const __m128 lim = _mm_set1_ps(limit);
  const __m128 flo = _mm_set1_ps(floor);
  const __m128 one = _mm_set1_ps(1.0f);
  for (int j = 0; j < m; j += 4) {
    __m128 va = _mm_load_ps(a + j);
    __m128 vb = _mm_load_ps(b + j);
    __m128 da = second_difference4(a, j, m, va);
    __m128 db = second_difference4(b, j, m, vb);
    va = abs_ps(va);
    vb = abs_ps(vb);
    // cmpnlt: not less than, so an unordered comparison counts as true.
    __m128 k = _mm_or_ps(_mm_cmpnlt_ps(va, lim), _mm_cmpnlt_ps(vb, lim));
    k = _mm_or_ps(k, _mm_or_ps(_mm_cmplt_ps(va, flo), _mm_cmplt_ps(vb, flo)));
    k = _mm_or_ps(k, _mm_cmpnlt_ps(abs_ps(da), lim));
    k = _mm_or_ps(k, _mm_cmpnlt_ps(abs_ps(db), lim));
    _mm_store_ps(keep + j, _mm_and_ps(k, one));
  }
}

void shrink_details_sse2(float* a, float* b, const float* keep, int m, float t) {
  if (t == 0.0f) t = shrink_zero_threshold;
  const __m128 thr = _mm_set1_ps(t);
  const __m128 one = _mm_set1_ps(1.0f);
  for (int j = 0; j < m; j += 4) {
    __m128 kept = _mm_cmpeq_ps(_mm_load_ps(keep + j), one);
    __m128 va = _mm_load_ps(a + j);
    __m128 vb = _mm_load_ps(b + j);
    // Lanes to clear: unprotected and |x| <= t (false for NaN).
    __m128 za = _mm_andnot_ps(kept, _mm_cmple_ps(abs_ps(va), thr));
    __m128 zb = _mm_andnot_ps(kept, _mm_cmple_ps(abs_ps(vb), thr));
    _mm_store_ps(a + j, _mm_andnot_ps(za, va));
    _mm_store_ps(b + j, _mm_andnot_ps(zb, vb));
  }
}
