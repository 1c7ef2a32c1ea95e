// The frame driver (func_proc, declared in host/host_api.h) and the small
// pieces of its work that tests and hosts look at on their own.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame/stage_params.h"
#include "host/host_api.h"

// The largest frame the filter processes (before rounding to multiples of
// 16); larger frames get a cleared output frame.
constexpr int max_frame_w = 1920;
constexpr int max_frame_h = 1088;

// The stages of a frame, by the letters comments use, in the order func_proc
// runs them. For each frame that enters the ring (window order):
//   a  block-noise pre-filter (block_nr_job), when its check box is on;
//   b  mosquito-noise pre-filter (mosquito_nr_job), when its check box is on;
//   d  the row pass (spatial_rows_job) of the frame analysed just before, as
//      c is about to overwrite the canvas;
//   c  the column pass of the spatial analysis (spatial_columns_job).
// Then for the current frame:
//   d, e  the last analysed frame's row pass together with the chroma half of
//         the temporal stage e (the combined stage rows_and_chroma_job), then
//         e's luma half (temporal_luma_job); when the whole window was in the
//         ring already, e alone (temporal_job). e is the temporal fit, the
//         band synthesis and the vertical synthesis of luma: it leaves the
//         luma canvas in the picture domain;
//   f  the output conversion into ycp_edit (output_job).
// Without the current frame only the pending d runs, and the output is cleared.

// The driver's state, process-wide: the rounded frame size and radius the
// working buffers (frame/buffers.h) were last allocated for, whether that
// succeeded, and the parameter records it hands the stages.
extern int32_t prev_w;
extern int32_t prev_h;
extern int32_t prev_radius;
extern uint8_t buffers_ok;
// 1 from func_init to func_exit: only then are frames processed (a frame after
// func_exit comes out cleared and allocates nothing).
extern uint8_t filter_loaded;
extern prefilter_params current_prefilter;
extern analysis_params current_analysis;
extern uint8_t output_field_mode;

// Floats of scratch a worker needs for a canvas: room for whichever of the
// analysis and the temporal stage needs more, as a worker runs one at a time.
size_t worker_scratch_floats_for(int32_t canvas_w, int32_t canvas_h);
// allocate_buffers for the current canvas and window length with that
// scratch: func_init and every change of the rounded size or radius.
bool allocate_working_buffers();

// A stage of its own for the row pass of the last frame a call analyses
// (param1: its analysis_params) together with the chroma half of the temporal
// stage (param2: the FILTER_PROC_INFO), which needs only the column passes.
// Even workers run their rows first and odd ones their chroma lines first, so
// one thread's arithmetic meets the other's streaming through the rings. The
// luma half follows as temporal_luma_job.
void rows_and_chroma_job(int thread_id, int thread_num, void* param1, void* param2);

// Source frame for window position n of a clip of frame_n frames: reflected
// about the first and last frame (neither repeated), then clamped into the clip.
int source_frame_number(int n, int frame_n);

// Fills columns w .. w16-1 of rows 0 .. h-1 of a frame (pitch max_w) with a
// copy of column w-1 of the same row. Plain integer code: it runs before the
// processor check.
void extend_rightward(PIXEL_YC* frame, int max_w, int w, int w16, int h);
// Fills rows h .. h16-1 of a frame (pitch max_w) with mirror copies of the rows
// above row h-1 (w16 pixels each); frames of 1 to 8 rows repeat row 0 at the end.
void extend_downward(PIXEL_YC* frame, int max_w, int w16, int h, int h16);
// What the driver does to every frame it fetches, in place, before any stage
// reads it: extend_rightward, then extend_downward. Afterwards the rounded
// w16 x h16 frame depends only on the w x h picture; columns w .. w16-1 of
// every row 0 .. h16-1 hold a copy of column w-1 of that row.
void extend_fetched(PIXEL_YC* frame, int max_w, int w, int h, int w16, int h16);

// Canvas class for a rounded frame size: 832x512, 1472x1152 or 1984x1152.
void choose_canvas(int w16, int h16, int32_t* canvas_w, int32_t* canvas_h);
