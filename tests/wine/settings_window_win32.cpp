// The settings window under a real window system: an owner window stands for
// the editor's main window, an owned pop-up for the filter's settings window,
// whose procedure hands every message to func_WndProc as the editor does.
// Checked: the "Cache Reset" button and its font after the init notification,
// keys and the wheel reaching the owner unchanged, clicks while the filter is
// active and inactive (counted through the editor's frame fetches), and the
// font's deletion on the exit notification.
#include <windows.h>

#include <cstring>

#include "plugin_host.h"

namespace {

constexpr int button_id = 40001;

struct logged_message {
  UINT message;
  WPARAM wparam;
  LPARAM lparam;
  bool operator==(const logged_message& o) const {
    return message == o.message && wparam == o.wparam && lparam == o.lparam;
  }
};

HWND main_window = nullptr;
HWND settings_window = nullptr;
bool forward_to_filter = false;
std::vector<logged_message> owner_log;     // keys and wheel reaching the owner
std::vector<logged_message> settings_keys; // keys and wheel the settings window got
std::vector<logged_message> button_log;    // focus messages the button got
std::vector<BOOL> command_results;         // func_WndProc's results for WM_COMMAND
BOOL last_result = -1;
WNDPROC button_default_proc = nullptr;

std::string wide_to_utf8(const wchar_t* text) {
  char utf8[256] = "";
  WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
  return utf8;
}

bool is_input(UINT m) { return m == WM_KEYDOWN || m == WM_KEYUP || m == WM_MOUSEWHEEL; }

LRESULT CALLBACK main_proc(HWND hwnd, UINT m, WPARAM wp, LPARAM lp) {
  if (is_input(m)) {
    owner_log.push_back({m, wp, lp});
    return 0;
  }
  return DefWindowProcA(hwnd, m, wp, lp);
}

LRESULT CALLBACK settings_proc(HWND hwnd, UINT m, WPARAM wp, LPARAM lp) {
  if (forward_to_filter) {
    if (is_input(m)) settings_keys.push_back({m, wp, lp});
    FILTER* fp = editor_filter();
    last_result = fp->func_WndProc(hwnd, m, wp, lp, editor_edit_handle(), fp);
    if (m == WM_COMMAND) command_results.push_back(last_result);
    if (m >= WM_USER) return last_result;
  }
  return DefWindowProcA(hwnd, m, wp, lp);
}

LRESULT CALLBACK button_proc(HWND hwnd, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_KILLFOCUS) button_log.push_back({m, wp, lp});
  return CallWindowProcA(button_default_proc, hwnd, m, wp, lp);
}

void pump_messages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

bool create_windows() {
  WNDCLASSA wc;
  std::memset(&wc, 0, sizeof wc);
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpfnWndProc = main_proc;
  wc.lpszClassName = "nivora_test_main";
  RegisterClassA(&wc);
  wc.lpfnWndProc = settings_proc;
  wc.lpszClassName = "nivora_test_settings";
  RegisterClassA(&wc);
  main_window = CreateWindowExA(0, "nivora_test_main", "editor", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                0, 0, 400, 300, nullptr, nullptr, wc.hInstance, nullptr);
  if (!main_window) return false;
  return true;
}

bool open_settings_window() {
  settings_window =
      CreateWindowExA(0, "nivora_test_settings", "Nivora", WS_POPUP | WS_CAPTION | WS_VISIBLE,
                      420, 0, 340, 300, main_window, nullptr, GetModuleHandleA(nullptr), nullptr);
  if (!settings_window) return false;
  editor_filter()->hwnd = settings_window;
  pump_messages();
  return GetWindow(settings_window, GW_OWNER) == main_window;
}

