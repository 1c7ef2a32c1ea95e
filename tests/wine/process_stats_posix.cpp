// Process measurements on Linux: virtual size, bytes in use in the C heap,
// threads and open descriptors.
#include <dirent.h>
#include <malloc.h>

#include <cstring>

#include "plugin_host.h"

process_stats measure_process() {
  process_stats s;
  if (FILE* f = std::fopen("/proc/self/status", "r")) {
    char line[256];
    while (std::fgets(line, sizeof line, f)) {
      long long value = 0;
      if (std::sscanf(line, "VmSize: %lld", &value) == 1) s.memory = value * 1024;
      if (std::sscanf(line, "Threads: %lld", &value) == 1) s.threads = int(value);
    }
    std::fclose(f);
  }
  const struct mallinfo2 heap = mallinfo2();
  s.heap = (long long)heap.uordblks + (long long)heap.hblkhd;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (const dirent* e = readdir(d))
      if (e->d_name[0] != '.') ++s.handles;
    closedir(d);
    --s.handles;  // the descriptor of the listing itself
  }
  return s;
}
