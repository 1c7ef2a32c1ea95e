// Processor probe on 32-bit Windows: the identification-flag flip, CPUID, and
// one SSE instruction under a vectored exception handler that skips it if it
// faults (no process-wide filter of the host is touched).
#include <cpuid.h>
#include <windows.h>

#include "platform/platform.h"

bool platform_cpuid_available() {
#if defined(__i386__)
  unsigned before, after;
  asm volatile(
      "pushfl\n\t"
      "popl %0\n\t"
      "movl %0, %1\n\t"
      "xorl $0x200000, %1\n\t"
      "pushl %1\n\t"
      "popfl\n\t"
      "pushfl\n\t"
      "popl %1\n\t"
      "pushl %0\n\t"
      "popfl\n\t"
      : "=&r"(before), "=&r"(after)
      :
      : "cc");
  return ((before ^ after) & 0x200000) != 0;
#else
  return true;
#endif
}

void platform_cpuid(unsigned leaf, unsigned regs[4]) {
  regs[0] = regs[1] = regs[2] = regs[3] = 0;
  __cpuid_count(leaf, 0, regs[0], regs[1], regs[2], regs[3]);
}

#if defined(__i386__)
extern "C" char nivora_sse_probe_insn[];
namespace {
volatile LONG probe_faulted = 0;

LONG CALLBACK probe_handler(EXCEPTION_POINTERS* info) {
  if (info->ExceptionRecord->ExceptionAddress != static_cast<void*>(nivora_sse_probe_insn))
    return EXCEPTION_CONTINUE_SEARCH;
  probe_faulted = 1;
  info->ContextRecord->Eip += 3;  // xorps xmm0, xmm0 is three bytes
  return EXCEPTION_CONTINUE_EXECUTION;
}
}  // namespace

__attribute__((noinline)) bool platform_sse_probe() {
  probe_faulted = 0;
  void* handler = AddVectoredExceptionHandler(1, probe_handler);
  if (!handler) return false;
  asm volatile(
      ".globl _nivora_sse_probe_insn\n"
      "_nivora_sse_probe_insn:\n\t"
      "xorps %%xmm0, %%xmm0" ::: "xmm0", "memory");
  RemoveVectoredExceptionHandler(handler);
  return probe_faulted == 0;
}
#else
bool platform_sse_probe() { return true; }
#endif

bool platform_avx2_usable() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}
