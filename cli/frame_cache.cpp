// The editor's filtering frame cache, for a clip read once from start to end.
//
// Output frame n may use source frames n - R - 1 ... n + R + 1 (the window of
// radius R, the neighbours of its ends for the mosquito pass, and reflections
// at the clip's ends, which stay inside that span). Before frame n the cache
// reads ahead to n + R + 1, and keeps the last 2R + 3 frames read in a ring
// (frame k in slot k mod capacity), so memory is bounded by the window, not
// the clip. Frames the filter can no longer use are stepped over.
//
// Frames are kept in the source's own bytes, not as PIXEL_YC (a quarter of
// the size for 8-bit 4:2:0): a seekable file keeps only where each frame's
// samples start and reads them back when the frame is fetched; a stream
// writes the samples into a ring of frames in a deleted temporary file and
// reads them back the same way (so the process holds no more of a stream than
// of a file: at 1920x1080 4:2:0, Frame 2, 22 MB of samples go to the file,
// where the kernel may keep them cached or write them out), or, when no such
// file can be made, keeps them in memory. Either way a fetch converts the
// frame into a fetch slot, which
// the filter may then write right of and below the picture (it extends frames
// to the rounded size in place). The filter asks for most frames more than once (as the new frame of
// the window and as a neighbour for the mosquito pass), so a frame still in a
// slot is handed out again with only the area around the picture restored.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "cli/convert.h"
#include "cli/frame_cache.h"
#include "cli/lazy_memory.h"
#include "cli/thread_pool.h"

