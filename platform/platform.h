// The few Windows services the filter calls (message box, the settings-window
// button and its font, the processor probe, aligned blocks), behind one small
// layer. On Windows they are the real calls; on Linux they are stand-ins that
// record every call (so tests can read them back) and print message boxes on
// standard error in UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/host_api.h"

#ifndef _WIN32
constexpr UINT WM_SETFONT = 0x0030;
constexpr UINT WM_KILLFOCUS = 0x0008;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_MOUSEWHEEL = 0x020A;
#endif

// Modal message box with a single OK button, owned by the desktop window.
void platform_message_box(const char* text, const char* caption);

HWND platform_create_window(DWORD ex_style, const char* class_name, const char* text,
                            DWORD style, int x, int y, int width, int height, HWND parent,
                            intptr_t id, HINSTANCE instance);
HFONT platform_create_font(int height, int width, int escapement, int orientation, int weight,
                           DWORD italic, DWORD underline, DWORD strike_out, DWORD charset,
                           DWORD out_precision, DWORD clip_precision, DWORD quality,
                           DWORD pitch_and_family, const char* face);
intptr_t platform_send_message(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
HWND platform_owner_window(HWND hwnd);
void platform_delete_font(HFONT font);

// Blocks aligned to 256 bytes; null when the memory is not available.
void* platform_aligned_alloc(size_t bytes);
void platform_aligned_free(void* block);

// Processor probe. Whether the identification flag (bit 21 of the flags
// register) can be flipped, i.e. whether CPUID exists.
bool platform_cpuid_available();
// CPUID of a leaf (sub-leaf 0): eax, ebx, ecx, edx.
void platform_cpuid(unsigned leaf, unsigned regs[4]);
// Runs one SSE instruction under an exception guard: false if it faulted.
bool platform_sse_probe();
// AVX2 usable (processor and operating system).
bool platform_avx2_usable();

// Text converted from the Japanese code page (Shift_JIS) to UTF-8.
std::string platform_sjis_to_utf8(const char* text);

#ifndef _WIN32
// What the Linux stand-ins were asked to do, in order.
struct platform_call {
  std::string what;  // "message_box", "create_window", "create_font", "send_message",
                     // "owner_window", "delete_font"
  std::string text;  // message text or window text (raw bytes)
  std::string caption;  // caption, window class or font face (raw bytes)
  intptr_t hwnd;     // target window (send_message), parent (create_window)
  UINT message;
  WPARAM wparam;
  LPARAM lparam;
  std::vector<long> numbers;  // the numeric arguments in call order
};
std::vector<platform_call>& platform_call_log();
// Message boxes also go to standard error unless silenced (tests).
void platform_set_quiet(bool quiet);
#endif
