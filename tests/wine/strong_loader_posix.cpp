// The Linux build of the test editor for the second plug-in: the table comes
// from the linked strong_host/, reached only through it and its callbacks.
#include <iconv.h>

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

std::string sjis_to_utf8(const char* text) {
  iconv_t cd = iconv_open("UTF-8", "CP932");
  if (cd == (iconv_t)-1) return "<no CP932 converter>";
  std::string in(text);
  std::string out(in.size() * 3 + 4, '\0');
  char* src = &in[0];
  char* dst = &out[0];
  size_t src_left = in.size(), dst_left = out.size();
  const size_t r = iconv(cd, &src, &src_left, &dst, &dst_left);
  iconv_close(cd);
  if (r == (size_t)-1) return "<not Shift_JIS>";
  out.resize(out.size() - dst_left);
  return out;
}
