// The per-frame entry: size checks, rounding of the frame size for the call,
// buffer reallocation, the temporal window and its ring cache, and the order
// of the stages.
#include <cstdio>
#include <cstring>

#include "analysis/analysis.h"
#include "driver/driver.h"
#include "frame/buffers.h"
#include "host/cpu.h"
#include "host/host_api.h"
#include "host/settings.h"
#include "host/texts.h"
#include "platform/platform.h"
#include "prefilter/prefilter.h"
#include "temporal/temporal.h"

namespace {

int round16(int v) { return (v + 15) & ~15; }

// Zeroes rows [0, rows) of ycp_edit at full pitch.
void clear_output(FILTER_PROC_INFO* fpip, int rows) {
  if (rows > fpip->max_h) rows = fpip->max_h;
  if (rows <= 0 || fpip->max_w <= 0) return;
  std::memset(fpip->ycp_edit, 0, (size_t)fpip->max_w * (size_t)rows * sizeof(PIXEL_YC));
}

void show_size_message(const char* format, int value) {
  char text[200];
  std::snprintf(text, sizeof text, format, value);
  platform_message_box(text, filter_name);
}

void run_stage(FILTER* fp, MULTI_THREAD_FUNC entry, void* param1, FILTER_PROC_INFO* fpip) {
  fp->exfunc->exec_multi_thread_func(entry, param1, fpip);
}

PIXEL_YC* fetch(FILTER* fp, FILTER_PROC_INFO* fpip, int m) {
  return fp->exfunc->get_ycp_filtering_cache_ex(fp, fpip->editp, m, nullptr, nullptr);
}

int clamp_strength(int v) { return v < 0 ? 0 : (v > 20 ? 20 : v); }

}  // namespace

int32_t prev_w = max_frame_w;
int32_t prev_h = max_frame_h;
int32_t prev_radius = 0;
uint8_t buffers_ok = 0;
uint8_t filter_loaded = 0;
prefilter_params current_prefilter;
analysis_params current_analysis;
uint8_t output_field_mode = 0;

void rows_and_chroma_job(int thread_id, int thread_num, void* analysis, void* fpip_v) {
  const FILTER_PROC_INFO* fpip = static_cast<const FILTER_PROC_INFO*>(fpip_v);
  if (thread_id % 2 == 0) spatial_rows_job(thread_id, thread_num, analysis, fpip_v);
  temporal_chroma_share(thread_id, thread_num, fpip);
  if (thread_id % 2 == 1) spatial_rows_job(thread_id, thread_num, analysis, fpip_v);
}

int source_frame_number(int n, int frame_n) {
  int m = n;
  if (n < 0)
    m = -n;
  else if (n >= frame_n)
    m = 2 * frame_n - n - 2;
  // A clip shorter than the window reflects past its other end: clamp.
  if (m >= frame_n) m = frame_n - 1;
  if (m < 0) m = 0;
  return m;
}

void extend_rightward(PIXEL_YC* frame, int max_w, int w, int w16, int h) {
  for (int y = 0; y < h; ++y) {
    PIXEL_YC* row = frame + (size_t)y * max_w;
    const PIXEL_YC last = row[w - 1];
    for (int x = w; x < w16; ++x) row[x] = last;
  }
}

void extend_downward(PIXEL_YC* frame, int max_w, int w16, int h, int h16) {
  for (int k = 0; k < h16 - h; ++k) {
    int from = h - 2 - k;
    if (from < 0) from = 0;  // frames of 1 to 8 rows
    std::memcpy(frame + (size_t)(h + k) * max_w, frame + (size_t)from * max_w,
                (size_t)w16 * sizeof(PIXEL_YC));
  }
}

void extend_fetched(PIXEL_YC* frame, int max_w, int w, int h, int w16, int h16) {
  // The rows below copy whole rounded rows, the extended columns with them.
  extend_rightward(frame, max_w, w, w16, h);
  extend_downward(frame, max_w, w16, h, h16);
}

void choose_canvas(int w16, int h16, int32_t* cw, int32_t* ch) {
  if (w16 > 720 || h16 > 480) {
    *ch = max_canvas_h;
    *cw = w16 > 1440 ? max_canvas_w : 1472;
  } else {
    *cw = 832;
    *ch = 512;
  }
}

