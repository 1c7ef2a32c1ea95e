// The editor's filtering frame cache over a frame source.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/convert.h"
#include "cli/frame_source.h"
#include "host/host_api.h"

// The filtering frame cache: the source read ahead as far as the window needs,
// its frames kept while the filter may still use them, in the source's own
// bytes: for a seekable file only where each frame starts (its samples are
// read back when fetched), for a stream the samples themselves, in a deleted
// temporary file in TMPDIR (else /tmp) that is read back the same way, or in
// memory when no such file can be made. A fetch
// converts the frame to PIXEL_YC in one of three slots, the one used least
// recently, so a fetched frame stays valid while two further frames are
// fetched. A frame still in a slot is not converted again: the filter asks for
// most frames up to three times (as the new window frame and as a neighbour
// of the frames beside it). The area below and right of the picture, which
// the filter may overwrite (it extends frames right and downward), is
// restored on every fetch, so a fetch always returns the frame as converted;
// the picture itself is the filter's to read only.
constexpr int fetch_slot_count = 3;

struct frame_cache {
  frame_source* source = nullptr;
  chroma_rows map;
  int pitch = 0;                     // max_w
  int rows = 0;                      // max_h
  int radius = 0;                    // the filter's temporal radius
  int capacity = 0;                  // frames held: 2 * radius + 3
  size_t frame_pixels = 0;           // pitch * rows
  std::vector<int64_t> held_frame;   // the frame in each ring slot, -1 for none
  std::vector<int64_t> held_offset;  // seekable: where each held frame's samples start
  int spill_fd = -1;                 // stream: a deleted temporary file of capacity frames of
                                     // samples (frame k at slot k mod capacity), read back
                                     // like a seekable source; -1 when none could be made
  uint8_t* held = nullptr;           // stream without it: the same in memory (lazily committed)
  PIXEL_YC* fetch = nullptr;         // fetch_slot_count frames (lazily committed)
  int64_t slot_frame[fetch_slot_count] = {-1, -1, -1};  // frame in each fetch slot, -1 none
  int64_t slot_used[fetch_slot_count] = {0, 0, 0};      // fetch count at its last use
  int64_t fetches = 0;               // fetches answered
  int64_t conversions = 0;           // of which converted a frame (the rest found it in a slot)
  std::vector<uint8_t> strip;        // seekable: each worker's plane rows of one step
  size_t strip_share = 0;            // bytes of each worker's part
  int strip_threads = 0;             // workers the strip buffer is sized for
  int strip_rows = 0;                // picture rows a worker converts per step
  int64_t next_to_read = 0;          // frames read from the source so far
  bool end_seen = false;             // the source has no more frames
  bool read_error = false;           // it ended on an error (message in error)
  bool read_back_failed = false;     // a held frame could not be read back (message in error)
  std::string error;
  int64_t misses = 0;                // fetches of clip frames no longer (or not yet) held
  int cache_size_w = 0, cache_size_h = 0, cache_size_d = 0;  // last size asked for
};

bool cache_init(frame_cache* c, frame_source* source, int pitch, int rows, int radius,
                bool field_aware, std::string* error);
// Reads ahead so that every frame the window of output frame n may use is
// held (or the source has ended). False once the source has ended before n,
// or once a frame could not be read back.
bool cache_prepare(frame_cache* c, int64_t n);
// The clip length as far as the filter must know it: the exact count once the
// end is seen or known, otherwise the frames read so far (beyond the window).
int64_t cache_frame_n(const frame_cache* c);
// Whether frame n is held (can be fetched).
bool cache_has(const frame_cache* c, int64_t n);
// Frame n converted into the next fetch slot (writable), or null when n is
// outside the clip, not held, or cannot be read back (then read_back_failed
// is set).
PIXEL_YC* cache_fetch(frame_cache* c, int64_t n);
void cache_free(frame_cache* c);
