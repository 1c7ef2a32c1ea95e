// Processor identification shared by both platforms: the identification-flag
// flip that shows CPUID exists, CPUID itself, and whether AVX2 is usable.
#include <cpuid.h>

#include "platform/platform.h"

bool platform_cpuid_available() {
  // Flip the identification flag (bit 21) and see whether it sticks.
#if defined(__x86_64__)
  unsigned long before, after;
  asm volatile(
      "pushfq\n\t"
      "popq %0\n\t"
      "movq %0, %1\n\t"
      "xorq $0x200000, %1\n\t"
      "pushq %1\n\t"
      "popfq\n\t"
      "pushfq\n\t"
      "popq %1\n\t"
      "pushq %0\n\t"
      "popfq\n\t"
      : "=&r"(before), "=&r"(after)
      :
      : "cc");
  return ((before ^ after) & 0x200000) != 0;
#elif defined(__i386__)
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
  return false;
#endif
}

void platform_cpuid(unsigned leaf, unsigned regs[4]) {
  regs[0] = regs[1] = regs[2] = regs[3] = 0;
  __cpuid_count(leaf, 0, regs[0], regs[1], regs[2], regs[3]);
}

bool platform_avx2_usable() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}