// Sends the init notification and checks the button it creates; returns it.
HWND check_button_created(HINSTANCE module) {
  forward_to_filter = true;
  const LRESULT r = SendMessageA(settings_window, WM_FILTER_INIT, 0, 0);
  if (r != 0) check_failed("the init notification returned %ld", long(r));
  HWND button = GetDlgItem(settings_window, button_id);
  if (!button) {
    check_failed("no control with id %d in the settings window", button_id);
    return nullptr;
  }
  char class_name[64] = "";
  GetClassNameA(button, class_name, sizeof class_name);
  if (lstrcmpiA(class_name, "BUTTON") != 0) check_failed("the control is a '%s'", class_name);
  wchar_t text[64] = L"";
  GetWindowTextW(button, text, 64);
  if (std::wcscmp(text, L"Cache Reset") != 0)
    check_failed("the button says '%s'", wide_to_utf8(text).c_str());
  const LONG style = GetWindowLongA(button, GWL_STYLE);
  if (style != 0x50000000) check_failed("button style 0x%08lx", (unsigned long)style);
  const LONG ex_style = GetWindowLongA(button, GWL_EXSTYLE);
  if (ex_style != 0) check_failed("button extended style 0x%08lx", (unsigned long)ex_style);
  if (GetParent(button) != settings_window) check_failed("the button's parent is another window");
  if (!IsWindowVisible(button)) check_failed("the button is not visible");
  RECT rect;
  GetWindowRect(button, &rect);
  MapWindowPoints(HWND_DESKTOP, settings_window, reinterpret_cast<POINT*>(&rect), 2);
  if (rect.left != 230 || rect.top != 232 || rect.right - rect.left != 80 ||
      rect.bottom - rect.top != 18)
    check_failed("button at %ld,%ld size %ldx%ld", rect.left, rect.top, rect.right - rect.left,
                 rect.bottom - rect.top);
  const HINSTANCE owner_module =
      reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(button, GWLP_HINSTANCE));
  if (owner_module != module) check_failed("the button belongs to another module");

  HFONT font = reinterpret_cast<HFONT>(SendMessageA(button, WM_GETFONT, 0, 0));
  LOGFONTW lf;
  if (!font || GetObjectW(font, sizeof lf, &lf) != sizeof lf) {
    check_failed("the button has no font");
    return button;
  }
  if (lf.lfHeight != 12 || lf.lfWidth != 0 || lf.lfEscapement != 0 || lf.lfOrientation != 0 ||
      lf.lfWeight != 500 || lf.lfItalic || lf.lfUnderline || lf.lfStrikeOut ||
      lf.lfCharSet != 128 || lf.lfOutPrecision != 0 || lf.lfClipPrecision != 0 ||
      lf.lfQuality != 2 || lf.lfPitchAndFamily != 0x30)
    check_failed("font height %ld width %ld weight %ld italic %d underline %d strike %d charset "
                 "%d precision %d/%d quality %d pitch and family 0x%02x",
                 lf.lfHeight, lf.lfWidth, lf.lfWeight, lf.lfItalic, lf.lfUnderline,
                 lf.lfStrikeOut, lf.lfCharSet, lf.lfOutPrecision, lf.lfClipPrecision,
                 lf.lfQuality, lf.lfPitchAndFamily);
  if (std::wcscmp(lf.lfFaceName, L"ＭＳ Ｐゴシック") != 0) {
    check_failed("font face read back as '%s'", wide_to_utf8(lf.lfFaceName).c_str());
  }
  LOGFONTA lfa;
  const char sjis_face[] = "\x82l\x82r \x82o\x83S\x83V\x83" "b\x83N";
  if (GetObjectA(font, sizeof lfa, &lfa) != sizeof lfa ||
      std::strcmp(lfa.lfFaceName, sjis_face) != 0)
    check_failed("font face in the ANSI code page is not the Shift_JIS name");

  button_default_proc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(button, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(button_proc)));
  return button;
}

void check_font_deleted_on_exit(HWND button) {
  HFONT font = reinterpret_cast<HFONT>(SendMessageA(button, WM_GETFONT, 0, 0));
  const LRESULT r = SendMessageA(settings_window, WM_FILTER_EXIT, 0, 0);
  if (r != 0) check_failed("the exit notification returned %ld", long(r));
  if (GetObjectType(font) != 0) check_failed("the button's font still exists after exit");
}

void check_input_forwarded() {
  const logged_message sent[] = {
      {WM_KEYDOWN, 'A', 0x001E0001},
      {WM_KEYUP, 'A', LPARAM(0xC01E0001u)},
      {WM_MOUSEWHEEL, WPARAM(0xFF880008u), MAKELPARAM(120, 80)},
  };
  for (const logged_message& m : sent) {
    owner_log.clear();
    last_result = -1;
    SendMessageA(settings_window, m.message, m.wparam, m.lparam);
    if (last_result != 0) check_failed("func_WndProc returned %d for message 0x%x", last_result,
                                       m.message);
    if (owner_log.size() != 1 || !(owner_log[0] == m))
      check_failed("message 0x%x did not reach the owner window unchanged", m.message);
  }
  // A key typed on the keyboard while the settings window has the focus.
  owner_log.clear();
  settings_keys.clear();
  SetForegroundWindow(settings_window);
  SetFocus(settings_window);
  pump_messages();
  keybd_event('K', 0x25, 0, 0);
  keybd_event('K', 0x25, KEYEVENTF_KEYUP, 0);
  for (int i = 0; i < 500 && owner_log.size() < 2; ++i) {
    pump_messages();
    Sleep(10);
  }
  if (settings_keys.size() != 2 || owner_log != settings_keys)
    check_failed("a typed key: the settings window got %zu messages, the owner %zu "
                 "(not the same)", settings_keys.size(), owner_log.size());
  else if (owner_log[0].message != WM_KEYDOWN || owner_log[0].wparam != 'K' ||
           owner_log[1].message != WM_KEYUP)
    check_failed("the typed key arrived as 0x%x/%u", owner_log[0].message,
                 unsigned(owner_log[0].wparam));
}

