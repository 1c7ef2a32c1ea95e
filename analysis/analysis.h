// Spatial wavelet analysis: worker entries of the driver's stages c and d
// (driver/driver.h lists the stages). param1 is an analysis_params, param2 the
// FILTER_PROC_INFO (w, h already multiples of 16).
//
// The column pass (stage c) splits every luma pixel column four levels deep,
// shrinks the details of every level, brings it back to one Daubechies-4 level
// and writes [low band | high band] down its canvas column (padding columns
// repeat the first and last column); it also splits and shrinks every even
// pixel column of Cb and Cr and stores their band lines in the chroma rings.
// The row pass (stage d) splits and shrinks every canvas row and stores its
// band line in the luma rings. Both write only the slot analysis_params.slot.
//
// The folder also offers:
//   analysis_kernels.h  the kernel table and analysis_select_kernels' choices
//   band_split.h        three-band split and low merge of one line
//   detail_shrink.h     keep mask and shrinkage of one level
//   columns.h           the same work on 4 or 8 lines side by side
//   ring_store.h        stores into the rings
//   column_load.h       loading blocks of pixel columns with per-field padding
//   columns_simd.h, ring_store_simd.h
//                       the code the SSE2 and AVX2 kernels share, as templates
//                       over their vector types (for those files only)
#pragma once

#include <cstddef>

void spatial_columns_job(int thread_id, int thread_num, void* param1, void* param2);
void spatial_rows_job(int thread_id, int thread_num, void* param1, void* param2);

// The work split (frame/stage_share.h): the column pass shares the
// w / 16 blocks of 16 pixel columns, at least spatial_columns_min_blocks per
// worker; the row pass the canvas_h / lanes groups of canvas rows (lanes:
// the kernel table's column_lanes), at least spatial_rows_min_rows rows' worth.
constexpr int spatial_columns_min_blocks = 2;
constexpr int spatial_rows_min_rows = 16;
bool spatial_columns_split(int w, int thread_id, int thread_num, int* first, int* end);
bool spatial_rows_split(int canvas_h, int lanes, int thread_id, int thread_num, int* first,
                        int* end);
// Scratch floats a worker of the analysis needs for a canvas.
size_t analysis_scratch_floats(int canvas_w, int canvas_h);

// Fills the analysis kernel table for a kernel level (platform/simd_level.h).
void analysis_select_kernels(int level);
