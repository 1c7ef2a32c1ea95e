// Loading the plug-in as the editor does: LoadLibraryA and its one export.
#include <windows.h>

#include "plugin_host.h"

namespace {
typedef FILTER_DLL*(__stdcall* get_filter_table_fn)(void);

std::string full_path(const char* path) {
  char buffer[MAX_PATH];
  const DWORD n = GetFullPathNameA(path, MAX_PATH, buffer, nullptr);
  return n > 0 && n < MAX_PATH ? std::string(buffer) : std::string(path);
}
}  // namespace

bool load_filter(const char* path, loaded_filter& out) {
  const std::string name = full_path(path);
  HMODULE module = LoadLibraryA(name.c_str());
  if (!module) {
    std::printf("LoadLibraryA(%s) failed: error %lu\n", name.c_str(), GetLastError());
    return false;
  }
  // Through void* : FARPROC's own signature says nothing about the export's.
  auto get_table = reinterpret_cast<get_filter_table_fn>(
      reinterpret_cast<void*>(GetProcAddress(module, "GetFilterTable")));
  if (!get_table) {
    std::printf("%s has no GetFilterTable export\n", name.c_str());
    FreeLibrary(module);
    return false;
  }
  out.table = get_table();
  out.instance = module;
  if (!out.table) {
    std::printf("GetFilterTable returned nothing\n");
    FreeLibrary(module);
    return false;
  }
  return true;
}

void unload_filter(loaded_filter& filter) {
  if (filter.instance) FreeLibrary(filter.instance);
  filter = loaded_filter();
}

bool filter_module_mapped(const char* path) {
  return GetModuleHandleA(full_path(path).c_str()) != nullptr;
}

bool force_filter_kernels(int /*level*/) { return false; }

bool force_filter_cpu_level(int /*level*/) { return false; }

std::string sjis_to_utf8(const char* text) {
  const int wn = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
  if (wn <= 0) return "<not Shift_JIS>";
  std::wstring wide(wn, L'\0');
  MultiByteToWideChar(932, 0, text, -1, &wide[0], wn);
  const int un = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string utf8(un, '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &utf8[0], un, nullptr, nullptr);
  utf8.resize(un > 0 ? un - 1 : 0);
  return utf8;
}
