// Temporal filtering and reconstruction: worker entries of the driver's stages
// e (temporal fit, band synthesis and the vertical synthesis of luma) and f
// (output conversion), the jobs they run, and the kernels behind them (see
// temporal_kernels.h); driver/driver.h lists the stages.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/host_api.h"
#include "temporal/temporal_kernels.h"

// param1: the FILTER record (not read); param2: the FILTER_PROC_INFO (frame,
// w, h). Reads frame_radius, field_mode, the thresholds and window_missing.
// Writes what the output conversion reads: the canvas rows of the picture
// (output_canvas_row) in luma_canvas, in the picture domain, and the picture's
// chroma lines of cb_out and cr_out; the margins are left as they were. The
// luma line pairs and the chroma lines are shared out separately
// (frame/stage_share.h; temporal_luma_split, temporal_chroma_split).
void temporal_job(int thread_id, int thread_num, void* param1, void* param2);
// The two halves of that work: the luma pairs and the chroma lines of worker
// thread_id of thread_num; and the luma half as a stage of its own.
void temporal_luma_share(int thread_id, int thread_num, const FILTER_PROC_INFO* fpip);
void temporal_chroma_share(int thread_id, int thread_num, const FILTER_PROC_INFO* fpip);
void temporal_luma_job(int thread_id, int thread_num, void* param1, void* param2);
// Work split: worker thread_id of thread_num takes luma pairs [first, end) of
// the h/2 pairs of the runs (temporal_luma_runs, taken as one list), at least
// temporal_luma_min_pairs of them, and chroma lines [first, end) of the w/2
// lines of the picture (from line (canvas_w - w)/4, a Cb and a Cr line each),
// at least temporal_chroma_min_lines. False: the worker has none.
constexpr int temporal_luma_min_pairs = 8;
constexpr int temporal_chroma_min_lines = 16;
bool temporal_luma_split(int h, int thread_id, int thread_num, int* first, int* end);
bool temporal_chroma_split(int w, int thread_id, int thread_num, int* first, int* end);
// The runs of luma pairs [run_first[k], run_end[k]) that the output reads,
// one per piece, adjacent ones merged; returns their number (1 or 2).
int temporal_luma_runs(int h, uint8_t field, int run_first[2], int run_end[2]);
// Scratch floats a worker of the stage needs for a canvas.
size_t temporal_scratch_floats(int canvas_w, int canvas_h);
// param1: pointer to the per-field flag byte; param2: the FILTER_PROC_INFO.
// The frame's blocks of eight rows (h/16 per piece, the top piece's first) are
// shared out (stage_share), at least output_min_blocks per worker.
void output_job(int thread_id, int thread_num, void* param1, void* param2);
constexpr int output_min_blocks = 2;
bool output_split(int h, int thread_id, int thread_num, int* first, int* end);

// Luma line pairs p in [first, end) of the temporal stage (0 <= p < H/2): canvas
// lines p and p + H/2 are fitted and synthesised, then picture rows 2p and
// 2p + 1 of luma_canvas are rebuilt from them and pair p - 1 (periodic), which
// is computed once more first. worker (below max_workers) picks the scratch.
void temporal_luma_pairs(const window_slots* ws, temporal_fit_fn fit, int first, int end,
                         int worker);
// Chroma lines [first, end) of plane 0 (Cb) or 1 (Cr) into cb_out or cr_out.
void temporal_chroma_lines(const window_slots* ws, temporal_fit_fn fit, int plane, int first,
                           int end, int worker);

// The canvas row of the first frame row of piece part (0: top half or even
// rows; 1: bottom half or odd rows) of a frame of h rows, per field or not; the
// piece's h/2 rows follow it.
int output_canvas_row(int part, int h, uint8_t field);

// Writes frame rows of piece part (0: top half or even rows; 1: bottom half or
// odd rows) with index d in [d_first, d_end), multiples of 8: frame row
// part * h/2 + d, or 2d + part per field. Writes only pixels [0, w) of those
// rows of fpip->ycp_edit.
void output_rows(int part, int d_first, int d_end, uint8_t field, const FILTER_PROC_INFO* fpip);
