// The maximum-image-size messages under a real window system. A helper thread
// watches for the process's modal message boxes, reads each one's caption,
// text (as Unicode) and buttons, and closes it with OK, so that func_proc can
// return; the frames must come out cleared.
#include <windows.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "plugin_host.h"

namespace {

struct seen_box {
  std::wstring caption;
  std::wstring text;
  std::vector<int> buttons;  // control ids of its buttons
};

std::mutex boxes_mutex;
std::vector<seen_box> boxes;
std::atomic<bool> watching{false};

std::string utf8(const std::wstring& text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n : 1, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], n, nullptr, nullptr);
  out.resize(n > 0 ? n - 1 : 0);
  return out;
}

std::wstring window_text(HWND hwnd) {
  wchar_t text[1024] = L"";
  GetWindowTextW(hwnd, text, 1024);
  return text;
}

BOOL CALLBACK read_child(HWND child, LPARAM param) {
  seen_box* box = reinterpret_cast<seen_box*>(param);
  wchar_t class_name[32] = L"";
  GetClassNameW(child, class_name, 32);
  if (lstrcmpiW(class_name, L"Button") == 0 && IsWindowVisible(child))
    box->buttons.push_back(GetDlgCtrlID(child));
  if (lstrcmpiW(class_name, L"Static") == 0) {
    const std::wstring text = window_text(child);
    if (text.size() > box->text.size()) box->text = text;
  }
  return TRUE;
}

BOOL CALLBACK find_box(HWND hwnd, LPARAM param) {
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  wchar_t class_name[32] = L"";
  GetClassNameW(hwnd, class_name, 32);
  if (pid == GetCurrentProcessId() && std::wcscmp(class_name, L"#32770") == 0 &&
      IsWindowVisible(hwnd)) {
    *reinterpret_cast<HWND*>(param) = hwnd;
    return FALSE;
  }
  return TRUE;
}

void box_closer_job() {
  while (watching) {
    HWND box_window = nullptr;
    EnumWindows(find_box, reinterpret_cast<LPARAM>(&box_window));
    if (!box_window) {
      Sleep(10);
      continue;
    }
    seen_box box;
    box.caption = window_text(box_window);
    EnumChildWindows(box_window, read_child, reinterpret_cast<LPARAM>(&box));
    {
      std::lock_guard<std::mutex> lock(boxes_mutex);
      boxes.push_back(box);
    }
    PostMessageW(box_window, WM_COMMAND, IDOK, 0);
    for (int i = 0; i < 500 && IsWindow(box_window); ++i) Sleep(10);
  }
}

std::wstring height_text(int h16) {
  return L"「システムの設定」の「最大画像サイズ」の「高さ」を " + std::to_wstring(h16) +
         L" 以上に設定し、AviUtlを再起動してください";
}

std::wstring width_text(int w16) {
  return L"「システムの設定」の「最大画像サイズ」の「幅」を " + std::to_wstring(w16) +
         L" 以上に設定し、AviUtlを再起動してください";
}

// Renders one frame of a w x h picture with the editor's maximum size
// max_w x max_h; checks the boxes shown, in order, and the frame.
void check_case(const char* what, int w, int h, int max_w, int max_h,
                const std::vector<std::wstring>& expected, bool cleared) {
  yc_clip clip;
  generate_clip(7, w, h, 1, clip);
  editor_use_clip(clip, max_w, max_h);
  {
    std::lock_guard<std::mutex> lock(boxes_mutex);
    boxes.clear();
  }
  editor_clear_counters();
  if (!editor_render(0, nullptr)) {
    check_failed("%s: the frame did not render", what);
    return;
  }
  std::vector<seen_box> shown;
  {
    std::lock_guard<std::mutex> lock(boxes_mutex);
    shown = boxes;
  }
  for (const seen_box& b : shown)
    std::printf("%s: box '%s': %s\n", what, utf8(b.caption).c_str(), utf8(b.text).c_str());
  if (shown.size() != expected.size()) {
    check_failed("%s: %zu message boxes (want %zu)", what, shown.size(), expected.size());
    return;
  }
  for (size_t i = 0; i < shown.size(); ++i) {
    if (shown[i].caption != L"Nivora")
      check_failed("%s: box %zu has the caption '%s'", what, i, utf8(shown[i].caption).c_str());
    if (shown[i].text != expected[i])
      check_failed("%s: box %zu says '%s', want '%s'", what, i, utf8(shown[i].text).c_str(),
                   utf8(expected[i]).c_str());
    if (shown[i].buttons != std::vector<int>{IDOK})
      check_failed("%s: box %zu does not have a single OK button", what, i);
  }
  if (cleared) {
    if (!editor_result_cleared(h)) check_failed("%s: the frame is not cleared", what);
    if (counters.fetches) check_failed("%s: %d frames fetched", what, counters.fetches);
  } else if (editor_result_cleared(h)) {
    check_failed("%s: the frame was cleared, not filtered", what);
  }
}

}  // namespace

int command_size_messages(const char* dll) {
  if (GetACP() != 932)
    check_failed("the ANSI code page is %u, not 932 (run with LC_ALL=ja_JP.UTF-8)", GetACP());
  loaded_filter filter;
  if (!load_filter(dll, filter)) return 2;
  editor_attach(filter, 2);
  FILTER* fp = editor_filter();
  fp->func_init(fp);
  fp->func_update(fp, FILTER_UPDATE_STATUS_ALL);
  watching = true;
  std::thread closer(box_closer_job);

  check_case("both too large", 60, 40, 60, 44, {height_text(48), width_text(64)}, true);
  check_case("1080 rows, maximum 1080", 1920, 1080, 1920, 1080, {height_text(1088)}, true);
  check_case("width only", 100, 48, 104, 48, {width_text(112)}, true);
  check_case("wider than 1920", 1928, 1080, 1936, 1088, {}, true);
  check_case("fits", 64, 48, 72, 56, {}, false);
  // The messages repeat on every frame while the condition holds.
  check_case("both too large, again", 60, 40, 60, 44, {height_text(48), width_text(64)}, true);

  watching = false;
  closer.join();
  fp->func_exit(fp);
  editor_detach();
  unload_filter(filter);
  if (failed_checks() == 0) std::printf("ok: size messages\n");
  return failed_checks() ? 1 : 0;
}
