// The frame driver's shared state: canvas dimensions, the ring bookkeeping, the
// working buffers every stage reads and writes, and the parameter records the
// driver hands to the stages. All process-wide; written only between stage calls.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/host_api.h"

// The largest canvas: its columns and rows bound every line of every stage.
constexpr int max_canvas_w = 1984;
constexpr int max_canvas_h = 1152;

// Canvas class and window length the buffers are allocated for.
extern int32_t canvas_w;  // 832, 1472 or max_canvas_w
extern int32_t canvas_h;  // 512 or max_canvas_h
extern int32_t half_w;    // canvas_w / 2: width of the chroma canvas
extern int32_t ring_n;    // 2 * Frame + 1 slots (3 to 9)

// Rounded frame size and radius the buffers were last allocated for.
extern int32_t prev_w;
extern int32_t prev_h;
extern int32_t prev_radius;

// Source frame number held by each ring slot; ring_empty marks an empty slot.
constexpr int32_t ring_empty = -99;
constexpr int ring_slots_max = 9;
extern int32_t ring_frame[ring_slots_max];
extern uint8_t buffers_ok;
// 1 from func_init to func_exit: only then are frames processed (a frame after
// func_exit comes out cleared and allocates nothing).
extern uint8_t filter_loaded;

// Window positions t = -R..R of the current frame whose frame the host did not
// deliver (index t + R). Set by the driver before the temporal stage.
extern uint8_t window_missing[ring_slots_max];

// The float stages (analysis, temporal fit, output) cut their work into
// items of equal cost (column blocks, row groups, line pairs, chroma lines,
// blocks of output rows) and share them among the editor's workers: of
// thread_num workers the first stage_workers(...) take contiguous runs of
// items whose lengths differ by at most one, the others return at once. A
// worker gets at least min_items items, so a small frame wakes fewer workers;
// no more than max_workers take part, each with its own scratch.
constexpr int max_workers = 64;
inline int stage_workers(int count, int min_items, int thread_num) {
  int t = thread_num < 1 ? 1 : (thread_num > max_workers ? max_workers : thread_num);
  const int most = min_items > 1 ? count / min_items : count;
  if (t > most) t = most < 1 ? 1 : most;
  return t;
}
// Items [*first, *end) of count for worker thread_id; false (and an empty
// range) when the worker has none.
inline bool stage_share(int count, int min_items, int thread_id, int thread_num, int* first,
                        int* end) {
  const int t = stage_workers(count, min_items, thread_num);
  *first = *end = 0;
  if (count <= 0 || thread_id < 0 || thread_id >= t) return false;
  *first = (int)((long long)count * thread_id / t);
  *end = (int)((long long)count * (thread_id + 1) / t);
  return *first < *end;
}

// Each worker's scratch: worker_scratch_stride floats from
// worker_scratch_base + worker * worker_scratch_stride (256-byte aligned, no
// cache line shared with another worker), for every worker below max_workers.
// Allocated with the blocks for the canvas: room for whichever of the
// analysis and the temporal stage needs more, as a worker runs one at a time.
extern float* worker_scratch_base;
extern size_t worker_scratch_stride;
inline float* stage_scratch(int worker) {
  return worker_scratch_base + (size_t)worker * worker_scratch_stride;
}
// Floats per worker for a canvas (a multiple of 64).
size_t worker_scratch_floats_for(int32_t canvas_w, int32_t canvas_h);

// Ring layout. Line l of slot s in a ring of K slots and lines of N floats
// is the N floats from (l * K + s) * N: the K slots' copies of a line follow
// each other, so the analysis of a frame writes whole lines of its own (and
// no cache line it shares with another slot), and the temporal fit reads the
// window's copies of a line as K streams N floats apart.
extern float* luma_ring_a;
extern float* luma_ring_b;
extern float* luma_canvas;
extern float* cb_ring_a;
extern float* cb_ring_b;
extern int16_t* cb_out;
extern float* cr_ring_a;
extern float* cr_ring_b;
extern int16_t* cr_out;

// The blocks, in allocation order: the luma rings and the canvas, the Cb
// rings, cb_out, the Cr rings, cr_out. Their byte sizes for a canvas and
// window length.
constexpr int buffer_block_count = 5;
void buffer_block_sizes(int32_t canvas_w, int32_t canvas_h, int32_t ring_n,
                        size_t sizes[buffer_block_count]);

// (Re)allocates the blocks and the workers' scratch for the current
// canvas_w, canvas_h and ring_n, carves the sub-buffers and empties the ring.
// True only if every allocation succeeded.
bool allocate_buffers();
// Frees the blocks and the workers' scratch (those allocated) and empties
// their handles.
void free_buffers();
void empty_ring();

// The allocator every block goes through; replaceable so tests can make
// allocations fail. Both must handle 256-byte alignment.
typedef void* (*block_alloc_fn)(size_t bytes);
typedef void (*block_free_fn)(void* block);
void set_block_allocator(block_alloc_fn alloc, block_free_fn release);
void* default_block_alloc(size_t bytes);
void default_block_free(void* block);

// Parameter records of the stages.
struct prefilter_params {
  const PIXEL_YC* src;   // frame to filter
  const PIXEL_YC* prev;  // previous source frame (mosquito pass)
  const PIXEL_YC* next;  // next source frame (mosquito pass)
  int32_t field_step;    // 2 with per-field processing, else 1
  int32_t strength_a;    // block NR difference limit: BlockNR * 8
  int32_t strength_b;    // block NR sum limit: BlockNR * 16
  int32_t strength_c;    // mosquito NR limit
  uint8_t anime;         // copy of anime_mode
};

struct analysis_params {
  const PIXEL_YC* src;  // frame to analyse
  int32_t slot;         // ring slot receiving its bands
  uint8_t field_mode;   // copy of field_mode
};

extern prefilter_params current_prefilter;
extern analysis_params current_analysis;
extern uint8_t output_field_mode;
