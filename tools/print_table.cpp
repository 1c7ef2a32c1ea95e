// Prints the plug-in table as the editor reads it: name, track bars, check boxes.
#include <cstdio>

#include "host/host_api.h"
#include "platform/platform.h"

int main() {
  const FILTER_DLL* t = GetFilterTable();
  std::printf("%s (flag 0x%08x)\n", t->name, (unsigned)t->flag);
  for (int i = 0; i < t->track_n; ++i)
    std::printf("  track %d  %-8s default %2d  range %d..%d\n", i, t->track_name[i],
                t->track_default[i], t->track_s[i], t->track_e[i]);
  for (int i = 0; i < t->check_n; ++i)
    std::printf("  check %d  %s  default %d\n", i, platform_sjis_to_utf8(t->check_name[i]).c_str(),
                t->check_default[i]);
  return 0;
}
