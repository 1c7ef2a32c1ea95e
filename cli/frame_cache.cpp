// The editor's filtering frame cache, for a clip read once from start to end.
//
// Output frame n may use source frames n - R - 1 ... n + R + 1 (the window of
// radius R, the neighbours of its ends for the mosquito pass, and reflections
// at the clip's ends, which stay inside that span). Before frame n the cache
// reads ahead to n + R + 1, and holds the last 2R + 3 frames read in a ring
// (frame k in slot k mod capacity), so memory is bounded by the window, not
// the clip. Frames the filter can no longer use are read and dropped without
// conversion.
#include <cstring>
#include <new>

#include "cli/cli.h"

bool cache_init(frame_cache* c, frame_source* source, int pitch, int rows, int radius,
                bool field_aware, std::string* error) {
  c->source = source;
  make_chroma_rows(source->video, field_aware, &c->map);
  c->pitch = pitch;
  c->rows = rows;
  c->radius = radius;
  c->capacity = 2 * radius + 3;
  c->frame_pixels = size_t(pitch) * size_t(rows);
  try {
    c->held.assign(c->frame_pixels * c->capacity, PIXEL_YC{0, 0, 0});
    c->held_frame.assign(c->capacity, -1);
    c->fetch.assign(c->frame_pixels * fetch_slot_count, PIXEL_YC{0, 0, 0});
  } catch (const std::bad_alloc&) {
    *error = "out of memory for the frame cache";
    return false;
  }
  c->next_fetch = 0;
  c->next_to_read = 0;
  c->end_seen = false;
  c->read_error = false;
  c->error.clear();
  c->misses = 0;
  return true;
}

bool cache_prepare(frame_cache* c, int64_t n) {
  const int64_t last_needed = n + c->radius + 1;
  const int64_t first_kept = n - c->radius - 1;
  while (!c->end_seen && c->next_to_read <= last_needed) {
    read_result r = source_read(c->source, &c->error);
    if (r != read_ok) {
      c->end_seen = true;
      c->read_error = r == read_failed;
      break;
    }
    const int64_t k = c->next_to_read++;
    if (k < first_kept) continue;
    const int slot = int(k % c->capacity);
    payload_to_frame(c->source->payload.data(), c->source->format, c->source->video, c->map,
                     c->held.data() + c->frame_pixels * slot, c->pitch, c->rows);
    c->held_frame[slot] = k;
  }
  return n < c->next_to_read;
}

int64_t cache_frame_n(const frame_cache* c) {
  if (c->end_seen) return c->next_to_read;
  if (c->source->length >= 0) return c->source->length;
  return c->next_to_read;
}

const PIXEL_YC* cache_held(const frame_cache* c, int64_t n) {
  if (n < 0 || n >= c->next_to_read) return nullptr;
  const int slot = int(n % c->capacity);
  if (c->held_frame[slot] != n) return nullptr;
  return c->held.data() + c->frame_pixels * slot;
}

PIXEL_YC* cache_fetch(frame_cache* c, int64_t n) {
  const PIXEL_YC* frame = cache_held(c, n);
  if (!frame) {
    // Numbers outside the clip are the filter's own business; a clip frame
    // that is not held means the cache did not keep what the window needs.
    if (n >= 0 && n < cache_frame_n(c)) ++c->misses;
    return nullptr;
  }
  PIXEL_YC* copy = c->fetch.data() + c->frame_pixels * c->next_fetch;
  c->next_fetch = (c->next_fetch + 1) % fetch_slot_count;
  memcpy(copy, frame, sizeof(PIXEL_YC) * c->frame_pixels);
  return copy;
}

void cache_free(frame_cache* c) {
  std::vector<PIXEL_YC>().swap(c->held);
  std::vector<PIXEL_YC>().swap(c->fetch);
  c->held_frame.clear();
}
