// AVX2 block loading: the 96 bytes of a block's row are picked apart with byte
// shuffles, each 128-bit lane serving eight pixels, and widened to float.
#include <immintrin.h>

#include "analysis/column_load.h"

namespace {

// Byte shuffles of one lane's three 16-byte chunks (pixels 0-7 of the lane,
// 48 bytes): Y of pixel p to shorts p, and Cb, Cr of pixels 0, 2, 4, 6 to
// shorts 0-3 and 4-7. -1 clears a byte.
#define NIVORA_LANES(...) _mm256_setr_epi8(__VA_ARGS__, __VA_ARGS__)
inline __m256i y_from_a() {
  return NIVORA_LANES(0, 1, 6, 7, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
}
inline __m256i y_from_b() {
  return NIVORA_LANES(-1, -1, -1, -1, -1, -1, 2, 3, 8, 9, 14, 15, -1, -1, -1, -1);
}
inline __m256i y_from_c() {
  return NIVORA_LANES(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 4, 5, 10, 11);
}
inline __m256i c_from_a() {
  return NIVORA_LANES(2, 3, 14, 15, -1, -1, -1, -1, 4, 5, -1, -1, -1, -1, -1, -1);
}
inline __m256i c_from_b() {
  return NIVORA_LANES(-1, -1, -1, -1, 10, 11, -1, -1, -1, -1, 0, 1, 12, 13, -1, -1);
}
inline __m256i c_from_c() {
  return NIVORA_LANES(-1, -1, -1, -1, -1, -1, 6, 7, -1, -1, -1, -1, -1, -1, 8, 9);
}
#undef NIVORA_LANES

// Bytes at p (pixels 0-7 of the block's first lane) and p + 48 (pixels 8-15).
inline __m256i load_pair(const char* p) {
  return _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48)), 1);
}

inline __m256 widen(__m128i shorts) {
  return _mm256_cvtepi32_ps(_mm256_cvtepi16_epi32(shorts));
}

struct avx2_row {
  void operator()(const PIXEL_YC* px, float* const* groups, ptrdiff_t offset) const {
    const char* bytes = reinterpret_cast<const char*>(px);
    const __m256i a = load_pair(bytes);
    const __m256i b = load_pair(bytes + 16);
    const __m256i c = load_pair(bytes + 32);
    const __m256i y = _mm256_or_si256(
        _mm256_or_si256(_mm256_shuffle_epi8(a, y_from_a()), _mm256_shuffle_epi8(b, y_from_b())),
        _mm256_shuffle_epi8(c, y_from_c()));
    __m256i cbcr = _mm256_or_si256(
        _mm256_or_si256(_mm256_shuffle_epi8(a, c_from_a()), _mm256_shuffle_epi8(b, c_from_b())),
        _mm256_shuffle_epi8(c, c_from_c()));
    // (Cb 0-6, Cr 0-6 | Cb 8-14, Cr 8-14) -> (Cb 0-14 | Cr 0-14)
    cbcr = _mm256_permute4x64_epi64(cbcr, 0xd8);
    _mm256_store_ps(groups[0] + offset, widen(_mm256_castsi256_si128(y)));
    _mm256_store_ps(groups[1] + offset, widen(_mm256_extracti128_si256(y, 1)));
    _mm256_store_ps(groups[2] + offset, widen(_mm256_castsi256_si128(cbcr)));
    _mm256_store_ps(groups[3] + offset, widen(_mm256_extracti128_si256(cbcr, 1)));
  }
};

}  // namespace

void load_block_x8_avx2(const PIXEL_YC* frame, int max_w, int x0, int h, int H, int per_field,
                        float* const* groups) {
  walk_block<8>(frame, max_w, x0, h, H, per_field, groups, avx2_row());
}
