// What the files of strong_window/ share: the conversion jobs' records.
#pragma once

#include "host/host_api.h"
#include "strong/strong_filter.h"

// A frame (w x h, pitch src_pitch pixels) into the window slots of its fields.
struct frame_to_planes_params {
  const PIXEL_YC* src;
  int src_pitch, w, h, fields;
  strong_picture_slot slot[2];
};
// The filtered planes of each field (pitch w) into a frame; the frame's own
// chroma stays when chroma is false.
struct planes_to_frame_params {
  PIXEL_YC* dst;
  int dst_pitch, w, h, fields;
  const float* plane[2][3];
  bool chroma;
};

void frame_to_planes_job(int thread_id, int thread_num, void* param1, void* param2);
void planes_to_frame_job(int thread_id, int thread_num, void* param1, void* param2);
