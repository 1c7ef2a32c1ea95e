// The Linux builds of the test editor read the filters' Shift_JIS texts
// through iconv (the Windows build through MultiByteToWideChar).
#include <iconv.h>

#include "plugin_host.h"

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
