// Process measurements on Windows: committed private memory (walked with
// VirtualQuery, which also sees blocks never touched), the bytes in use in
// every heap of the process (walked block by block), threads and handles.
#include <windows.h>
#include <tlhelp32.h>

#include "plugin_host.h"

process_stats measure_process() {
  process_stats s;
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  const char* address = static_cast<const char*>(info.lpMinimumApplicationAddress);
  const char* end = static_cast<const char*>(info.lpMaximumApplicationAddress);
  MEMORY_BASIC_INFORMATION region;
  while (address < end && VirtualQuery(address, &region, sizeof region) == sizeof region) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) s.memory += region.RegionSize;
    address = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
  }
  HANDLE heaps[64];
  const DWORD heap_count = GetProcessHeaps(64, heaps);
  for (DWORD i = 0; i < heap_count && i < 64; ++i) {
    if (!HeapLock(heaps[i])) continue;
    PROCESS_HEAP_ENTRY entry;
    entry.lpData = nullptr;
    while (HeapWalk(heaps[i], &entry))
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) s.heap += entry.cbData;
    HeapUnlock(heaps[i]);
  }
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot != INVALID_HANDLE_VALUE) {
    THREADENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
      if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++s.threads;
    CloseHandle(snapshot);
  }
  DWORD handles = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &handles)) s.handles = int(handles);
  return s;
}
