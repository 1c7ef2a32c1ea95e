// Block-noise reduction, AVX2 version: frames are filtered from planar rows
// and shared difference images (the planar path of block_nr_planar.h over
// sixteen-lane vectors); frames too narrow for a strip (under 48 pixels) go
// to the SSE2 version. Both give the scalar version's results.
// Every function here is local (the planar path's templates are included
// inside the anonymous namespace), so no AVX2 code can stand in for an inline
// function of another file; from prefilter_internal.h only the out-of-line
// copy_unfiltered is used.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "prefilter/prefilter.h"
#include "prefilter/prefilter_internal.h"

namespace {

// Correction from the saturated sum A of accepted offsets and -n (count):
// A / n exactly in single precision (n taken as 1 when nothing was
// accepted, A then being 0), plus one half, truncated, saturated.
inline __m256i mean_offset(__m256i acc, __m256i count) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i n = _mm256_max_epi16(_mm256_sub_epi16(zero, count), _mm256_set1_epi16(1));
  // Sign-extend A, zero-extend n, divide exactly; unpacking and packing both
  // work per 128-bit half, so the lanes come back in order.
  const __m256 acc_lo = _mm256_cvtepi32_ps(_mm256_srai_epi32(_mm256_unpacklo_epi16(acc, acc), 16));
  const __m256 acc_hi = _mm256_cvtepi32_ps(_mm256_srai_epi32(_mm256_unpackhi_epi16(acc, acc), 16));
  const __m256 n_lo = _mm256_cvtepi32_ps(_mm256_unpacklo_epi16(n, zero));
  const __m256 n_hi = _mm256_cvtepi32_ps(_mm256_unpackhi_epi16(n, zero));
  const __m256 half = _mm256_set1_ps(0.5f);
  const __m256i d_lo = _mm256_cvttps_epi32(_mm256_add_ps(_mm256_div_ps(acc_lo, n_lo), half));
  const __m256i d_hi = _mm256_cvttps_epi32(_mm256_add_ps(_mm256_div_ps(acc_hi, n_hi), half));
  return _mm256_packs_epi32(d_lo, d_hi);
}

