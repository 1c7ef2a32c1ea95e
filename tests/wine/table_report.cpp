// Prints the filter table as the editor reads it, in a fixed text form (texts
// converted from Shift_JIS to UTF-8), for comparison with the expected table.
#include <cstring>

#include "plugin_host.h"

namespace {
const char* set_or_empty(const void* p) { return p ? "set" : "empty"; }
template <typename F>
const char* fn_set_or_empty(F f) {
  return f ? "set" : "empty";
}
}  // namespace

int command_table(const char* dll) {
  loaded_filter filter;
  if (!load_filter(dll, filter)) return 2;
  loaded_filter again;
  if (!load_filter(dll, again)) return 2;
  const FILTER_DLL* t = filter.table;
  std::printf("same table on a second call: %s\n", again.table == t ? "yes" : "no");
  unload_filter(again);

  std::printf("name: %s\n", sjis_to_utf8(t->name).c_str());
  std::printf("flag: 0x%08x\n", unsigned(t->flag));
  std::printf("window size: %d %d\n", t->x, t->y);
  std::printf("track bars: %d\n", t->track_n);
  for (int i = 0; i < t->track_n && i < 32; ++i)
    std::printf("  %d %s default %d range %d..%d\n", i, sjis_to_utf8(t->track_name[i]).c_str(),
                t->track_default[i], t->track_s ? t->track_s[i] : 0,
                t->track_e ? t->track_e[i] : 256);
  std::printf("check boxes: %d\n", t->check_n);
  for (int i = 0; i < t->check_n && i < 32; ++i)
    std::printf("  %d %s default %d\n", i, sjis_to_utf8(t->check_name[i]).c_str(),
                t->check_default[i]);
  std::printf("func_proc %s, func_init %s, func_exit %s, func_update %s, func_WndProc %s, "
              "func_save_start %s\n",
              fn_set_or_empty(t->func_proc), fn_set_or_empty(t->func_init),
              fn_set_or_empty(t->func_exit), fn_set_or_empty(t->func_update),
              fn_set_or_empty(t->func_WndProc), fn_set_or_empty(t->func_save_start));
  std::printf("func_save_end %s, func_is_saveframe %s, func_project_load %s, "
              "func_project_save %s, func_modify_title %s\n",
              fn_set_or_empty(t->func_save_end), fn_set_or_empty(t->func_is_saveframe),
              fn_set_or_empty(t->func_project_load), fn_set_or_empty(t->func_project_save),
              fn_set_or_empty(t->func_modify_title));
  std::printf("track %s, check %s, ex_data_ptr %s, ex_data_size %d, information %s, "
              "exfunc %s, hwnd %s, dll_hinst %s, ex_data_def %s, dll_path %s, reserve %d %d\n",
              set_or_empty(t->track), set_or_empty(t->check), set_or_empty(t->ex_data_ptr),
              t->ex_data_size, set_or_empty(t->information), set_or_empty(t->exfunc),
              set_or_empty(t->hwnd), set_or_empty(t->dll_hinst), set_or_empty(t->ex_data_def),
              set_or_empty(t->dll_path), t->reserve[0], t->reserve[1]);
  unload_filter(filter);
  return 0;
}