namespace {

// Picture rows a worker reads back and converts per step: the step's plane
// rows go into the worker's part of the strip buffer (about 100 kB at
// 1920x1080 4:2:0).
constexpr int strip_picture_rows = 32;

// Conversion of picture rows on the editor's worker threads: the filter
// waits for its fetch while the workers are idle, so the rows are shared out.
struct convert_rows_params {
  const uint8_t* luma;
  const uint8_t* cb;
  const uint8_t* cr;
  int chroma_first, first, count;
  size_t luma_row;  // bytes per luma (or YC48) row
  const frame_source* source;
  const chroma_rows* map;
  PIXEL_YC* frame;
  int pitch;
};

void convert_rows_job(int thread_id, int thread_num, void* param1, void*) {
  const convert_rows_params& p = *static_cast<const convert_rows_params*>(param1);
  const int begin = int(int64_t(p.count) * thread_id / thread_num);
  const int end = int(int64_t(p.count) * (thread_id + 1) / thread_num);
  if (begin == end) return;
  rows_to_frame(p.luma + p.luma_row * size_t(begin), p.cb, p.cr, p.chroma_first,
                p.first + begin, end - begin, p.source->format, p.source->video, *p.map, p.frame,
                p.pitch);
}

void convert_rows(const frame_cache* c, const uint8_t* luma, const uint8_t* cb, const uint8_t* cr,
                  int chroma_first, int first, int count, PIXEL_YC* frame) {
  const frame_source* s = c->source;
  convert_rows_params p = {luma,  cb,        cr,      chroma_first, first, count,
                           plane_row_bytes(s->format, s->video, 0), s, &c->map, frame, c->pitch};
  host_exec_multi_thread_func(convert_rows_job, &p, nullptr);
}

// The chroma rows picture rows [first, first + count) use.
void chroma_span(const chroma_rows& map, int first, int count, int* lowest, int* highest) {
  *lowest = *highest = map.of_row[first];
  for (int r = first + 1; r < first + count; ++r) {
    *lowest = std::min(*lowest, map.of_row[r]);
    *highest = std::max(*highest, map.of_row[r]);
  }
}

// Bytes a worker's part of the strip buffer needs: the luma (or YC48) rows of
// a step and, for y4m, the widest span of chroma rows a step starting at any
// row may use, for both chroma planes.
size_t strip_bytes(const frame_source* s, const chroma_rows& map) {
  const video_format& f = s->video;
  size_t bytes = plane_row_bytes(s->format, f, 0) * strip_picture_rows;
  if (s->format == format_y4m) {
    int widest = 0;
    for (int first = 0; first < f.height; ++first) {
      int lowest, highest;
      chroma_span(map, first, std::min(strip_picture_rows, f.height - first), &lowest, &highest);
      widest = std::max(widest, highest - lowest + 1);
    }
    bytes += 2 * plane_row_bytes(s->format, f, 1) * size_t(widest);
  }
  return bytes;
}

// Reads part of frame n's samples from where they are kept: the source file,
// or the stream's temporary file.
bool read_kept(const frame_cache* c, int64_t n, int64_t at, uint8_t* data, size_t bytes,
               std::string* error) {
  if (c->spill_fd < 0) return source_read_at(c->source, n, at, data, bytes, error);
  size_t done = 0;
  while (done < bytes) {
    const ssize_t got = pread(c->spill_fd, data + done, bytes - done, off_t(at + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      *error = c->source->name + ": cannot read frame " + std::to_string(n) +
               " back from the temporary file: " + (got < 0 ? strerror(errno) : "it has shrunk");
      return false;
    }
    done += size_t(got);
  }
  return true;
}

// A deleted temporary file for a stream's frames; -1 when none can be made.
int make_spill_file() {
  const char* dir = getenv("TMPDIR");
  std::string path = std::string(dir && *dir ? dir : "/tmp") + "/nivora_frames_XXXXXX";
  const int fd = mkostemp(&path[0], O_CLOEXEC);
  if (fd >= 0) unlink(path.c_str());
  return fd;
}

// Keeps a stream's frame k (payload bytes) at its ring slot in the file.
bool spill_frame(frame_cache* c, int64_t k, const uint8_t* data, int64_t at) {
  const size_t bytes = c->source->payload_bytes;
  size_t done = 0;
  while (done < bytes) {
    const ssize_t put = pwrite(c->spill_fd, data + done, bytes - done, off_t(at + done));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      c->error = c->source->name + ": cannot keep frame " + std::to_string(k) +
                 " in the temporary file: " + (put < 0 ? strerror(errno) : "nothing written");
      return false;
    }
    done += size_t(put);
  }
  return true;
}

std::mutex read_back_lock;  // guards the message of a failed read back

struct read_back_params {
  frame_cache* c;
  int64_t n;   // the frame
  int64_t at;  // where its samples start
  PIXEL_YC* frame;
  std::atomic<bool> failed;
};

// Worker thread_id's share of frame n: its run of picture rows, read from the
// file a step at a time into its part of the strip buffer and converted. The
// workers read side by side (positioned reads), so reading is no longer a
// pause of all but one thread.
void read_back_job(int thread_id, int thread_num, void* param1, void*) {
  read_back_params& p = *static_cast<read_back_params*>(param1);
  frame_cache* c = p.c;
  const frame_source* s = c->source;
  const video_format& f = s->video;
  const size_t luma_row = plane_row_bytes(s->format, f, 0);
  const size_t chroma_row = plane_row_bytes(s->format, f, 1);
  const int64_t cb_start = p.at + int64_t(luma_row) * f.height;
  const int64_t cr_start = cb_start + int64_t(chroma_row) * plane_rows(s->format, f, 1);
  const int begin = int(int64_t(f.height) * thread_id / thread_num);
  const int end = int(int64_t(f.height) * (thread_id + 1) / thread_num);
  uint8_t* const luma = c->strip.data() + c->strip_share * size_t(thread_id);
  std::string error;  // empty unless a read fails: nothing is allocated otherwise
  for (int first = begin; first < end && !p.failed.load(std::memory_order_relaxed);
       first += c->strip_rows) {
    const int count = std::min(c->strip_rows, end - first);
    bool ok = read_kept(c, p.n, p.at + int64_t(luma_row) * first, luma, luma_row * count,
                        &error);
    uint8_t* cb = luma + luma_row * count;
    uint8_t* cr = cb;
    int lowest = 0, highest = -1;
    if (ok && s->format == format_y4m) {
      chroma_span(c->map, first, count, &lowest, &highest);
      const size_t span = chroma_row * size_t(highest - lowest + 1);
      cr = cb + span;
      ok = read_kept(c, p.n, cb_start + int64_t(chroma_row) * lowest, cb, span, &error) &&
           read_kept(c, p.n, cr_start + int64_t(chroma_row) * lowest, cr, span, &error);
    }
    if (!ok) {
      if (!p.failed.exchange(true)) {
        std::lock_guard<std::mutex> hold(read_back_lock);
        c->error = error;
      }
      return;
    }
    rows_to_frame(luma, cb, cr, lowest, first, count, s->format, f, c->map, p.frame, c->pitch);
  }
}

// Reads frame n back from the file and converts it, on the worker threads.
bool read_back(frame_cache* c, int64_t n, int64_t at, PIXEL_YC* frame) {
  const frame_source* s = c->source;
  const int threads = worker_threads();
  if (c->strip_threads != threads) {  // once: the workers start after the cache
    c->strip_share = strip_bytes(s, c->map);
    c->strip.assign(c->strip_share * size_t(threads), 0);
    c->strip_threads = threads;
  }
  read_back_params p;
  p.c = c;
  p.n = n;
  p.at = at;
  p.frame = frame;
  p.failed = false;
  host_exec_multi_thread_func(read_back_job, &p, nullptr);
  if (p.failed) return false;
  pad_frame(frame, s->video.width, s->video.height, c->pitch, c->rows);
  return true;
}

void release(frame_cache* c) {
  lazy_free(c->held, c->source ? c->source->payload_bytes * size_t(c->capacity) : 0);
  lazy_free(c->fetch, sizeof(PIXEL_YC) * c->frame_pixels * fetch_slot_count);
  c->held = nullptr;
  c->fetch = nullptr;
  if (c->spill_fd >= 0) close(c->spill_fd);
  c->spill_fd = -1;
}

}  // namespace

