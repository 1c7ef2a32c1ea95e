// The SSE probe on Linux: one SSE instruction under a SIGILL guard.
#include <setjmp.h>
#include <signal.h>

#include "platform/platform.h"

namespace {
sigjmp_buf probe_jump;
void on_sigill(int) { siglongjmp(probe_jump, 1); }
}  // namespace

bool platform_sse_probe() {
  struct sigaction guard = {}, saved = {};
  guard.sa_handler = on_sigill;
  sigemptyset(&guard.sa_mask);
  sigaction(SIGILL, &guard, &saved);
  bool ok = false;
  if (sigsetjmp(probe_jump, 1) == 0) {
    asm volatile("xorps %%xmm0, %%xmm0" ::: "xmm0");
    ok = true;
  }
  sigaction(SIGILL, &saved, nullptr);
  return ok;
}
