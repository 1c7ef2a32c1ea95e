// The editor's side of the plug-in interface: a host-owned FILTER copied from
// the plug-in table (its track/check pointing at the host's arrays, exfunc at
// the host's services), the per-frame record and the edit buffers, and the
// services the filter calls. One filter per process, as in the editor.
#include <climits>
#include <cstring>

#include "cli/convert.h"
#include "cli/editor.h"
#include "cli/editor_records.h"
#include "cli/lazy_memory.h"
#include "cli/thread_pool.h"
#include "host/cpu.h"

namespace {

editor_host* active_editor = nullptr;

void free_buffers(editor_host* e) {
  lazy_free(e->edit, sizeof(PIXEL_YC) * e->buffer_pixels);
  lazy_free(e->temp, sizeof(PIXEL_YC) * e->buffer_pixels);
  e->edit = e->temp = nullptr;
  e->buffer_pixels = 0;
}

BOOL host_set_ycp_filtering_cache_size(void* fp, int w, int h, int d, int flag) {
  (void)fp;
  (void)flag;
  if (!active_editor || !active_editor->cache) return 0;
  frame_cache* c = active_editor->cache;
  c->cache_size_w = w;
  c->cache_size_h = h;
  c->cache_size_d = d;
  // The cache is sized for the whole window once; it only checks the frames fit.
  return w <= c->pitch && h <= c->rows;
}

PIXEL_YC* host_get_ycp_filtering_cache_ex(void* fp, void* editp, int n, int* w, int* h) {
  (void)fp;
  frame_cache* c = static_cast<frame_cache*>(editp);
  PIXEL_YC* frame = c ? cache_fetch(c, n) : nullptr;
  if (frame) {
    if (w) *w = c->source->video.width;
    if (h) *h = c->source->video.height;
  }
  return frame;
}

BOOL host_is_filter_active(void* fp) {
  (void)fp;
  return 1;
}

BOOL host_filter_window_update(void* fp) {
  (void)fp;
  return 1;
}

}  // namespace

void editor_open(editor_host* e, const FILTER_DLL* table, const int* track, const int* check) {
  memset(&e->exfunc, 0, sizeof e->exfunc);
  memset(e->track, 0, sizeof e->track);
  memset(e->check, 0, sizeof e->check);
  for (int i = 0; i < table->track_n && i < 32; ++i) e->track[i] = track[i];
  for (int i = 0; i < table->check_n && i < 32; ++i) e->check[i] = check[i];
  e->exfunc.exec_multi_thread_func = host_exec_multi_thread_func;
  e->exfunc.set_ycp_filtering_cache_size = host_set_ycp_filtering_cache_size;
  e->exfunc.get_ycp_filtering_cache_ex = host_get_ycp_filtering_cache_ex;
  e->exfunc.is_filter_active = host_is_filter_active;
  e->exfunc.filter_window_update = host_filter_window_update;
  editor_copy_filter(&e->filter, table, e->track, e->check, &e->exfunc, nullptr);
  e->cache = nullptr;
  active_editor = e;
  if (e->filter.func_init) e->filter.func_init(&e->filter);
  // The host's own row conversions use the level the filter chose.
  cli_select_kernels(kernel_level);
  // The settings differ from the table's defaults: tell the filter, as the
  // editor does when the user sets them.
  if (e->filter.func_update) e->filter.func_update(&e->filter, FILTER_UPDATE_STATUS_ALL);
}

bool editor_prepare(editor_host* e, frame_cache* cache, int w, int h, int max_w, int max_h) {
  e->cache = cache;
  free_buffers(e);
  // Pages of ycp_temp that no stage writes (all of it without the mosquito
  // pass) never become resident.
  e->buffer_pixels = size_t(max_w) * size_t(max_h);
  e->edit = static_cast<PIXEL_YC*>(lazy_alloc(sizeof(PIXEL_YC) * e->buffer_pixels));
  e->temp = static_cast<PIXEL_YC*>(lazy_alloc(sizeof(PIXEL_YC) * e->buffer_pixels));
  e->w = w;
  e->h = h;
  e->max_w = max_w;
  e->max_h = max_h;
  editor_frame_record(&e->fpip, e->edit, e->temp, w, h, max_w, max_h, 0, 0, cache);
  if (e->edit && e->temp) return true;
  free_buffers(e);
  return false;
}

void editor_save_start(editor_host* e, int64_t first, int64_t last) {
  if (e->filter.func_save_start)
    e->filter.func_save_start(&e->filter, int(first), int(last), e->cache);
}

const PIXEL_YC* editor_process(editor_host* e, int64_t n) {
  FILTER_PROC_INFO& fpip = e->fpip;
  const int64_t frame_n = cache_frame_n(e->cache);
  editor_frame_record(&fpip, e->edit, e->temp, e->w, e->h, e->max_w, e->max_h, int(n),
                      frame_n > INT_MAX ? INT_MAX : int(frame_n), e->cache);
  // The editor would also copy the input picture into ycp_edit. The filter
  // takes its input only from the cache and writes every row of ycp_edit it
  // hands back before reading any, so the host leaves the copy out.
  if (e->filter.func_proc) e->filter.func_proc(&e->filter, &fpip);
  // The filter may have swapped ycp_edit and ycp_temp: the result is where
  // ycp_edit points now.
  return fpip.ycp_edit;
}

void editor_close(editor_host* e) {
  if (e->filter.func_exit) e->filter.func_exit(&e->filter);
  if (active_editor == e) active_editor = nullptr;
  free_buffers(e);
  e->cache = nullptr;
}
