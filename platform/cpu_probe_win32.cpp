// The SSE probe on 32-bit Windows: one SSE instruction under a vectored
// exception handler that skips it if it faults (no process-wide filter of the
// host is touched).
#include <windows.h>

#include "platform/platform.h"

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
  // This file is compiled without SSE, so xmm0 cannot be named as clobbered;
  // the function is never inlined and xmm0 is a scratch register across calls.
  asm volatile(
      ".globl _nivora_sse_probe_insn\n"
      "_nivora_sse_probe_insn:\n\t"
      "xorps %%xmm0, %%xmm0" ::: "memory");
  RemoveVectoredExceptionHandler(handler);
  return probe_faulted == 0;
}
#else
bool platform_sse_probe() { return true; }
#endif
