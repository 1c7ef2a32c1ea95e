// Linux stand-ins for the Windows services: every call is recorded; message
// boxes are printed on standard error.
#include <iconv.h>
#include <sys/mman.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

namespace {
constexpr size_t huge_page_bytes = size_t(2) << 20;
std::vector<platform_call> call_log;
bool quiet_boxes = false;
intptr_t next_handle = 0x1000;

platform_call& record(const char* what) {
  call_log.push_back(platform_call{what, "", "", 0, 0, 0, 0, {}});
  return call_log.back();
}
}  // namespace

std::vector<platform_call>& platform_call_log() { return call_log; }
void platform_set_quiet(bool quiet) { quiet_boxes = quiet; }

std::string platform_sjis_to_utf8(const char* text) {
  std::string out;
  iconv_t cd = iconv_open("UTF-8", "CP932");
  if (cd == (iconv_t)-1) return text;
  std::string in(text);
  char* in_p = &in[0];
  size_t in_left = in.size();
  char buf[256];
  while (in_left > 0) {
    char* out_p = buf;
    size_t out_left = sizeof buf;
    size_t r = iconv(cd, &in_p, &in_left, &out_p, &out_left);
    out.append(buf, out_p - buf);
    if (r == (size_t)-1 && errno != E2BIG) {  // undecodable byte: keep it as '?'
      out.push_back('?');
      ++in_p;
      --in_left;
    }
  }
  iconv_close(cd);
  return out;
}

void platform_message_box(const char* text, const char* caption) {
  platform_call& c = record("message_box");
  c.text = text;
  c.caption = caption;
  if (!quiet_boxes)
    std::fprintf(stderr, "%s: %s\n", platform_sjis_to_utf8(caption).c_str(),
                 platform_sjis_to_utf8(text).c_str());
}

HWND platform_create_window(DWORD ex_style, const char* class_name, const char* text,
                            DWORD style, int x, int y, int width, int height, HWND parent,
                            intptr_t id, HINSTANCE instance) {
  platform_call& c = record("create_window");
  c.text = text;
  c.caption = class_name;
  c.hwnd = reinterpret_cast<intptr_t>(parent);
  c.numbers = {(long)ex_style, (long)style, x, y, width, height, (long)id,
               (long)reinterpret_cast<intptr_t>(instance)};
  return reinterpret_cast<HWND>(next_handle++);
}

HFONT platform_create_font(int height, int width, int escapement, int orientation, int weight,
                           DWORD italic, DWORD underline, DWORD strike_out, DWORD charset,
                           DWORD out_precision, DWORD clip_precision, DWORD quality,
                           DWORD pitch_and_family, const char* face) {
  platform_call& c = record("create_font");
  c.caption = face;
  c.numbers = {height,          width,          escapement,         orientation,
               weight,          (long)italic,   (long)underline,    (long)strike_out,
               (long)charset,   (long)out_precision, (long)clip_precision, (long)quality,
               (long)pitch_and_family};
  return reinterpret_cast<HFONT>(next_handle++);
}

intptr_t platform_send_message(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  platform_call& c = record("send_message");
  c.hwnd = reinterpret_cast<intptr_t>(hwnd);
  c.message = message;
  c.wparam = wparam;
  c.lparam = lparam;
  return 0;
}

HWND platform_owner_window(HWND hwnd) {
  platform_call& c = record("owner_window");
  c.hwnd = reinterpret_cast<intptr_t>(hwnd);
  // The stand-in owner of window h is h + 1.
  return reinterpret_cast<HWND>(reinterpret_cast<intptr_t>(hwnd) + 1);
}

void platform_delete_font(HFONT font) {
  platform_call& c = record("delete_font");
  c.hwnd = reinterpret_cast<intptr_t>(font);
}

void* platform_aligned_alloc(size_t bytes) {
  void* p = nullptr;
  if (bytes >= huge_page_bytes) {
    // Large blocks are streamed through by whole-frame passes, often down
    // columns of rows far apart: on 2 MiB pages one translation covers a
    // whole stretch of rows instead of one row each.
    if (posix_memalign(&p, huge_page_bytes, bytes) != 0) return nullptr;
    madvise(p, bytes / huge_page_bytes * huge_page_bytes, MADV_HUGEPAGE);
    return p;
  }
  if (posix_memalign(&p, 256, bytes ? bytes : 256) != 0) return nullptr;
  return p;
}

void platform_aligned_free(void* block) { std::free(block); }
