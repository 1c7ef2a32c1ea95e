// The Linux build of the host takes the filter from the linked library, but
// still reaches it only through GetFilterTable and the table's callbacks.
#include "host/cpu.h"
#include "plugin_host.h"

bool load_filter(const char* /*path*/, loaded_filter& out) {
  out.table = GetFilterTable();
  out.instance = nullptr;
  return out.table != nullptr;
}

void unload_filter(loaded_filter& filter) { filter = loaded_filter(); }

bool filter_module_mapped(const char* /*path*/) { return false; }

bool force_filter_kernels(int level) {
  force_kernel_level(level);
  return true;
}

bool force_filter_cpu_level(int /*level*/) { return false; }
