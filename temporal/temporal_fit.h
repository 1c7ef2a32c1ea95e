// Per-coefficient temporal fit: every coefficient of the current frame is
// replaced by the value at t = 0 of the least-squares line fitted over time
// through the current frame and those window frames whose coefficient lies
// strictly within a threshold of the current one.
#pragma once

#include <cstdint>

// The window of the current frame as the ring holds it. Built once per stage
// call from the current frame number and the radius; read-only afterwards.
struct window_slots {
  int32_t n;           // ring length 2R + 1
  int32_t radius;      // R, 1 to 4
  int32_t frame;       // current frame number c
  int32_t slot[9];     // ring slot of frame c + t, at index t + R
  uint8_t missing[9];  // 1 where the host did not deliver frame c + t
};

// Fills the window for frame c, radius R and the ring length 2R + 1; frame
// c + t sits in slot (c + t) mod n (taken non-negative). missing may be null.
void build_window_slots(window_slots* ws, int32_t frame, int32_t radius, const uint8_t* missing);

// Writes the per-neighbour thresholds a fit reads into a vector cell: for each
// neighbour t = -R..-1, 1..R (in that order) four copies of thr, or four zeros
// where frame c + t is missing. No difference is below zero, so a missing
// frame never takes part. Uses 2R * 16 bytes (at most 128).
void store_fit_threshold(float* cell, float thr, const window_slots* ws);

// Filters count consecutive positions of a ring line (count a multiple of 4)
// and writes the results to dst[0 .. count - 1].
// at:   the first position's value in slot 0; its value in slot s lies
//       s * slot_stride floats further (the ring's line length), and only
//       the window's slots are read. 16-byte aligned.
// thr:  the cell filled by store_fit_threshold, 16-byte aligned.
// dst:  16-byte aligned, must not overlap the ring.
// The four variants differ only in the radius (windows of 3, 5, 7, 9 frames)
// and require ws->radius to match.
typedef void (*temporal_fit_fn)(int count, const float* thr, float* dst, const float* at,
                                int slot_stride, const window_slots* ws);

void temporal_fit_w3_ref(int count, const float* thr, float* dst, const float* at, int slot_stride,
                         const window_slots* ws);
void temporal_fit_w5_ref(int count, const float* thr, float* dst, const float* at, int slot_stride,
                         const window_slots* ws);
void temporal_fit_w7_ref(int count, const float* thr, float* dst, const float* at, int slot_stride,
                         const window_slots* ws);
void temporal_fit_w9_ref(int count, const float* thr, float* dst, const float* at, int slot_stride,
                         const window_slots* ws);

void temporal_fit_w3_sse2(int count, const float* thr, float* dst, const float* at, int slot_stride,
                          const window_slots* ws);
void temporal_fit_w5_sse2(int count, const float* thr, float* dst, const float* at, int slot_stride,
                          const window_slots* ws);
void temporal_fit_w7_sse2(int count, const float* thr, float* dst, const float* at, int slot_stride,
                          const window_slots* ws);
void temporal_fit_w9_sse2(int count, const float* thr, float* dst, const float* at, int slot_stride,
                          const window_slots* ws);

void temporal_fit_w3_avx2(int count, const float* thr, float* dst, const float* at, int slot_stride,
                          const window_slots* ws);
void temporal_fit_w5_avx2(int count, const float* thr, float* dst, const float* at, int slot_stride,
                          const window_slots* ws);
void temporal_fit_w7_avx2(int count, const float* thr, float* dst, const float* at, int slot_stride,
                          const window_slots* ws);
void temporal_fit_w9_avx2(int count, const float* thr, float* dst, const float* at, int slot_stride,
                          const window_slots* ws);
