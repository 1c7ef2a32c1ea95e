// The walk of a ring store written once for the SSE2 and AVX2 files: where the
// lines reach a 64-byte boundary, four groups (sixteen rows) at a time go out
// as whole cache lines with streaming stores; the groups before the first
// boundary and after the last whole line use plain stores. (All lines share
// their alignment: line_stride is a multiple of 16 floats.)
//
// S offers store_group(src, g, dst, line_stride), the plain store of group g
// (rows 4g .. 4g + 3) into four floats of every line, and
// stream_groups(src, g, dst, line_stride), the streaming store of groups
// g .. g + 3. Include it inside an anonymous namespace, after S and, outside
// it, <cstdint>.
#pragma once

template <class S>
void ring_store_groups(const float* src, int rows, float* dst, ptrdiff_t line_stride) {
  const int groups = rows / 4;
  int g = 0;
  for (; g < groups && reinterpret_cast<uintptr_t>(dst + 4 * g) % 64 != 0; ++g)
    S::store_group(src, g, dst, line_stride);
  for (; g + 4 <= groups; g += 4) S::stream_groups(src, g, dst, line_stride);
  for (; g < groups; ++g) S::store_group(src, g, dst, line_stride);
}
