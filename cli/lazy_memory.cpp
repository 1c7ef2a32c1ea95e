// Large host buffers as anonymous mappings: the kernel hands out zero pages
// on first write, so only the parts a run actually uses become resident (a
// zero-filled std::vector would commit all of it at once).
#include <sys/mman.h>

#include "cli/lazy_memory.h"

void* lazy_alloc(size_t bytes) {
  if (bytes == 0) return nullptr;
  void* block = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (block == MAP_FAILED) return nullptr;
  madvise(block, bytes, MADV_HUGEPAGE);
  return block;
}

void lazy_free(void* block, size_t bytes) {
  if (block) munmap(block, bytes);
}
