// Scalar column-group kernels: each lane is one line, computed with the same
// per-position arithmetic as the single-line kernels (line_math.h,
// synthesize_pair), reading the line's samples at a stride of `lanes` floats.
// The four-lane and eight-lane versions are one template.
#include "analysis/columns.h"
#include "analysis/line_math.h"
#include "temporal/synthesize_level.h"

namespace {

inline int wrap(int i, int n) { return i < 0 ? i + n : (i >= n ? i - n : i); }

template <int lanes>
void band_split_cols(int n, const float* src, float* dst_a, float* dst_b) {
  const int m = n / 2;
  for (int c = 0; c < lanes; ++c) {
    for (int k = 0; k < m; ++k) {
      float w[10];
      for (int j = 0; j < 10; ++j) w[j] = src[lanes * wrap(2 * k - 4 + j, n) + c];
      split_window(w, &dst_a[lanes * k + c], &dst_a[lanes * (m + k) + c],
                   &dst_b[lanes * (m + k) + c]);
    }
  }
}

template <int lanes>
void low_merge_cols(const float* src, int m, float* dst) {
  for (int c = 0; c < lanes; ++c) {
    for (int i = 0; i < m; ++i) {
      float lw[4];
      float hw[4];
      for (int o = 0; o < 4; ++o) {
        int j = wrap(i + o - 1, m);
        lw[o] = src[lanes * j + c];
        hw[o] = src[lanes * (m + j) + c];
      }
      dst[lanes * i + c] = merge_window(lw, hw);
    }
  }
}

template <int lanes>
void synthesize_cols(const float* a, const float* b, int n, float* out) {
  for (int c = 0; c < lanes; ++c) {
    for (int i = 0; i < n; ++i) {
      float lw[5];
      float hw[5];
      for (int o = 0; o < 5; ++o) {
        int j = wrap(i + o - 2, n);
        lw[o] = a[lanes * j + c];
        hw[o] = a[lanes * (n + j) + c];
      }
      synthesize_pair(lw, hw, b[lanes * (n + wrap(i - 1, n)) + c], b[lanes * (n + i) + c],
                      &out[2 * lanes * i + c], &out[2 * lanes * i + lanes + c]);
    }
  }
}

// Works down each lane keeping the unshrunk previous values, so every keep flag
// sees the coefficients as the split left them.
template <int lanes>
void keep_shrink_cols(float* a, float* b, int m, float limit, float floor, float t) {
  if (t == 0.0f) t = shrink_zero_threshold;
  for (int c = 0; c < lanes; ++c) {
    float a_prev = a[c];
    float b_prev = b[c];
    for (int j = 0; j < m; ++j) {
      float a_here = a[lanes * j + c];
      float b_here = b[lanes * j + c];
      float a_next = j + 1 < m ? a[lanes * (j + 1) + c] : a_here;
      float b_next = j + 1 < m ? b[lanes * (j + 1) + c] : b_here;
      float da = second_difference(a_prev, a_here, a_next);
      float db = second_difference(b_prev, b_here, b_next);
      if (!keep_position(a_here, b_here, da, db, limit, floor)) {
        a[lanes * j + c] = shrink_value(a_here, t);
        b[lanes * j + c] = shrink_value(b_here, t);
      }
      a_prev = a_here;
      b_prev = b_here;
    }
  }
}

template <int lanes>
void store_block_rows(const float* const* groups, int rows, float* dst, ptrdiff_t stride) {
  for (int r = 0; r < rows; ++r)
    for (int i = 0; i < 16; ++i) dst[r * stride + i] = groups[i / lanes][lanes * r + i % lanes];
}

template <int lanes>
void rows_to_cols(const float* src, ptrdiff_t stride, int n, float* dst) {
  for (int c = 0; c < lanes; ++c)
    for (int j = 0; j < n; ++j) dst[lanes * j + c] = src[c * stride + j];
}

}  // namespace

void band_split_x4_ref(int n, const float* src, float* dst_a, float* dst_b) {
  band_split_cols<4>(n, src, dst_a, dst_b);
}
void band_split_x8_ref(int n, const float* src, float* dst_a, float* dst_b) {
  band_split_cols<8>(n, src, dst_a, dst_b);
}
void low_merge_x4_ref(const float* src, int m, float* dst) { low_merge_cols<4>(src, m, dst); }
void low_merge_x8_ref(const float* src, int m, float* dst) { low_merge_cols<8>(src, m, dst); }
void synthesize_x4_ref(const float* a, const float* b, int n, float* out) {
  synthesize_cols<4>(a, b, n, out);
}
void synthesize_x8_ref(const float* a, const float* b, int n, float* out) {
  synthesize_cols<8>(a, b, n, out);
}
void keep_shrink_x4_ref(float* a, float* b, int m, float limit, float floor, float t) {
  keep_shrink_cols<4>(a, b, m, limit, floor, t);
}
void keep_shrink_x8_ref(float* a, float* b, int m, float limit, float floor, float t) {
  keep_shrink_cols<8>(a, b, m, limit, floor, t);
}
void store_block_rows_x4_ref(const float* const* groups, int rows, float* dst, ptrdiff_t stride) {
  store_block_rows<4>(groups, rows, dst, stride);
}
void store_block_rows_x8_ref(const float* const* groups, int rows, float* dst, ptrdiff_t stride) {
  store_block_rows<8>(groups, rows, dst, stride);
}
void store_fence_ref() {}
void rows_to_cols_x4_ref(const float* src, ptrdiff_t stride, int n, float* dst) {
  rows_to_cols<4>(src, stride, n, dst);
}
void rows_to_cols_x8_ref(const float* src, ptrdiff_t stride, int n, float* dst) {
  rows_to_cols<8>(src, stride, n, dst);
}
