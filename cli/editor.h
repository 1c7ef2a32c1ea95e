// The editor's part for one filter: its records (the FILTER, the settings,
// the service table, the per-frame record and the edit buffers) and the calls
// the editor makes into the plug-in (init, update, save start, proc, exit).
#pragma once

#include <cstddef>
#include <cstdint>

#include "cli/frame_cache.h"
#include "host/host_api.h"

// The editor's records for one filter: the host-owned FILTER copied from the
// plug-in table, the settings arrays, the service table and the edit buffers.
struct editor_host {
  FILTER filter;
  EXFUNC exfunc;
  int track[32];
  int check[32];
  FILTER_PROC_INFO fpip;
  PIXEL_YC* edit = nullptr;    // ycp_edit and ycp_temp, max_w * max_h each (lazily
  PIXEL_YC* temp = nullptr;    // committed: ycp_temp is written only by some stages)
  size_t buffer_pixels = 0;
  int w = 0, h = 0, max_w = 0, max_h = 0;  // the picture and the buffers, from editor_prepare
  frame_cache* cache = nullptr;
};

// Copies the table, points track/check at the host's arrays (filled from
// track/check), fills the service table and calls func_init and func_update.
void editor_open(editor_host* e, const FILTER_DLL* table, const int* track, const int* check);
// Sets up the per-frame record and buffers for frames of w x h, pitch max_w.
// False when the buffers cannot be had.
bool editor_prepare(editor_host* e, frame_cache* cache, int w, int h, int max_w, int max_h);
// Starts saving frames first ... last (func_save_start).
void editor_save_start(editor_host* e, int64_t first, int64_t last);
// Runs func_proc for frame n; the result is the returned frame (pitch max_w).
const PIXEL_YC* editor_process(editor_host* e, int64_t n);
void editor_close(editor_host* e);
