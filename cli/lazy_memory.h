// Large host buffers that take memory only once written.
#pragma once

#include <cstddef>

// Large host buffers: anonymous mappings whose pages are zero and take no
// memory until first written, so a buffer a run never touches costs nothing.
// Null when bytes is 0 or the mapping fails.
void* lazy_alloc(size_t bytes);
void lazy_free(void* block, size_t bytes);
