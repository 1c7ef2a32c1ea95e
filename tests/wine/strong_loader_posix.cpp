// The Linux build of the test editor for the second plug-in: the table comes
// from the linked strong_host/, reached only through it and its callbacks.
#include "plugin_host.h"
#include "strong_host/strong_host.h"
#include "strong_host/strong_state.h"

bool load_filter(const char* /*path*/, loaded_filter& out) {
  out.table = strong_filter_table();
  out.instance = nullptr;
  return out.table != nullptr;
}

void unload_filter(loaded_filter& filter) { filter = loaded_filter(); }

bool filter_module_mapped(const char* /*path*/) { return false; }

bool force_filter_kernels(int level) {
  strong_forced_level = level;
  return true;
}

bool force_filter_cpu_level(int level) {
  strong_forced_cpu_level = level;
  return true;
}
