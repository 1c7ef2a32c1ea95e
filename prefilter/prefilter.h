// Block-noise and mosquito-noise pre-filters: worker entries of the driver's
// stages a and b (driver/driver.h lists the stages). param1 is a
// prefilter_params, param2 the FILTER_PROC_INFO.
//
// Both filters work on PIXEL_YC frames whose w and h are multiples of 16 (the
// driver rounds them), rows max_w pixels apart. Rows are independent, so the
// jobs split the frame into row bands: thread t of T takes rows
// [t * h / T, (t + 1) * h / T). A job writes the w pixels of each row of its
// band in the output frame and nothing else; it reads its input frames only.
//
// Samples are processed by quads: the four pixels x .. x+3 (x = 2, 6, ..,
// w - 6) give eight samples, the luma of all four and Cb, Cr of x and x+2.
// Chroma is computed at even columns only; all arithmetic is saturating
// signed 16-bit unless a kernel says otherwise.
#pragma once

#include <cstdint>

#include "host/host_api.h"

void block_nr_job(int thread_id, int thread_num, void* param1, void* param2);
void mosquito_nr_job(int thread_id, int thread_num, void* param1, void* param2);

// Block noise: filters rows [y_begin, y_end) of src into fpip->ycp_edit. Each
// sample moves to the mean of those samples of its 3 x 3 neighbourhood whose
// own 3 x 3 surroundings match its surroundings: every ring difference below
// diff_limit and their sum below sum_limit (chroma uses half the limits, luma
// of a skin-tone pixel pair a quarter unless anime is 1). field_step (1 or 2)
// is the row distance inside the window. Rows closer than 2 * field_step to
// the top or bottom and columns 0, 1, w - 2, w - 1 are copied. Reads src rows
// y_begin - 2 * field_step .. y_end - 1 + 2 * field_step, clipped to the frame.
// src must not overlap ycp_edit.
typedef void (*block_nr_rows_fn)(const FILTER_PROC_INFO* fpip, const PIXEL_YC* src,
                                 int field_step, int diff_limit, int sum_limit, int y_begin,
                                 int y_end, uint8_t anime);

// Mosquito noise: filters rows [y_begin, y_end) of src into fpip->ycp_temp.
// Each sample is blended (3:1) with the mean of the best-matching symmetric
// pair among neighbours in prev/next (temporal) and src (spatial) whose cost is
// at most 2 * strength; the search stops early for a whole quad once every
// sample's cost is at most 15. Rows 0, 1, h - 2, h - 1 and columns 0, 1, w - 2,
// w - 1 are copied. Reads src, prev and next up to two rows beyond the band,
// clipped to the frame. No input may overlap ycp_temp.
typedef void (*mosquito_nr_rows_fn)(const PIXEL_YC* src, const PIXEL_YC* prev,
                                    const PIXEL_YC* next, const FILTER_PROC_INFO* fpip,
                                    int field_step, int strength, int y_begin, int y_end);

// The pre-filter kernel table, written only by prefilter_select_kernels at
// set-up. It starts with the scalar versions.
struct prefilter_kernel_table {
  block_nr_rows_fn block_nr_rows;
  mosquito_nr_rows_fn mosquito_nr_rows;
};
extern prefilter_kernel_table prefilter_kernels;

// Fills the pre-filter kernel table for a kernel level (platform/simd_level.h):
// the scalar versions at level 0, the SSE2 versions from level 1 up, the AVX2
// versions at level 3.
void prefilter_select_kernels(int level);

// Scalar, SSE2 and AVX2 versions; all give bit-identical output.
void block_nr_rows_ref(const FILTER_PROC_INFO* fpip, const PIXEL_YC* src, int field_step,
                       int diff_limit, int sum_limit, int y_begin, int y_end, uint8_t anime);
void block_nr_rows_sse2(const FILTER_PROC_INFO* fpip, const PIXEL_YC* src, int field_step,
                        int diff_limit, int sum_limit, int y_begin, int y_end, uint8_t anime);
void block_nr_rows_avx2(const FILTER_PROC_INFO* fpip, const PIXEL_YC* src, int field_step,
                        int diff_limit, int sum_limit, int y_begin, int y_end, uint8_t anime);
void mosquito_nr_rows_ref(const PIXEL_YC* src, const PIXEL_YC* prev, const PIXEL_YC* next,
                          const FILTER_PROC_INFO* fpip, int field_step, int strength, int y_begin,
                          int y_end);
void mosquito_nr_rows_sse2(const PIXEL_YC* src, const PIXEL_YC* prev, const PIXEL_YC* next,
                           const FILTER_PROC_INFO* fpip, int field_step, int strength,
                           int y_begin, int y_end);
void mosquito_nr_rows_avx2(const PIXEL_YC* src, const PIXEL_YC* prev, const PIXEL_YC* next,
                           const FILTER_PROC_INFO* fpip, int field_step, int strength,
                           int y_begin, int y_end);
