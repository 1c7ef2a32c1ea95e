// Strong mode's frame work inside the editor: the window of source frames as
// planes of the strong filter, the noise estimate from that window, the filter
// and the conversions from and to the editor's PIXEL_YC frames. Float code,
// reached from strong_host/ only after the processor check.
//
// A frame's output depends only on the frames of its window and the settings:
// frames held from earlier calls are reused only while they are the same
// pictures (the same frame number since the last reset, the same size and
// field split), and the estimate pools the window's own frames in frame order:
// their blocks, and each against the frame before it, as the command line's
// estimate does with the first frames of a clip. A frame's readings are taken
// once, when the estimate first needs them, and kept while it is held.
#pragma once

#include "host/host_api.h"

struct strong_window_settings {
  int noise_tenths = 0;    // 0: estimate from the window
  int radius = 0;          // 0: from the noise level
  int spatial_tenths = 10;
  bool chroma = true;      // false: the frame's own chroma passes unchanged
  bool by_field = false;
};

enum strong_window_result {
  strong_window_filtered,   // ycp_edit holds the filtered frame
  strong_window_unchanged,  // ycp_edit holds the frame as it came (a missing source frame)
  strong_window_no_memory   // the buffers for this size could not be had; ycp_edit unchanged
};

// Fills the strong filter's kernel table, and the conversions' (yc48_row.h),
// for a level (after the check).
void strong_window_select_kernels(int level);
// Filters frame fpip->frame into fpip->ycp_edit, fetching its window through
// the editor's frame cache and working on its threads. fpip->w and h are left
// as they came.
strong_window_result strong_window_frame(FILTER* fp, FILTER_PROC_INFO* fpip,
                                         const strong_window_settings& s);
// Forgets every held frame (a setting change, the start of saving): the next
// frame fetches its whole window again.
void strong_window_reset();
// Gives back every buffer.
void strong_window_release();

// The conversions, exact both ways: a sample y of YC48 luma is the 8-bit code
// value y * 219 / 4096 + 16, chroma c is c * 224 / 4096 + 128 (the editor's
// limited-range scale, without rounding to whole code values); the way back
// rounds to the nearest YC48 value, so an unchanged picture comes back bit for
// bit.
float strong_luma_from_yc48(short y);
float strong_chroma_from_yc48(short c);
short strong_yc48_from_luma(float v);
short strong_yc48_from_chroma(float v);
