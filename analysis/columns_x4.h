// Four-column kernels: the split, shrinkage, synthesis and merge of four lines
// side by side, so that the column passes load and store whole row segments.
//
// A four-line buffer of n rows holds 4n floats, row r at [4r, 4r + 4) and line c
// in lane c of every row. Each kernel gives, in every lane, bit for bit what its
// single-line counterpart gives for that line:
//   band_split_x4      = band_split        (dst_a rows [0, n), dst_b rows [m, n))
//   low_merge_x4       = low_merge
//   synthesize_x4      = synthesize_level
//   keep_shrink_x4     = keep_mask followed by shrink_details (no mask line)
// Lengths are counted in rows and obey the single-line rules; every buffer is
// 16-byte aligned; outputs do not overlap inputs, except that keep_shrink_x4
// works in place.
#pragma once

typedef void (*band_split_x4_fn)(int n, const float* src, float* dst_a, float* dst_b);
void band_split_x4_ref(int n, const float* src, float* dst_a, float* dst_b);
void band_split_x4_sse2(int n, const float* src, float* dst_a, float* dst_b);

typedef void (*low_merge_x4_fn)(const float* src, int m, float* dst);
void low_merge_x4_ref(const float* src, int m, float* dst);
void low_merge_x4_sse2(const float* src, int m, float* dst);

typedef void (*synthesize_x4_fn)(const float* a, const float* b, int n, float* out);
void synthesize_x4_ref(const float* a, const float* b, int n, float* out);
void synthesize_x4_sse2(const float* a, const float* b, int n, float* out);

// a, b: the level's Ha and Hb rows [0, m); limit, floor and t as for
// keep_mask and shrink_details.
typedef void (*keep_shrink_x4_fn)(float* a, float* b, int m, float limit, float floor, float t);
void keep_shrink_x4_ref(float* a, float* b, int m, float limit, float floor, float t);
void keep_shrink_x4_sse2(float* a, float* b, int m, float limit, float floor, float t);
