// Kernel levels: the instruction sets a kernel version may use, ordered. Every
// folder with kernels fills its table from one of these levels, given as a
// value by the one place that detects the processor.
#pragma once

enum simd_level { simd_ref = 0, simd_sse2 = 1, simd_sse3 = 2, simd_avx2 = 3 };
