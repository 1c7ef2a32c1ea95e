// AVX2 eight-lane column-group kernels: one vector is one row of eight lines,
// so every lane repeats the scalar arithmetic of columns_ref.cpp with broadcast
// taps (no fused multiply-add). Rows whose taps wrap around a band's ends are
// gathered into a small window first and go through the same code.
// The loops over the taps are unrolled by pragma: left rolled, GCC keeps the
// products in memory instead of registers.
// Only the coefficient tables come from the shared headers: every function
// here is local, so no AVX2 code can stand in for an inline function of
// another file.
#include <immintrin.h>

#include <cstdint>

#include "analysis/band_split.h"
#include "analysis/columns.h"
#include "analysis/detail_shrink.h"
#include "temporal/synthesize_level.h"

namespace {

inline __m256 row(const float* p, int r) { return _mm256_load_ps(p + 8 * r); }
inline __m256 tap(float c) { return _mm256_set1_ps(c); }

// Split position from window rows w[0..9] = x[2k-4 .. 2k+5].
inline void split_rows(const float* w, float* l, float* ha, float* hb) {
  __m256 p[10];
  __m256 q[10];
  #pragma GCC unroll 16
  for (int j = 0; j < 10; ++j) {
    __m256 x = row(w, j);
    p[j] = _mm256_mul_ps(x, tap(split_low[j]));
    q[j] = _mm256_mul_ps(x, tap(split_high_a[j]));
  }
  __m256 r[4];
  #pragma GCC unroll 16
  for (int j = 0; j < 4; ++j) r[j] = _mm256_mul_ps(row(w, 4 + j), tap(split_high_b[j]));
  __m256 lo = _mm256_add_ps(
      _mm256_add_ps(_mm256_add_ps(_mm256_add_ps(p[0], p[1]), _mm256_add_ps(p[2], p[3])),
                    _mm256_add_ps(_mm256_add_ps(p[4], p[5]), _mm256_add_ps(p[6], p[7]))),
      _mm256_add_ps(p[8], p[9]));
  __m256 hi = _mm256_add_ps(
      _mm256_add_ps(_mm256_add_ps(_mm256_add_ps(q[0], q[1]), _mm256_add_ps(q[2], q[3])),
                    _mm256_add_ps(_mm256_add_ps(q[4], q[5]), _mm256_add_ps(q[6], q[7]))),
      _mm256_add_ps(q[8], q[9]));
  _mm256_store_ps(l, lo);
  _mm256_store_ps(ha, hi);
  _mm256_store_ps(hb, _mm256_add_ps(_mm256_add_ps(r[0], r[1]), _mm256_add_ps(r[2], r[3])));
}

// Copies rows first .. first+count-1 (mod n) of src into w.
inline void gather_rows(const float* src, int n, int first, int count, float* w) {
  for (int j = 0; j < count; ++j) {
    int r = first + j;
    if (r < 0) r += n;
    if (r >= n) r -= n;
    _mm256_store_ps(w + 8 * j, row(src, r));
  }
}

// Merge output from rows l[0..3] = L[i-1 .. i+2], ha[0..3] = Ha[i-1 .. i+2].
inline __m256 merge_rows(const float* l, const float* ha) {
  __m256 acc = _mm256_setzero_ps();
  #pragma GCC unroll 16
  for (int o = 0; o < 4; ++o) {
    acc = _mm256_add_ps(acc, _mm256_mul_ps(row(l, o), tap(merge_low[o])));
    acc = _mm256_add_ps(acc, _mm256_mul_ps(row(ha, o), tap(merge_high_a[o])));
  }
  return acc;
}

inline __m256 sum5(const __m256* p) {
  return _mm256_add_ps(
      _mm256_add_ps(_mm256_add_ps(p[0], p[1]), _mm256_add_ps(p[2], p[3])), p[4]);
}

// Output rows 2i and 2i+1 from rows l[0..4] = L[i-2 .. i+2], ha likewise and
// hb[0..1] = Hb[i-1 .. i].
inline void synthesize_rows(const float* l, const float* ha, const float* hb, float* out) {
  __m256 pe[5], po[5], qe[5], qo[5];
  #pragma GCC unroll 16
  for (int o = 0; o < 5; ++o) {
    __m256 x = row(l, o);
    __m256 y = row(ha, o);
    pe[o] = _mm256_mul_ps(x, tap(synth_low_even[o]));
    po[o] = _mm256_mul_ps(x, tap(synth_low_odd[o]));
    qe[o] = _mm256_mul_ps(y, tap(synth_high_a_even[o]));
    qo[o] = _mm256_mul_ps(y, tap(synth_high_a_odd[o]));
  }
  __m256 b0 = row(hb, 0);
  __m256 b1 = row(hb, 1);
  __m256 re = _mm256_add_ps(_mm256_mul_ps(b0, tap(d4_h[1])), _mm256_mul_ps(b1, tap(d4_h[3])));
  __m256 ro = _mm256_add_ps(_mm256_mul_ps(b0, tap(-d4_h[0])), _mm256_mul_ps(b1, tap(-d4_h[2])));
  _mm256_store_ps(out, _mm256_add_ps(_mm256_add_ps(sum5(pe), sum5(qe)), re));
  _mm256_store_ps(out + 8, _mm256_add_ps(_mm256_add_ps(sum5(po), sum5(qo)), ro));
}

inline __m256 abs_ps(__m256 x) { return _mm256_andnot_ps(_mm256_set1_ps(-0.0f), x); }

}  // namespace

