// The frame driver (func_proc, declared in host/host_api.h) and the small
// pieces of its work that tests and hosts look at on their own.
#pragma once

#include <cstdint>

#include "host/host_api.h"

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

// Fills rows h .. h16-1 of a frame (pitch max_w) with mirror copies of the rows
// above row h-1 (w16 pixels each); frames of 1 to 8 rows repeat row 0 at the end.
void extend_downward(PIXEL_YC* frame, int max_w, int w16, int h, int h16);

// Canvas class for a rounded frame size: 832x512, 1472x1152 or 1984x1152.
void choose_canvas(int w16, int h16, int32_t* canvas_w, int32_t* canvas_h);
