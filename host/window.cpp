// The settings window's message handler: the "Cache Reset" button, its font,
// and keys and the mouse wheel passed on to the editor's main window.
#include "frame/buffers.h"
#include "host/host_api.h"
#include "host/texts.h"
#include "platform/platform.h"

HWND reset_button = nullptr;
HFONT button_font = nullptr;

namespace {
constexpr int reset_button_id = 40001;
constexpr DWORD child_visible = 0x50000000;  // WS_CHILD | WS_VISIBLE
}  // namespace

BOOL func_WndProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, void* /*editp*/,
                  FILTER* fp) {
  switch (message) {
    case WM_FILTER_INIT:
      reset_button = platform_create_window(0, "BUTTON", button_text, child_visible, 230, 232,
                                            80, 18, hwnd, reset_button_id, fp->dll_hinst);
      button_font = platform_create_font(12, 0, 0, 0, 500, 0, 0, 0, 128, 0, 0, 2, 0x30,
                                         button_font_face);
      platform_send_message(reset_button, WM_SETFONT, reinterpret_cast<WPARAM>(button_font), 0);
      return 0;
    case WM_FILTER_EXIT:
      platform_delete_font(button_font);
      button_font = nullptr;
      return 0;
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_MOUSEWHEEL:
      platform_send_message(platform_owner_window(hwnd), message, wparam, lparam);
      return 0;
    case WM_COMMAND:
      if ((wparam & 0xFFFF) != reset_button_id) return 0;
      platform_send_message(reset_button, WM_KILLFOCUS, 0, 0);
      if (fp->exfunc->is_filter_active(fp) == 1) empty_ring();
      fp->exfunc->filter_window_update(fp);
      return fp->exfunc->is_filter_active(fp);
    default:
      return 0;
  }
}
