// What the callbacks of the second plug-in share.
#pragma once

#include <cstdint>

// The processor check's answer (host/cpu.h's levels): frames are filtered at 2.
extern int32_t strong_cpu_level;
// Caps the kernel level chosen at initialisation (-1: no cap); tests set it.
extern int strong_forced_level;
// Caps the processor check's answer (-1: no cap): tests stand in for a
// processor without SSE2 or SSE3 with it.
extern int strong_forced_cpu_level;
// Messages shown since initialisation, one bit each: a failure is told once.
extern uint8_t strong_messages_shown;
enum { strong_shown_cpu = 1, strong_shown_size = 2, strong_shown_memory = 4 };
