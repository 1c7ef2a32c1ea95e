// The per-frame entry: the processor and size checks, the settings as the
// editor holds them, then the frame's work in strong_window/. Every failure
// leaves the frame unchanged and is told once.
#include <cstdio>

#include "platform/platform.h"
#include "strong_host/strong_host.h"
#include "strong_host/strong_state.h"
#include "strong_window/strong_window.h"

namespace {

int clamp_setting(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

void tell_once(int which, const char* text) {
  if (strong_messages_shown & which) return;
  strong_messages_shown = uint8_t(strong_messages_shown | which);
  platform_message_box(text, strong_filter_name);
}

}  // namespace

BOOL strong_func_proc(FILTER* fp, FILTER_PROC_INFO* fpip) {
  if (strong_cpu_level != 2) {
    tell_once(strong_shown_cpu, strong_message_cpu);
    return 1;
  }
  const int w = fpip->w, h = fpip->h;
  if (w < 1 || h < 1 || w > strong_max_side || h > strong_max_side || w > fpip->max_w) {
    char text[200];
    std::snprintf(text, sizeof text, strong_message_size, w, h);
    tell_once(strong_shown_size, text);
    return 1;
  }
  strong_window_settings s;
  s.noise_tenths = clamp_setting(fp->track[strong_track_noise], 0, strong_noise_max);
  s.radius = clamp_setting(fp->track[strong_track_radius], 0, strong_radius_max);
  s.spatial_tenths = clamp_setting(fp->track[strong_track_spatial], 0, strong_spatial_max);
  s.chroma = fp->check[strong_check_chroma] == 1;
  s.by_field = fp->check[strong_check_field] == 1 && h >= 2;
  if (strong_window_frame(fp, fpip, s) == strong_window_no_memory)
    tell_once(strong_shown_memory, strong_message_memory);
  return 1;
}
