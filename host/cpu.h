// Processor capabilities and the choice of kernels.
#pragma once

#include <cstdint>

#include "platform/simd_level.h"

// 2: SSE2 and SSE3 usable; 1: SSE2 without SSE3; 0: neither (or the OS does not
// run SSE). The filter processes frames only at level 2.
extern int32_t cpu_level;
int32_t detect_cpu_level();
// The same decision from the probe's answers: whether CPUID exists, CPUID leaf 1
// (eax, ebx, ecx, edx), and the guarded SSE instruction (run only when needed).
int32_t cpu_level_from(bool cpuid_available, const unsigned leaf1[4], bool (*sse_probe)());

// Highest kernel level this processor runs (cpu_level, plus AVX2 where usable).
int detect_simd_level();
// Fills every folder's kernel table for a level (never above the processor's):
// each folder chooses its own kernels from the level (kernel_select.cpp).
void select_kernels(int level);
// The level the tables are filled for.
extern int kernel_level;
// Caps the level chosen at initialisation (-1: no cap). For tests and hosts.
void force_kernel_level(int level);
int forced_kernel_level();
// The level to fill kernel tables for once the processor passed the check:
// the processor's highest, capped by force_kernel_level. func_init fills the
// filter's tables for it; the command line's strong mode fills its own.
int usable_kernel_level();