bool cache_init(frame_cache* c, frame_source* source, int pitch, int rows, int radius,
                bool field_aware, std::string* error) {
  if (c->source) release(c);
  c->source = source;
  make_chroma_rows(source->video, field_aware, &c->map);
  c->pitch = pitch;
  c->rows = rows;
  c->radius = radius;
  c->capacity = 2 * radius + 3;
  c->frame_pixels = size_t(pitch) * size_t(rows);
  c->held_frame.assign(c->capacity, -1);
  c->held_offset.assign(c->capacity, 0);
  c->strip_rows = strip_picture_rows;
  c->strip.clear();  // sized at the first read back, for the worker threads then running
  c->strip_share = 0;
  c->strip_threads = 0;
  c->fetch = static_cast<PIXEL_YC*>(
      lazy_alloc(sizeof(PIXEL_YC) * c->frame_pixels * fetch_slot_count));
  if (!source->seekable) c->spill_fd = make_spill_file();
  if (!source->seekable && c->spill_fd < 0)
    c->held = static_cast<uint8_t*>(lazy_alloc(source->payload_bytes * size_t(c->capacity)));
  if (!c->fetch || (!source->seekable && c->spill_fd < 0 && !c->held)) {
    release(c);
    *error = "out of memory for the frame cache";
    return false;
  }
  for (int i = 0; i < fetch_slot_count; ++i) {
    c->slot_frame[i] = -1;
    c->slot_used[i] = 0;
  }
  c->fetches = 0;
  c->conversions = 0;
  c->next_to_read = 0;
  c->end_seen = false;
  c->read_error = false;
  c->read_back_failed = false;
  c->error.clear();
  c->misses = 0;
  return true;
}

