// The settings window's button, its font, and messages passed to the editor.
#include <gtest/gtest.h>

#include "frame/buffers.h"
#include "host/host_api.h"
#include "platform/platform.h"
#include "test_host.h"

extern HWND reset_button;
extern HFONT button_font;

namespace {
class SettingsWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    test_host_setup(64, 64, 10, 64, 64);
    fp = &the_test_host().filter;
    fp->dll_hinst = reinterpret_cast<HINSTANCE>(0x400000);
    platform_call_log().clear();
  }
  BOOL send(UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
    return func_WndProc(window, message, wparam, lparam, nullptr, fp);
  }
  FILTER* fp = nullptr;
  HWND window = reinterpret_cast<HWND>(0x7000);
};
}  // namespace

TEST_F(SettingsWindow, InitCreatesTheButtonWithItsFont) {
  EXPECT_EQ(send(WM_FILTER_INIT), 0);
  auto& log = platform_call_log();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].what, "create_window");
  EXPECT_EQ(log[0].caption, "BUTTON");
  EXPECT_EQ(log[0].text, "Cache Reset");
  EXPECT_EQ(log[0].hwnd, 0x7000);
  // ex style, style, x, y, width, height, id, instance
  EXPECT_EQ(log[0].numbers, (std::vector<long>{0, 0x50000000, 230, 232, 80, 18, 40001, 0x400000}));
  EXPECT_EQ(log[1].what, "create_font");
  EXPECT_EQ(platform_sjis_to_utf8(log[1].caption.c_str()), "ＭＳ Ｐゴシック");
  EXPECT_EQ(log[1].numbers, (std::vector<long>{12, 0, 0, 0, 500, 0, 0, 0, 128, 0, 0, 2, 0x30}));
  EXPECT_EQ(log[2].what, "send_message");
  EXPECT_EQ(log[2].hwnd, reinterpret_cast<intptr_t>(reset_button));
  EXPECT_EQ(log[2].message, WM_SETFONT);
  EXPECT_EQ(log[2].wparam, reinterpret_cast<WPARAM>(button_font));
  EXPECT_EQ(log[2].lparam, 0);

  const intptr_t font = reinterpret_cast<intptr_t>(button_font);
  EXPECT_EQ(send(WM_FILTER_EXIT), 0);
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[3].what, "delete_font");
  EXPECT_EQ(log[3].hwnd, font);
}

TEST_F(SettingsWindow, KeysAndWheelReachTheOwnerWindowUnchanged) {
  for (UINT m : {WM_KEYDOWN, WM_KEYUP, WM_MOUSEWHEEL}) {
    platform_call_log().clear();
    EXPECT_EQ(send(m, 0x41, 0x1e0001), 0);
    auto& log = platform_call_log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].what, "owner_window");
    EXPECT_EQ(log[1].what, "send_message");
    EXPECT_EQ(log[1].hwnd, 0x7001);  // the stand-in owner of window h is h + 1
    EXPECT_EQ(log[1].message, m);
    EXPECT_EQ(log[1].wparam, 0x41u);
    EXPECT_EQ(log[1].lparam, 0x1e0001);
  }
}

TEST_F(SettingsWindow, ResetClickEmptiesTheRingOnlyWhileActive) {
  send(WM_FILTER_INIT);
  for (int i = 0; i < ring_slots_max; ++i) ring_frame[i] = 10 + i;

  the_test_host().active = 0;
  platform_call_log().clear();
  EXPECT_EQ(send(WM_COMMAND, 40001), 0);
  EXPECT_EQ(ring_frame[0], 10);
  EXPECT_EQ(the_test_host().window_updates, 1);
  ASSERT_FALSE(platform_call_log().empty());
  EXPECT_EQ(platform_call_log()[0].message, WM_KILLFOCUS);

  the_test_host().active = 1;
  EXPECT_EQ(send(WM_COMMAND, 40001 | (0 << 16)), 1);
  for (int i = 0; i < ring_slots_max; ++i) EXPECT_EQ(ring_frame[i], ring_empty);

  // Other commands and messages do nothing.
  for (int i = 0; i < ring_slots_max; ++i) ring_frame[i] = 10 + i;
  EXPECT_EQ(send(WM_COMMAND, 40002), 0);
  EXPECT_EQ(send(0x46F), 0);
  EXPECT_EQ(ring_frame[3], 13);
}
