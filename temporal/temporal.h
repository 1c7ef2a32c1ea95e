// Temporal filtering and reconstruction: worker entries of the driver's stages
// e (temporal fit), f (vertical synthesis of luma) and g (output conversion),
// the jobs they run, and the kernels behind them (see temporal_kernels.h).
#pragma once

#include <cstdint>

#include "host/host_api.h"
#include "temporal/temporal_kernels.h"

// param1: the FILTER record (not read); param2: the FILTER_PROC_INFO.
// Reads frame_radius, the thresholds and window_missing; writes all of
// luma_canvas, cb_out and cr_out. Lanes by thread count T:
//   T = 1: lanes 0-3 | T = 2: 0,1 / 2,3 | T = 3: 0,1 / 2 / 3 | T >= 4: one each.
void temporal_job(int thread_id, int thread_num, void* param1, void* param2);
void vertical_synthesis_job(int thread_id, int thread_num, void* param1, void* param2);
// param1: pointer to the per-field flag byte; param2: the FILTER_PROC_INFO.
void output_job(int thread_id, int thread_num, void* param1, void* param2);

// Lane 0 (half 0: canvas rows [0, H/2)) or lane 1 (half 1: rows [H/2, H)) of
// the temporal stage, into the same rows of luma_canvas.
void temporal_luma_lines(const window_slots* ws, temporal_fit_fn fit, int half);
// Lane 2 (plane 0: Cb) or lane 3 (plane 1: Cr): every chroma line into cb_out
// or cr_out.
void temporal_chroma_lines(const window_slots* ws, temporal_fit_fn fit, int plane);

// Synthesises canvas columns [first, end) of luma_canvas in place. column_buf
// and result_buf: canvas_h floats each, 16-byte aligned, used as scratch.
void vertical_synthesis_columns(int first, int end, float* column_buf, float* result_buf);

// Writes frame rows of piece part (0: top half or even rows; 1: bottom half or
// odd rows) with index d in [d_first, d_end): frame row part * h/2 + d, or
// 2d + part per field. Uses out_row[scratch_index]; writes only pixels
// [0, w) of those rows of fpip->ycp_edit.
void output_rows(int part, int d_first, int d_end, int scratch_index, uint8_t field,
                 const FILTER_PROC_INFO* fpip);