void band_split_x8_avx2(int n, const float* src, float* dst_a, float* dst_b) {
  const int m = n / 2;
  alignas(32) float w[80];
  for (int k = 0; k < m; ++k) {
    const float* win = src + 8 * (2 * k - 4);
    if (k < 2 || k >= m - 2) {
      gather_rows(src, n, 2 * k - 4, 10, w);
      win = w;
    }
    split_rows(win, dst_a + 8 * k, dst_a + 8 * (m + k), dst_b + 8 * (m + k));
  }
}

void low_merge_x8_avx2(const float* src, int m, float* dst) {
  const float* l = src;
  const float* ha = src + 8 * m;
  alignas(32) float lw[32];
  alignas(32) float hw[32];
  for (int i = 0; i < m; ++i) {
    if (i == 0 || i >= m - 2) {
      gather_rows(l, m, i - 1, 4, lw);
      gather_rows(ha, m, i - 1, 4, hw);
      _mm256_store_ps(dst + 8 * i, merge_rows(lw, hw));
    } else {
      _mm256_store_ps(dst + 8 * i, merge_rows(l + 8 * (i - 1), ha + 8 * (i - 1)));
    }
  }
}

void synthesize_x8_avx2(const float* a, const float* b, int n, float* out) {
  const float* l = a;
  const float* ha = a + 8 * n;
  const float* hb = b + 8 * n;
  alignas(32) float lw[40];
  alignas(32) float hw[40];
  alignas(32) float bw[16];
  for (int i = 0; i < n; ++i) {
    if (i < 2 || i >= n - 2) {
      gather_rows(l, n, i - 2, 5, lw);
      gather_rows(ha, n, i - 2, 5, hw);
      gather_rows(hb, n, i - 1, 2, bw);
      synthesize_rows(lw, hw, bw, out + 16 * i);
    } else {
      synthesize_rows(l + 8 * (i - 2), ha + 8 * (i - 2), hb + 8 * (i - 1), out + 16 * i);
    }
  }
}

