// The working buffers every stage reads and writes: the canvas dimensions, the
// ring of analysed frames and its bookkeeping, the output planes and each
// worker's scratch. All process-wide; the driver writes them only between
// stage calls, the stages read the layout and write their own share.
#pragma once

#include <cstddef>
#include <cstdint>

// The largest canvas: its columns and rows bound every line of every stage.
constexpr int max_canvas_w = 1984;
constexpr int max_canvas_h = 1152;

// Canvas class and window length the buffers are allocated for.
extern int32_t canvas_w;  // 832, 1472 or max_canvas_w
extern int32_t canvas_h;  // 512 or max_canvas_h
extern int32_t half_w;    // canvas_w / 2: width of the chroma canvas
extern int32_t ring_n;    // 2 * Frame + 1 slots (3 to 9)

// Source frame number held by each ring slot; ring_empty marks an empty slot.
constexpr int32_t ring_empty = -99;
constexpr int ring_slots_max = 9;
extern int32_t ring_frame[ring_slots_max];
void empty_ring();

// Window positions t = -R..R of the current frame whose frame the host did not
// deliver (index t + R). Set by the driver before the temporal stage.
extern uint8_t window_missing[ring_slots_max];

// Each worker's scratch: worker_scratch_stride floats from
// worker_scratch_base + worker * worker_scratch_stride (256-byte aligned, no
// cache line shared with another worker), for every worker below max_workers
// (frame/stage_share.h). Allocated with the blocks, as large as the caller
// of allocate_buffers asks: the stages share it, a worker runs one at a time.
extern float* worker_scratch_base;
extern size_t worker_scratch_stride;
inline float* stage_scratch(int worker) {
  return worker_scratch_base + (size_t)worker * worker_scratch_stride;
}

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

// (Re)allocates the blocks and the workers' scratch, scratch_floats per
// worker (rounded up to a multiple of 64), for the current canvas_w, canvas_h
// and ring_n, carves the sub-buffers and empties the ring. True only if every
// allocation succeeded.
bool allocate_buffers(size_t scratch_floats);
// Frees the blocks and the workers' scratch (those allocated) and empties
// their handles.
void free_buffers();

// The allocator every block goes through; replaceable so tests can make
// allocations fail. Both must handle 256-byte alignment.
typedef void* (*block_alloc_fn)(size_t bytes);
typedef void (*block_free_fn)(void* block);
void set_block_allocator(block_alloc_fn alloc, block_free_fn release);
void* default_block_alloc(size_t bytes);
void default_block_free(void* block);
