// Initialisation, shutdown, setting changes and the start of saving.
#include "host/cpu.h"
#include "strong_host/strong_host.h"
#include "strong_host/strong_state.h"
#include "strong_window/strong_window.h"

int32_t strong_cpu_level = 0;
int strong_forced_level = -1;
int strong_forced_cpu_level = -1;
uint8_t strong_messages_shown = 0;

BOOL strong_func_init(FILTER* /*fp*/) {
  strong_cpu_level = detect_cpu_level();
  if (strong_forced_cpu_level >= 0 && strong_forced_cpu_level < strong_cpu_level)
    strong_cpu_level = strong_forced_cpu_level;
  strong_messages_shown = 0;
  // Only a processor that passed the check chooses kernels: the choice may
  // use SSE. Otherwise frames pass unchanged and no kernel is ever called.
  if (strong_cpu_level == 2) {
    int level = detect_simd_level();
    if (strong_forced_level >= 0 && strong_forced_level < level) level = strong_forced_level;
    strong_window_select_kernels(level);
  }
  return 1;
}

BOOL strong_func_exit(FILTER* /*fp*/) {
  if (strong_cpu_level == 2) strong_window_release();
  return 1;
}

BOOL strong_func_update(FILTER* /*fp*/, int /*status*/) {
  if (strong_cpu_level == 2) strong_window_reset();
  return 1;
}

BOOL strong_func_save_start(FILTER* /*fp*/, int /*s*/, int /*e*/, void* /*editp*/) {
  if (strong_cpu_level == 2) strong_window_reset();
  return 1;
}