BOOL func_proc(FILTER* fp, FILTER_PROC_INFO* fpip) {
  const int w = fpip->w;
  const int h = fpip->h;
  if (w <= 0 || h <= 0) return 1;
  const int w16 = round16(w);
  const int h16 = round16(h);

  // Size checks: the editor's maximum image size first (height, then width).
  bool shown = false;
  if (h16 > fpip->max_h) {
    show_size_message(message_height_format, h16);
    shown = true;
  }
  if (w16 > fpip->max_w) {
    show_size_message(message_width_format, w16);
    shown = true;
  }
  // A host that loaded the filter before its settings existed has not had
  // them derived yet: do it now, from the current values.
  if (!settings_derived && fp->track && fp->check) derive_settings(fp->track, fp->check);
  if (h > max_frame_h || w > max_frame_w || cpu_level != 2 || !filter_loaded ||
      !settings_derived || shown) {
    clear_output(fpip, h);
    return 1;
  }

  // Every stage sees the size rounded up to multiples of 16.
  fpip->w = w16;
  fpip->h = h16;

  if (w16 != prev_w || h16 != prev_h || frame_radius != prev_radius) {
    choose_canvas(w16, h16, &canvas_w, &canvas_h);
    ring_n = 2 * frame_radius + 1;
    buffers_ok = allocate_working_buffers() ? 1 : 0;
    prev_w = w16;
    prev_h = h16;
    prev_radius = frame_radius;
  }
  if (buffers_ok != 1) {
    clear_output(fpip, h16);
    fpip->w = w;
    fpip->h = h;
    return 1;
  }

  const int R = frame_radius;
  const int frame_n = fpip->frame_n;
  const bool block_on = fp->check[check_block] == 1;
  const bool mosquito_on = fp->check[check_mosquito] == 1;
  const int32_t field_step = fp->check[check_field] == 1 ? 2 : 1;

  bool rows_pending = false;  // the last analysed frame's row pass is still to run
  for (int i = -R; i <= R; ++i) {
    const int n = fpip->frame + i;
    const int s = (ring_n + n) % ring_n;
    window_missing[i + R] = 0;
    if (ring_frame[s] == n) continue;

    fp->exfunc->set_ycp_filtering_cache_size(fp, fpip->max_w, fpip->max_h, 5, 0);
    const int m = source_frame_number(n, frame_n);
    PIXEL_YC* p = fetch(fp, fpip, m);
    if (!p) {
      ring_frame[s] = ring_empty;
      window_missing[i + R] = 1;
      continue;
    }
    extend_fetched(p, fpip->max_w, w, h, w16, h16);
    const PIXEL_YC* src = p;

    if (block_on) {
      current_prefilter.src = src;
      current_prefilter.field_step = field_step;
      current_prefilter.anime = anime_mode;
      const int strength = clamp_strength(fp->track[track_block_nr]);
      current_prefilter.strength_a = strength * 8;
      current_prefilter.strength_b = strength * 16;
      run_stage(fp, block_nr_job, &current_prefilter, fpip);
      src = fpip->ycp_edit;
    }
    if (mosquito_on) {
      current_prefilter.src = src;
      current_prefilter.field_step = field_step;
      const int strength = clamp_strength(fp->track[track_mosq_nr]);
      current_prefilter.strength_c = canvas_w >= 1400 ? strength * 90 : strength * 8;
      // Neighbours come straight from the cache, unfiltered; a missing one is
      // replaced by the frame itself, as at the ends of the clip. The pass
      // reads the neighbours over the rounded size, so they are extended
      // right and downward like the frame: what the host keeps right of and
      // below the picture must not reach the output.
      PIXEL_YC* prev = m - 1 < 0 ? nullptr : fetch(fp, fpip, m - 1);
      PIXEL_YC* next = m + 1 >= frame_n ? nullptr : fetch(fp, fpip, m + 1);
      if (prev) extend_fetched(prev, fpip->max_w, w, h, w16, h16);
      if (next) extend_fetched(next, fpip->max_w, w, h, w16, h16);
      current_prefilter.prev = prev ? prev : src;
      current_prefilter.next = next ? next : src;
      run_stage(fp, mosquito_nr_job, &current_prefilter, fpip);
      src = fpip->ycp_temp;
    }

    // The canvas is about to be overwritten: the previous frame's rows first.
    if (rows_pending) run_stage(fp, spatial_rows_job, &current_analysis, fpip);
    current_analysis.src = src;
    current_analysis.slot = s;
    current_analysis.field_mode = field_mode;
    run_stage(fp, spatial_columns_job, &current_analysis, fpip);
    rows_pending = true;
    ring_frame[s] = m;
  }

  if (window_missing[R]) {
    // Without the current frame there is nothing to filter.
    if (rows_pending) run_stage(fp, spatial_rows_job, &current_analysis, fpip);
    clear_output(fpip, h16);
  } else {
    if (rows_pending) {
      run_stage(fp, rows_and_chroma_job, &current_analysis, fpip);
      run_stage(fp, temporal_luma_job, fp, fpip);
    } else {
      run_stage(fp, temporal_job, fp, fpip);
    }
    output_field_mode = field_mode;
    run_stage(fp, output_job, &output_field_mode, fpip);
  }

  fpip->w = w;
  fpip->h = h;
  return 1;
}
