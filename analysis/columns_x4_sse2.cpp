// SSE2 four-column kernels: one vector is one row of four lines, so every lane
// repeats the scalar arithmetic of columns_ref.cpp with broadcast taps.
// Rows whose taps wrap around a band's ends are gathered into a small window
// first and go through the same code.
// The loops over the taps are unrolled by pragma: left rolled, GCC keeps the
// products in memory instead of registers.
#include <emmintrin.h>

#include <cstdint>

#include "analysis/columns.h"
#include "analysis/line_math.h"
#include "temporal/synthesize_level.h"

namespace {

inline __m128 row(const float* p, int r) { return _mm_load_ps(p + 4 * r); }
inline __m128 tap(float c) { return _mm_set1_ps(c); }

// Split position from window rows w[0..9] = x[2k-4 .. 2k+5].
inline void split_rows(const float* w, float* l, float* ha, float* hb) {
  __m128 p[10];
  __m128 q[10];
  #pragma GCC unroll 16
  for (int j = 0; j < 10; ++j) {
    __m128 x = row(w, j);
    p[j] = _mm_mul_ps(x, tap(split_low[j]));
    q[j] = _mm_mul_ps(x, tap(split_high_a[j]));
  }
  __m128 r[4];
  #pragma GCC unroll 16
  for (int j = 0; j < 4; ++j) r[j] = _mm_mul_ps(row(w, 4 + j), tap(split_high_b[j]));
  __m128 lo = _mm_add_ps(_mm_add_ps(_mm_add_ps(_mm_add_ps(p[0], p[1]), _mm_add_ps(p[2], p[3])),
                                    _mm_add_ps(_mm_add_ps(p[4], p[5]), _mm_add_ps(p[6], p[7]))),
                         _mm_add_ps(p[8], p[9]));
  __m128 hi = _mm_add_ps(_mm_add_ps(_mm_add_ps(_mm_add_ps(q[0], q[1]), _mm_add_ps(q[2], q[3])),
                                    _mm_add_ps(_mm_add_ps(q[4], q[5]), _mm_add_ps(q[6], q[7]))),
                         _mm_add_ps(q[8], q[9]));
  _mm_store_ps(l, lo);
  _mm_store_ps(ha, hi);
  _mm_store_ps(hb, _mm_add_ps(_mm_add_ps(r[0], r[1]), _mm_add_ps(r[2], r[3])));
}

// Copies rows first .. first+count-1 (mod n) of src into w.
inline void gather_rows(const float* src, int n, int first, int count, float* w) {
  for (int j = 0; j < count; ++j) {
    int r = first + j;
    if (r < 0) r += n;
    if (r >= n) r -= n;
    _mm_store_ps(w + 4 * j, row(src, r));
  }
}

// Merge output from rows l[0..3] = L[i-1 .. i+2], ha[0..3] = Ha[i-1 .. i+2].
inline __m128 merge_rows(const float* l, const float* ha) {
  __m128 acc = _mm_setzero_ps();
  #pragma GCC unroll 16
  for (int o = 0; o < 4; ++o) {
    acc = _mm_add_ps(acc, _mm_mul_ps(row(l, o), tap(merge_low[o])));
    acc = _mm_add_ps(acc, _mm_mul_ps(row(ha, o), tap(merge_high_a[o])));
  }
  return acc;
}

inline __m128 sum5(const __m128* p) {
  return _mm_add_ps(_mm_add_ps(_mm_add_ps(p[0], p[1]), _mm_add_ps(p[2], p[3])), p[4]);
}

// Output rows 2i and 2i+1 from rows l[0..4] = L[i-2 .. i+2], ha likewise and
// hb[0..1] = Hb[i-1 .. i].
inline void synthesize_rows(const float* l, const float* ha, const float* hb, float* out) {
  __m128 pe[5], po[5], qe[5], qo[5];
  #pragma GCC unroll 16
  for (int o = 0; o < 5; ++o) {
    __m128 x = row(l, o);
    __m128 y = row(ha, o);
    pe[o] = _mm_mul_ps(x, tap(synth_low_even[o]));
    po[o] = _mm_mul_ps(x, tap(synth_low_odd[o]));
    qe[o] = _mm_mul_ps(y, tap(synth_high_a_even[o]));
    qo[o] = _mm_mul_ps(y, tap(synth_high_a_odd[o]));
  }
  __m128 b0 = row(hb, 0);
  __m128 b1 = row(hb, 1);
  __m128 re = _mm_add_ps(_mm_mul_ps(b0, tap(d4_h[1])), _mm_mul_ps(b1, tap(d4_h[3])));
  __m128 ro = _mm_add_ps(_mm_mul_ps(b0, tap(-d4_h[0])), _mm_mul_ps(b1, tap(-d4_h[2])));
  _mm_store_ps(out, _mm_add_ps(_mm_add_ps(sum5(pe), sum5(qe)), re));
  _mm_store_ps(out + 4, _mm_add_ps(_mm_add_ps(sum5(po), sum5(qo)), ro));
}

inline __m128 abs_ps(__m128 x) { return _mm_andnot_ps(_mm_set1_ps(-0.0f), x); }

}  // namespace

void band_split_x4_sse2(int n, const float* src, float* dst_a, float* dst_b) {
  const int m = n / 2;
  alignas(16) float w[40];
  for (int k = 0; k < m; ++k) {
    const float* win = src + 4 * (2 * k - 4);
    if (k < 2 || k >= m - 2) {
      gather_rows(src, n, 2 * k - 4, 10, w);
      win = w;
    }
    split_rows(win, dst_a + 4 * k, dst_a + 4 * (m + k), dst_b + 4 * (m + k));
  }
}