bool cache_prepare(frame_cache* c, int64_t n) {
  if (c->read_back_failed) return false;
  const int64_t last_needed = n + c->radius + 1;
  const int64_t first_kept = n - c->radius - 1;
  frame_source* s = c->source;
  if (s->container && !c->end_seen && c->next_to_read < first_kept) {
    // Frames before a range that starts late: a container seeks past them.
    int64_t reached = c->next_to_read;
    if (!source_seek(s, first_kept, &reached, &c->error)) {
      c->end_seen = true;
      c->read_error = true;
      return false;
    }
    c->next_to_read = reached;
    if (reached < first_kept) c->end_seen = true;
  }
  while (!c->end_seen && c->next_to_read <= last_needed) {
    const int64_t k = c->next_to_read;
    const int slot = int(k % c->capacity);
    // A stream's samples go straight into the ring: the slot's frame is older
    // than every frame still kept. Into the temporary file they go through
    // the source's frame buffer.
    int64_t at = int64_t(s->payload_bytes) * slot;
    read_result r = read_ok;
    if (s->seekable) {
      // The frame's samples are read back when fetched, radius + 1 frames
      // from now: the kernel starts reading them from the disk meanwhile.
      r = source_skip(s, &at, &c->error);
      if (r == read_ok)
        posix_fadvise(fileno(s->file), off_t(at), off_t(s->payload_bytes), POSIX_FADV_WILLNEED);
    }
    else if (c->held) r = source_read_into(s, c->held + s->payload_bytes * size_t(slot), &c->error);
    else if ((r = source_read(s, &c->error)) == read_ok && k >= first_kept &&
             !spill_frame(c, k, s->payload.data(), at))  // (frames before a range: not kept)
      r = read_failed;
    if (r != read_ok) {
      c->end_seen = true;
      c->read_error = r == read_failed;
      break;
    }
    ++c->next_to_read;
    c->held_frame[slot] = k < first_kept ? -1 : k;
    c->held_offset[slot] = at;
  }
  return n < c->next_to_read;
}

int64_t cache_frame_n(const frame_cache* c) {
  if (c->end_seen) return c->next_to_read;
  if (c->source->length >= 0) return c->source->length;
  return c->next_to_read;
}

bool cache_has(const frame_cache* c, int64_t n) {
  return n >= 0 && n < c->next_to_read && c->held_frame[n % c->capacity] == n;
}

PIXEL_YC* cache_fetch(frame_cache* c, int64_t n) {
  if (!cache_has(c, n)) {
    // Numbers outside the clip are the filter's own business; a clip frame
    // that is not held means the cache did not keep what the window needs.
    if (n >= 0 && n < cache_frame_n(c)) ++c->misses;
    return nullptr;
  }
  if (c->read_back_failed) return nullptr;
  const frame_source* s = c->source;
  ++c->fetches;
  int use = 0;  // the slot holding n, else the one used least recently
  for (int i = 0; i < fetch_slot_count; ++i) {
    if (c->slot_frame[i] == n) {
      use = i;
      break;
    }
    if (c->slot_used[i] < c->slot_used[use]) use = i;
  }
  PIXEL_YC* frame = c->fetch + c->frame_pixels * use;
  c->slot_used[use] = c->fetches;
  if (c->slot_frame[use] == n) {
    pad_frame(frame, s->video.width, s->video.height, c->pitch, c->rows);
    return frame;
  }
  c->slot_frame[use] = -1;
  ++c->conversions;
  const int slot = int(n % c->capacity);
  if (!c->held) {
    if (!read_back(c, n, c->held_offset[slot], frame)) {
      c->read_back_failed = true;
      return nullptr;
    }
  } else {
    const uint8_t* payload = c->held + s->payload_bytes * size_t(slot);
    const uint8_t *cb, *cr;
    payload_planes(payload, s->format, s->video, &cb, &cr);
    convert_rows(c, payload, cb, cr, 0, 0, s->video.height, frame);
    pad_frame(frame, s->video.width, s->video.height, c->pitch, c->rows);
  }
  c->slot_frame[use] = n;
  return frame;
}

void cache_free(frame_cache* c) {
  release(c);
  c->held_frame.clear();
  c->held_offset.clear();
  std::vector<uint8_t>().swap(c->strip);
}
