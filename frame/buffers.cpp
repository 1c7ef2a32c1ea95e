// The working buffers: five blocks sized by the canvas class and window length,
// carved into sub-buffers, and the workers' scratch sized by the canvas class.
#include "frame/buffers.h"

#include "frame/stage_share.h"
#include "platform/platform.h"

// Until the first frame: the largest canvas, sized for the largest frame.
int32_t canvas_w = max_canvas_w;
int32_t canvas_h = max_canvas_h;
int32_t half_w = max_canvas_w / 2;
int32_t ring_n = 5;
int32_t ring_frame[ring_slots_max] = {ring_empty, ring_empty, ring_empty, ring_empty, ring_empty,
                                      ring_empty, ring_empty, ring_empty, ring_empty};
uint8_t window_missing[ring_slots_max] = {};

float* luma_ring_a;
float* luma_ring_b;
float* luma_canvas;
float* cb_ring_a;
float* cb_ring_b;
int16_t* cb_out;
float* cr_ring_a;
float* cr_ring_b;
int16_t* cr_out;

float* worker_scratch_base = nullptr;
size_t worker_scratch_stride = 0;

namespace {
void* blocks[buffer_block_count] = {};
void* scratch_block = nullptr;
block_alloc_fn alloc_block = default_block_alloc;
block_free_fn release_block = default_block_free;

void clear_sub_buffers() {
  luma_ring_a = luma_ring_b = luma_canvas = nullptr;
  cb_ring_a = cb_ring_b = cr_ring_a = cr_ring_b = nullptr;
  cb_out = cr_out = nullptr;
  worker_scratch_base = nullptr;
  worker_scratch_stride = 0;
}

// Carves the sub-buffers of block i out of its start address.
void carve(int i, char* base) {
  const size_t cw = (size_t)canvas_w, ch = (size_t)canvas_h, hw = (size_t)half_w;
  const size_t rn = (size_t)ring_n;
  float* f = reinterpret_cast<float*>(base);
  switch (i) {
    case 0:
      luma_ring_a = f;
      luma_ring_b = f + rn * ch * cw;
      luma_canvas = f + 2 * rn * ch * cw;
      break;
    case 1:
      cb_ring_a = f;
      cb_ring_b = f + rn * hw * ch;
      break;
    case 2:
      cb_out = reinterpret_cast<int16_t*>(base);
      break;
    case 3:
      cr_ring_a = f;
      cr_ring_b = f + rn * hw * ch;
      break;
    case 4:
      cr_out = reinterpret_cast<int16_t*>(base);
      break;
  }
}
}  // namespace

void* default_block_alloc(size_t bytes) { return platform_aligned_alloc(bytes); }
void default_block_free(void* block) { platform_aligned_free(block); }

void set_block_allocator(block_alloc_fn alloc, block_free_fn release) {
  alloc_block = alloc ? alloc : default_block_alloc;
  release_block = release ? release : default_block_free;
}

void buffer_block_sizes(int32_t cw, int32_t ch, int32_t rn, size_t sizes[buffer_block_count]) {
  const size_t w = (size_t)cw, h = (size_t)ch, hw = w / 2, n = (size_t)rn;
  sizes[0] = (2 * n + 1) * h * w * sizeof(float);
  sizes[1] = 2 * n * hw * h * sizeof(float);
  sizes[2] = 2 * hw * h;
  sizes[3] = sizes[1];
  sizes[4] = sizes[2];
}

void empty_ring() {
  for (int i = 0; i < ring_slots_max; ++i) ring_frame[i] = ring_empty;
}

bool allocate_buffers(size_t scratch_floats) {
  half_w = canvas_w / 2;
  size_t sizes[buffer_block_count];
  buffer_block_sizes(canvas_w, canvas_h, ring_n, sizes);
  clear_sub_buffers();
  bool ok = true;
  for (int i = 0; i < buffer_block_count; ++i) {
    // The old block goes first, so a reallocation never holds both at once.
    if (blocks[i]) release_block(blocks[i]);
    blocks[i] = alloc_block(sizes[i]);
    if (!blocks[i]) {
      ok = false;
      continue;
    }
    carve(i, static_cast<char*>(blocks[i]));
  }
  if (scratch_block) release_block(scratch_block);
  const size_t per_worker = (scratch_floats + 63) & ~(size_t)63;
  scratch_block = alloc_block(max_workers * per_worker * sizeof(float));
  if (scratch_block) {
    worker_scratch_base = static_cast<float*>(scratch_block);
    worker_scratch_stride = per_worker;
  } else {
    ok = false;
  }
  empty_ring();
  return ok;
}

void free_buffers() {
  for (int i = 0; i < buffer_block_count; ++i) {
    if (blocks[i]) release_block(blocks[i]);
    blocks[i] = nullptr;
  }
  if (scratch_block) release_block(scratch_block);
  scratch_block = nullptr;
  clear_sub_buffers();
}