// The planar path's vector: sixteen 16-bit lanes.
struct vec_avx2 {
  static constexpr int lanes = 16;
  typedef __m256i reg;
  static reg ld(const int16_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  }
  static void st(int16_t* p, reg v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
  static reg set1(int16_t v) { return _mm256_set1_epi16(v); }
  static reg zero() { return _mm256_setzero_si256(); }
  static reg add(reg a, reg b) { return _mm256_add_epi16(a, b); }
  static reg adds(reg a, reg b) { return _mm256_adds_epi16(a, b); }
  static reg subs(reg a, reg b) { return _mm256_subs_epi16(a, b); }
  static reg max(reg a, reg b) { return _mm256_max_epi16(a, b); }
  static reg cmpgt(reg a, reg b) { return _mm256_cmpgt_epi16(a, b); }
  static reg bit_and(reg a, reg b) { return _mm256_and_si256(a, b); }
  static reg bit_or(reg a, reg b) { return _mm256_or_si256(a, b); }
  static reg andnot(reg a, reg b) { return _mm256_andnot_si256(a, b); }
  static reg select(reg mask, reg yes, reg no) { return _mm256_blendv_epi8(no, yes, mask); }
  static reg mean_offset(reg acc, reg count) { return ::mean_offset(acc, count); }
  template <int N>
  static void split_row(int16_t* s, int slot, const PIXEL_YC* row, int n);
  static void store_pairs(PIXEL_YC* at, const reg planes[6]);
};

#include "prefilter/block_nr_planar.h"

// Pairs 0 .. n - 1 of a row into the six planes of a slot. Sixteen pairs are
// six vectors of 8 dwords (y cb), (cr y'), (cb' cr') repeating; blends and a
// permutation gather each dword stream, packing splits it into two planes.
template <int N>
void vec_avx2::split_row(int16_t* s, int slot, const PIXEL_YC* row, int n) {
  const __m256i gather[3] = {_mm256_setr_epi32(0, 3, 6, 1, 4, 7, 2, 5),
                             _mm256_setr_epi32(1, 4, 7, 2, 5, 0, 3, 6),
                             _mm256_setr_epi32(2, 5, 0, 3, 6, 1, 4, 7)};
  const __m256i low = _mm256_set1_epi32(0xffff);
  int16_t* plane0 = s + in_row(slot, 0, 0);
  for_vectors<vec_avx2>(0, N ? N : n, [&](int i) {
    const __m256i* p = reinterpret_cast<const __m256i*>(row + 2 * i);
    __m256i dw[3][2];
#pragma GCC unroll 2
    for (int half = 0; half < 2; ++half) {
      const __m256i a = _mm256_loadu_si256(p + 3 * half), b = _mm256_loadu_si256(p + 3 * half + 1),
                    c = _mm256_loadu_si256(p + 3 * half + 2);
      dw[0][half] = _mm256_permutevar8x32_epi32(
          _mm256_blend_epi32(_mm256_blend_epi32(a, b, 0x92), c, 0x24), gather[0]);
      dw[1][half] = _mm256_permutevar8x32_epi32(
          _mm256_blend_epi32(_mm256_blend_epi32(a, b, 0x24), c, 0x49), gather[1]);
      dw[2][half] = _mm256_permutevar8x32_epi32(
          _mm256_blend_epi32(_mm256_blend_epi32(a, b, 0x49), c, 0x92), gather[2]);
    }
#pragma GCC unroll 3
    for (int m = 0; m < 3; ++m) {
      // packus works per 128-bit half: reorder the 64-bit quarters afterwards.
      const __m256i lo =
          _mm256_packus_epi32(_mm256_and_si256(dw[m][0], low), _mm256_and_si256(dw[m][1], low));
      const __m256i hi =
          _mm256_packus_epi32(_mm256_srli_epi32(dw[m][0], 16), _mm256_srli_epi32(dw[m][1], 16));
      vec_avx2::st(plane0 + 2 * m * row_len + i, _mm256_permute4x64_epi64(lo, 0xd8));
      vec_avx2::st(plane0 + (2 * m + 1) * row_len + i, _mm256_permute4x64_epi64(hi, 0xd8));
    }
  });
}

// Sixteen result pairs from the six planes (order as in the input slots)
// back into pixels at `at`.
inline void vec_avx2::store_pairs(PIXEL_YC* at, const __m256i planes[6]) {
  const __m256i scatter[3] = {_mm256_setr_epi32(0, 3, 6, 1, 4, 7, 2, 5),
                              _mm256_setr_epi32(5, 0, 3, 6, 1, 4, 7, 2),
                              _mm256_setr_epi32(2, 5, 0, 3, 6, 1, 4, 7)};
  __m256i dw[3][2];
#pragma GCC unroll 3
  for (int m = 0; m < 3; ++m) {
    const __m256i lo = planes[2 * m], hi = planes[2 * m + 1];
    const __m256i u0 = _mm256_unpacklo_epi16(lo, hi), u1 = _mm256_unpackhi_epi16(lo, hi);
    dw[m][0] = _mm256_permute2x128_si256(u0, u1, 0x20);
    dw[m][1] = _mm256_permute2x128_si256(u0, u1, 0x31);
  }
  __m256i* p = reinterpret_cast<__m256i*>(at);
#pragma GCC unroll 2
  for (int half = 0; half < 2; ++half) {
    const __m256i t0 = _mm256_permutevar8x32_epi32(dw[0][half], scatter[0]);
    const __m256i t1 = _mm256_permutevar8x32_epi32(dw[1][half], scatter[1]);
    const __m256i t2 = _mm256_permutevar8x32_epi32(dw[2][half], scatter[2]);
    _mm256_storeu_si256(p + 3 * half,
                        _mm256_blend_epi32(_mm256_blend_epi32(t0, t1, 0x92), t2, 0x24));
    _mm256_storeu_si256(p + 3 * half + 1,
                        _mm256_blend_epi32(_mm256_blend_epi32(t1, t0, 0x92), t2, 0x49));
    _mm256_storeu_si256(p + 3 * half + 2,
                        _mm256_blend_epi32(_mm256_blend_epi32(t2, t0, 0x24), t1, 0x49));
  }
}

}  // namespace

void block_nr_rows_avx2(const FILTER_PROC_INFO* fpip, const PIXEL_YC* src, int field_step,
                        int diff_limit, int sum_limit, int y_begin, int y_end, uint8_t anime) {
  if (fpip->w >= 48)
    planar_rows<vec_avx2>(fpip, src, field_step, diff_limit, sum_limit, y_begin, y_end, anime);
  else  // too narrow for a strip: the SSE2 version's quads
    block_nr_rows_sse2(fpip, src, field_step, diff_limit, sum_limit, y_begin, y_end, anime);
}
