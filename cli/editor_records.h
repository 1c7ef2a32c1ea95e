// The editor's records for one filter, filled as the editor fills them: its
// own copy of the plug-in's FILTER and the per-frame record. Every stand-in
// for the editor (the command line, the tests' substitute editor and the
// Windows test editor) fills them here, so the filter sees the same records
// from each; the services behind the records are each host's own.
#pragma once

#include <cstring>

#include "host/host_api.h"

// filter becomes the plug-in table's FILTER with track and check pointing at
// the host's arrays, exfunc at the host's service table and dll_hinst at the
// module the filter came from (null when linked in).
inline void editor_copy_filter(FILTER* filter, const FILTER_DLL* table, int* track, int* check,
                               EXFUNC* exfunc, HINSTANCE instance) {
  std::memcpy(filter, table, sizeof(FILTER));
  filter->track = track;
  filter->check = check;
  filter->exfunc = exfunc;
  filter->hwnd = nullptr;
  filter->dll_hinst = instance;
}

// The record func_proc gets for frame n of frame_n: pictures of w x h in the
// edit and temporary buffers of max_w x max_h pixels, editp the edit handle
// the services are given back; every other field zero.
inline void editor_frame_record(FILTER_PROC_INFO* fpip, PIXEL_YC* edit, PIXEL_YC* temp, int w,
                                int h, int max_w, int max_h, int n, int frame_n, void* editp) {
  std::memset(fpip, 0, sizeof *fpip);
  fpip->ycp_edit = edit;
  fpip->ycp_temp = temp;
  fpip->w = w;
  fpip->h = h;
  fpip->max_w = max_w;
  fpip->max_h = max_h;
  fpip->frame = n;
  fpip->frame_n = frame_n;
  fpip->org_w = w;
  fpip->org_h = h;
  fpip->editp = editp;
  fpip->yc_size = int(sizeof(PIXEL_YC));
  fpip->line_size = max_w * int(sizeof(PIXEL_YC));
}