void low_merge_x4_sse2(const float* src, int m, float* dst) {
  const float* l = src;
  const float* ha = src + 4 * m;
  alignas(16) float lw[16];
  alignas(16) float hw[16];
  for (int i = 0; i < m; ++i) {
    if (i == 0 || i >= m - 2) {
      gather_rows(l, m, i - 1, 4, lw);
      gather_rows(ha, m, i - 1, 4, hw);
      _mm_store_ps(dst + 4 * i, merge_rows(lw, hw));
    } else {
      _mm_store_ps(dst + 4 * i, merge_rows(l + 4 * (i - 1), ha + 4 * (i - 1)));
    }
  }
}

void synthesize_x4_sse2(const float* a, const float* b, int n, float* out) {
  const float* l = a;
  const float* ha = a + 4 * n;
  const float* hb = b + 4 * n;
  alignas(16) float lw[20];
  alignas(16) float hw[20];
  alignas(16) float bw[8];
  for (int i = 0; i < n; ++i) {
    if (i < 2 || i >= n - 2) {
      gather_rows(l, n, i - 2, 5, lw);
      gather_rows(ha, n, i - 2, 5, hw);
      gather_rows(hb, n, i - 1, 2, bw);
      synthesize_rows(lw, hw, bw, out + 8 * i);
    } else {
      synthesize_rows(l + 4 * (i - 2), ha + 4 * (i - 2), hb + 4 * (i - 1), out + 8 * i);
    }
  }
}

void keep_shrink_x4_sse2(float* a, float* b, int m, float limit, float floor, float t) {
  if (t == 0.0f) t = shrink_zero_threshold;
  const __m128 lim = _mm_set1_ps(limit);
  const __m128 flo = _mm_set1_ps(floor);
  const __m128 thr = _mm_set1_ps(t);
  __m128 a_here = row(a, 0);
  __m128 b_here = row(b, 0);
  __m128 a_prev = a_here;
  __m128 b_prev = b_here;
  for (int j = 0; j < m; ++j) {
    __m128 a_next = j + 1 < m ? row(a, j + 1) : a_here;
    __m128 b_next = j + 1 < m ? row(b, j + 1) : b_here;
    __m128 da = _mm_sub_ps(_mm_sub_ps(_mm_add_ps(a_here, a_here), a_prev), a_next);
    __m128 db = _mm_sub_ps(_mm_sub_ps(_mm_add_ps(b_here, b_here), b_prev), b_next);
    __m128 abs_a = abs_ps(a_here);
    __m128 abs_b = abs_ps(b_here);
    // cmpnlt: not less than, so an unordered comparison counts as true.
    __m128 keep = _mm_or_ps(_mm_cmpnlt_ps(abs_a, lim), _mm_cmpnlt_ps(abs_b, lim));
    keep = _mm_or_ps(keep, _mm_or_ps(_mm_cmplt_ps(abs_a, flo), _mm_cmplt_ps(abs_b, flo)));
    keep = _mm_or_ps(keep, _mm_cmpnlt_ps(abs_ps(da), lim));
    keep = _mm_or_ps(keep, _mm_cmpnlt_ps(abs_ps(db), lim));
    __m128 za = _mm_andnot_ps(keep, _mm_cmple_ps(abs_a, thr));
    __m128 zb = _mm_andnot_ps(keep, _mm_cmple_ps(abs_b, thr));
    _mm_store_ps(a + 4 * j, _mm_andnot_ps(za, a_here));
    _mm_store_ps(b + 4 * j, _mm_andnot_ps(zb, b_here));
    a_prev = a_here;
    b_prev = b_here;
    a_here = a_next;
    b_here = b_next;
  }
}

// Four lines, four floats at a time: a 4x4 transposition in registers.
void rows_to_cols_x4_sse2(const float* src, ptrdiff_t stride, int n, float* dst) {
  for (int j = 0; j < n; j += 4) {
    __m128 r0 = _mm_load_ps(src + j);
    __m128 r1 = _mm_load_ps(src + stride + j);
    __m128 r2 = _mm_load_ps(src + 2 * stride + j);
    __m128 r3 = _mm_load_ps(src + 3 * stride + j);
    _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
    _mm_store_ps(dst + 4 * j, r0);
    _mm_store_ps(dst + 4 * j + 4, r1);
    _mm_store_ps(dst + 4 * j + 8, r2);
    _mm_store_ps(dst + 4 * j + 12, r3);
  }
}

// A row that fills its own cache line goes there with streaming stores: the
// canvas is read again only after the whole pass.
void store_block_rows_x4_sse2(const float* const* groups, int rows, float* dst, ptrdiff_t stride) {
  const bool whole_lines = (reinterpret_cast<uintptr_t>(dst) | (uintptr_t)stride * 4) % 64 == 0;
  for (int r = 0; r < rows; ++r) {
    float* out = dst + r * stride;
    for (int g = 0; g < 4; ++g) {
      __m128 v = row(groups[g], r);
      if (whole_lines) {
        _mm_stream_ps(out + 4 * g, v);
      } else {
        _mm_store_ps(out + 4 * g, v);
      }
    }
  }
}

void store_fence_sse2() { _mm_sfence(); }
