// The Windows services as the editor's process offers them (ANSI calls).
#include <malloc.h>
#include <windows.h>

#include "platform/platform.h"

void platform_message_box(const char* text, const char* caption) {
  MessageBoxA(GetDesktopWindow(), text, caption, MB_OK);
}

HWND platform_create_window(DWORD ex_style, const char* class_name, const char* text,
                            DWORD style, int x, int y, int width, int height, HWND parent,
                            intptr_t id, HINSTANCE instance) {
  return CreateWindowExA(ex_style, class_name, text, style, x, y, width, height, parent,
                         reinterpret_cast<HMENU>(id), instance, nullptr);
}

HFONT platform_create_font(int height, int width, int escapement, int orientation, int weight,
                           DWORD italic, DWORD underline, DWORD strike_out, DWORD charset,
                           DWORD out_precision, DWORD clip_precision, DWORD quality,
                           DWORD pitch_and_family, const char* face) {
  return CreateFontA(height, width, escapement, orientation, weight, italic, underline,
                     strike_out, charset, out_precision, clip_precision, quality,
                     pitch_and_family, face);
}

intptr_t platform_send_message(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  return SendMessageA(hwnd, message, wparam, lparam);
}

HWND platform_owner_window(HWND hwnd) { return GetWindow(hwnd, GW_OWNER); }

void platform_delete_font(HFONT font) { DeleteObject(font); }

void* platform_aligned_alloc(size_t bytes) { return _aligned_malloc(bytes ? bytes : 256, 256); }

void platform_aligned_free(void* block) { _aligned_free(block); }

std::string platform_sjis_to_utf8(const char* text) {
  int wn = MultiByteToWideChar(932, 0, text, -1, nullptr, 0);
  if (wn <= 0) return text;
  std::wstring wide(wn, L'\0');
  MultiByteToWideChar(932, 0, text, -1, &wide[0], wn);
  int un = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(un, '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &out[0], un, nullptr, nullptr);
  out.resize(un > 0 ? un - 1 : 0);
  return out;
}
