// Initialisation, shutdown and the start of saving.
#include "driver/driver.h"
#include "frame/buffers.h"
#include "host/cpu.h"
#include "host/host_api.h"
#include "host/settings.h"

BOOL func_init(FILTER* fp) {
  cpu_level = detect_cpu_level();
  // Only a processor that passed the check chooses kernels: the choice may use
  // SSE. Otherwise frames are cleared and the kernels are never called.
  if (cpu_level == 2) select_kernels(usable_kernel_level());
  buffers_ok = allocate_working_buffers() ? 1 : 0;
  filter_loaded = 1;
  // The first frame must not see zero thresholds, whether or not the editor
  // sends a setting change before it.
  if (fp && fp->track && fp->check) derive_settings(fp->track, fp->check);
  return 1;
}

BOOL func_exit(FILTER* /*fp*/) {
  free_buffers();
  // A frame the host still sends is cleared, without allocating anything.
  buffers_ok = 0;
  filter_loaded = 0;
  return 1;
}

BOOL func_save_start(FILTER* /*fp*/, int /*s*/, int /*e*/, void* /*editp*/) {
  empty_ring();
  return 1;
}