// One command to the settings window; checks the result and the editor
// services the filter used while handling it.
void check_command(const char* what, bool by_click, HWND button, WPARAM wparam, BOOL expected,
                   int queries, int updates, bool kill_focus) {
  editor_clear_counters();
  command_results.clear();
  button_log.clear();
  if (by_click)
    SendMessageA(button, BM_CLICK, 0, 0);
  else
    SendMessageA(settings_window, WM_COMMAND, wparam, 0);
  pump_messages();
  if (command_results.size() != 1 || command_results[0] != expected)
    check_failed("%s: %zu commands, result %d (want %d)", what, command_results.size(),
                 command_results.empty() ? -1 : command_results[0], expected);
  if (counters.active_queries != queries || counters.window_updates != updates)
    check_failed("%s: %d active queries and %d window updates (want %d and %d)", what,
                 counters.active_queries, counters.window_updates, queries, updates);
  const logged_message kill = {WM_KILLFOCUS, 0, 0};
  int kills = 0;
  for (const logged_message& m : button_log) kills += m == kill;
  if (kills != (kill_focus ? 1 : 0))
    check_failed("%s: the button was told %d times that it lost the focus", what, kills);
  if (counters.fetches) check_failed("%s: the command fetched frames", what);
}

// Renders frame n; checks the number of frames fetched and the output.
void check_next_frame(const char* what, int n, int expected_fetches, const yc_clip& reference) {
  editor_clear_counters();
  std::vector<PIXEL_YC> out;
  if (!editor_render(n, &out)) {
    check_failed("%s: frame %d did not render", what, n);
    return;
  }
  if (counters.fetches != expected_fetches)
    check_failed("%s: frame %d fetched %d frames (want %d)", what, n, counters.fetches,
                 expected_fetches);
  if (std::memcmp(out.data(), reference.frames[n].data(), out.size() * sizeof(PIXEL_YC)) != 0)
    check_failed("%s: frame %d differs from the same frame rendered straight through", what, n);
}

}  // namespace

int command_settings_window(const char* dll, const char* clip_path) {
  if (GetACP() != 932)
    check_failed("the ANSI code page is %u, not 932 (run with LC_ALL=ja_JP.UTF-8)", GetACP());
  yc_clip clip;
  if (!read_clip(clip_path, clip)) return 2;
  if (clip.frames.size() < 10) {
    std::printf("the clip needs at least 10 frames\n");
    return 2;
  }
  loaded_filter filter;
  if (!load_filter(dll, filter)) return 2;
  editor_attach(filter, 2);
  editor_use_clip(clip, 0, 0);
  FILTER* fp = editor_filter();
  fp->func_init(fp);
  fp->func_update(fp, FILTER_UPDATE_STATUS_ALL);

  // Frames rendered straight through, the reference for frames after clicks.
  yc_clip reference;
  if (!editor_play("0-9", reference)) check_failed("the clip did not render");
  fp->func_update(fp, FILTER_UPDATE_STATUS_ALL);

  if (!create_windows() || !open_settings_window()) {
    check_failed("cannot create the editor's windows (is there a display?)");
    return 1;
  }
  HWND button = check_button_created(filter.instance);
  check_input_forwarded();

  // Radius 2: stepping forward fetches only the frame entering the window.
  yc_clip played;
  if (!editor_play("0-3", played)) check_failed("frames 0 to 3 did not render");
  check_next_frame("stepping forward", 4, 1, reference);
  editor_active = 1;
  check_command("click while active", true, button, 0, 1, 2, 1, true);
  check_next_frame("after a click while active", 5, 5, reference);
  editor_active = 0;
  check_command("click while inactive", true, button, 0, 0, 2, 1, true);
  editor_active = 1;
  check_next_frame("after a click while inactive", 6, 1, reference);
  check_command("another control's command", false, button, MAKEWPARAM(40002, BN_CLICKED), 0, 0,
                0, false);
  check_command("a button of the editor", false, button, MAKEWPARAM(MID_FILTER_BUTTON, 0), 0, 0, 0,
                false);
  check_next_frame("after other commands", 7, 1, reference);
  check_command("the button's id from an accelerator", false, button, MAKEWPARAM(button_id, 1), 1,
                2, 1, true);
  check_next_frame("after the accelerator", 8, 5, reference);
  check_font_deleted_on_exit(button);

  // The editor opens the settings window again: a new button and font.
  forward_to_filter = false;
  DestroyWindow(settings_window);
  if (!open_settings_window()) check_failed("cannot reopen the settings window");
  button = check_button_created(filter.instance);
  check_command("click in the reopened window", true, button, 0, 1, 2, 1, true);
  check_next_frame("after that click", 9, 5, reference);
  check_font_deleted_on_exit(button);

  forward_to_filter = false;
  DestroyWindow(settings_window);
  DestroyWindow(main_window);
  fp->func_exit(fp);
  editor_detach();
  unload_filter(filter);
  if (failed_checks() == 0) std::printf("ok: settings window, button, font, keys and clicks\n");
  return failed_checks() ? 1 : 0;
}
