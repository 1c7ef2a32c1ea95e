// Column-group kernels: the split, shrinkage, synthesis and merge of 4 or 8
// lines side by side (one per vector lane, no horizontal arithmetic): the
// column pass puts adjacent pixel columns in the lanes, the row pass adjacent
// canvas rows, transposed into a group buffer first.
//
// A group buffer of n rows and `lanes` lines holds lanes * n floats, row r at
// [lanes * r, lanes * r + lanes) and line c in lane c of every row. Each kernel
// gives, in every lane, bit for bit what its single-line counterpart gives for
// that line:
//   band_split_*      = band_split        (dst_a rows [0, n), dst_b rows [m, n))
//   low_merge_*       = low_merge
//   synthesize_*      = synthesize_level
//   keep_shrink_*     = keep_mask followed by shrink_details (no mask line)
// Lengths are counted in rows and obey the single-line rules; every buffer is
// aligned to 4 * lanes bytes; outputs do not overlap inputs, except that
// keep_shrink works in place.
//
// The _x4 kernels work on four lanes, the _x8 kernels on eight; the kernel
// table (analysis_kernels.h) holds one set and its lane count.
#pragma once

#include <cstddef>

typedef void (*band_split_cols_fn)(int n, const float* src, float* dst_a, float* dst_b);
void band_split_x4_ref(int n, const float* src, float* dst_a, float* dst_b);
void band_split_x4_sse2(int n, const float* src, float* dst_a, float* dst_b);
void band_split_x8_ref(int n, const float* src, float* dst_a, float* dst_b);
void band_split_x8_avx2(int n, const float* src, float* dst_a, float* dst_b);

typedef void (*low_merge_cols_fn)(const float* src, int m, float* dst);
void low_merge_x4_ref(const float* src, int m, float* dst);
void low_merge_x4_sse2(const float* src, int m, float* dst);
void low_merge_x8_ref(const float* src, int m, float* dst);
void low_merge_x8_avx2(const float* src, int m, float* dst);

typedef void (*synthesize_cols_fn)(const float* a, const float* b, int n, float* out);
void synthesize_x4_ref(const float* a, const float* b, int n, float* out);
void synthesize_x4_sse2(const float* a, const float* b, int n, float* out);
void synthesize_x8_ref(const float* a, const float* b, int n, float* out);
void synthesize_x8_avx2(const float* a, const float* b, int n, float* out);

// a, b: the level's Ha and Hb rows [0, m); limit, floor and t as for
// keep_mask and shrink_details.
typedef void (*keep_shrink_cols_fn)(float* a, float* b, int m, float limit, float floor, float t);
void keep_shrink_x4_ref(float* a, float* b, int m, float limit, float floor, float t);
void keep_shrink_x4_sse2(float* a, float* b, int m, float limit, float floor, float t);
void keep_shrink_x8_ref(float* a, float* b, int m, float limit, float floor, float t);
void keep_shrink_x8_avx2(float* a, float* b, int m, float limit, float floor, float t);

// store_block_rows(groups, rows, dst, stride): rows [0, rows) of the 16
// columns held by 16 / lanes group buffers (column i in lane i % lanes of
// groups[i / lanes]) to dst + r * stride, 16 floats per row. dst and stride
// keep every row 16-byte aligned. The SIMD versions use streaming stores when
// every row of 16 floats fills one 64-byte cache line; a job that called them
// runs store_fence before it returns.
typedef void (*store_block_rows_fn)(const float* const* groups, int rows, float* dst,
                                    ptrdiff_t stride);
void store_block_rows_x4_ref(const float* const* groups, int rows, float* dst, ptrdiff_t stride);
void store_block_rows_x4_sse2(const float* const* groups, int rows, float* dst, ptrdiff_t stride);
void store_block_rows_x8_ref(const float* const* groups, int rows, float* dst, ptrdiff_t stride);
void store_block_rows_x8_avx2(const float* const* groups, int rows, float* dst, ptrdiff_t stride);

// Orders the calling thread's streaming stores before its later stores.
typedef void (*store_fence_fn)();
void store_fence_ref();
void store_fence_sse2();

// rows_to_cols(src, stride, n, dst): lane c of dst rows [0, n) is the line of
// n floats at src + c * stride (a transposition of `lanes` lines into a group
// buffer). Lines 16-byte aligned, n a multiple of 8.
typedef void (*rows_to_cols_fn)(const float* src, ptrdiff_t stride, int n, float* dst);
void rows_to_cols_x4_ref(const float* src, ptrdiff_t stride, int n, float* dst);
void rows_to_cols_x4_sse2(const float* src, ptrdiff_t stride, int n, float* dst);
void rows_to_cols_x8_ref(const float* src, ptrdiff_t stride, int n, float* dst);
void rows_to_cols_x8_avx2(const float* src, ptrdiff_t stride, int n, float* dst);
