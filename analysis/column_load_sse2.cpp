// SSE2 block loading: the samples of a block's row are inserted into four
// vectors of eight shorts (Y 0-7, Y 8-15, Cb and Cr of the even pixels), then
// sign-extended and converted four at a time.
#include <emmintrin.h>

#include "analysis/column_load.h"

namespace {

// Shorts 0-3 and 4-7 of v as floats, stored at lo and hi.
inline void widen_store(__m128i v, float* lo, float* hi) {
  _mm_store_ps(lo, _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16)));
  _mm_store_ps(hi, _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpackhi_epi16(v, v), 16)));
}

// The eight samples at byte offset `first` of pixels 0, step, .., 7 step.
template <int first, int step>
inline __m128i gather8(const char* px) {
  auto at = [px](int p) {
    short s;
    __builtin_memcpy(&s, px + first + 6 * step * p, sizeof s);
    return (int)s;
  };
  __m128i v = _mm_cvtsi32_si128(at(0));
  v = _mm_insert_epi16(v, at(1), 1);
  v = _mm_insert_epi16(v, at(2), 2);
  v = _mm_insert_epi16(v, at(3), 3);
  v = _mm_insert_epi16(v, at(4), 4);
  v = _mm_insert_epi16(v, at(5), 5);
  v = _mm_insert_epi16(v, at(6), 6);
  return _mm_insert_epi16(v, at(7), 7);
}

struct sse2_row {
  void operator()(const PIXEL_YC* px, float* const* groups, ptrdiff_t offset) const {
    const char* bytes = reinterpret_cast<const char*>(px);
    widen_store(gather8<0, 1>(bytes), groups[0] + offset, groups[1] + offset);
    widen_store(gather8<48, 1>(bytes), groups[2] + offset, groups[3] + offset);
    widen_store(gather8<2, 2>(bytes), groups[4] + offset, groups[5] + offset);
    widen_store(gather8<4, 2>(bytes), groups[6] + offset, groups[7] + offset);
  }
};

}  // namespace

void load_block_x4_sse2(const PIXEL_YC* frame, int max_w, int x0, int h, int H, int per_field,
                        float* const* groups) {
  walk_block<4>(frame, max_w, x0, h, H, per_field, groups, sse2_row());
}