void keep_shrink_x8_avx2(float* a, float* b, int m, float limit, float floor, float t) {
  if (t == 0.0f) t = shrink_zero_threshold;
  const __m256 lim = _mm256_set1_ps(limit);
  const __m256 flo = _mm256_set1_ps(floor);
  const __m256 thr = _mm256_set1_ps(t);
  __m256 a_here = row(a, 0);
  __m256 b_here = row(b, 0);
  __m256 a_prev = a_here;
  __m256 b_prev = b_here;
  for (int j = 0; j < m; ++j) {
    __m256 a_next = j + 1 < m ? row(a, j + 1) : a_here;
    __m256 b_next = j + 1 < m ? row(b, j + 1) : b_here;
    __m256 da = _mm256_sub_ps(_mm256_sub_ps(_mm256_add_ps(a_here, a_here), a_prev), a_next);
    __m256 db = _mm256_sub_ps(_mm256_sub_ps(_mm256_add_ps(b_here, b_here), b_prev), b_next);
    __m256 abs_a = abs_ps(a_here);
    __m256 abs_b = abs_ps(b_here);
    // NLT_UQ: not less than, so an unordered comparison counts as true.
    __m256 keep = _mm256_or_ps(_mm256_cmp_ps(abs_a, lim, _CMP_NLT_UQ),
                               _mm256_cmp_ps(abs_b, lim, _CMP_NLT_UQ));
    keep = _mm256_or_ps(keep, _mm256_or_ps(_mm256_cmp_ps(abs_a, flo, _CMP_LT_OQ),
                                           _mm256_cmp_ps(abs_b, flo, _CMP_LT_OQ)));
    keep = _mm256_or_ps(keep, _mm256_cmp_ps(abs_ps(da), lim, _CMP_NLT_UQ));
    keep = _mm256_or_ps(keep, _mm256_cmp_ps(abs_ps(db), lim, _CMP_NLT_UQ));
    __m256 za = _mm256_andnot_ps(keep, _mm256_cmp_ps(abs_a, thr, _CMP_LE_OQ));
    __m256 zb = _mm256_andnot_ps(keep, _mm256_cmp_ps(abs_b, thr, _CMP_LE_OQ));
    _mm256_store_ps(a + 8 * j, _mm256_andnot_ps(za, a_here));
    _mm256_store_ps(b + 8 * j, _mm256_andnot_ps(zb, b_here));
    a_prev = a_here;
    b_prev = b_here;
    a_here = a_next;
    b_here = b_next;
  }
}

// Eight lines, eight floats at a time: an 8x8 transposition in registers.
void rows_to_cols_x8_avx2(const float* src, ptrdiff_t stride, int n, float* dst) {
  for (int j = 0; j < n; j += 8) {
    __m256 r[8];
    #pragma GCC unroll 16
    for (int c = 0; c < 8; ++c) r[c] = _mm256_loadu_ps(src + c * stride + j);
    __m256 t[8];
    #pragma GCC unroll 16
    for (int c = 0; c < 8; c += 2) {
      t[c] = _mm256_unpacklo_ps(r[c], r[c + 1]);
      t[c + 1] = _mm256_unpackhi_ps(r[c], r[c + 1]);
    }
    __m256 s[8];  // s[i] (i < 4): elements i and i+4 of lines 0-3; s[4+i] of lines 4-7
    #pragma GCC unroll 16
    for (int h = 0; h < 8; h += 4) {
      s[h] = _mm256_shuffle_ps(t[h], t[h + 2], 0x44);
      s[h + 1] = _mm256_shuffle_ps(t[h], t[h + 2], 0xee);
      s[h + 2] = _mm256_shuffle_ps(t[h + 1], t[h + 3], 0x44);
      s[h + 3] = _mm256_shuffle_ps(t[h + 1], t[h + 3], 0xee);
    }
    float* out = dst + 8 * j;
    #pragma GCC unroll 16
    for (int i = 0; i < 4; ++i) {
      _mm256_store_ps(out + 8 * i, _mm256_permute2f128_ps(s[i], s[4 + i], 0x20));
      _mm256_store_ps(out + 8 * (i + 4), _mm256_permute2f128_ps(s[i], s[4 + i], 0x31));
    }
  }
}

// A row that fills its own cache line goes there with streaming stores: the
// canvas is read again only after the whole pass.
void store_block_rows_x8_avx2(const float* const* groups, int rows, float* dst, ptrdiff_t stride) {
  const bool whole_lines = (reinterpret_cast<uintptr_t>(dst) | (uintptr_t)stride * 4) % 64 == 0;
  for (int r = 0; r < rows; ++r) {
    float* out = dst + r * stride;
    __m256 lo = row(groups[0], r);
    __m256 hi = row(groups[1], r);
    if (whole_lines) {
      _mm256_stream_ps(out, lo);
      _mm256_stream_ps(out + 8, hi);
    } else {
      _mm256_storeu_ps(out, lo);
      _mm256_storeu_ps(out + 8, hi);
    }
  }
}
