// The editor's side of the plug-in interface: the host-owned filter record, the
// service table (worker pool, frame cache, filter-active query, window
// update), guarded edit buffers, and rendering a frame or a play list.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstring>
#include <ctime>
#include <mutex>
#include <thread>
#include <utility>

#include "cli/editor_records.h"
#include "plugin_host.h"

editor_counters counters;
int editor_active = 1;

namespace {

// The editor passes its own, larger record: the first 140 bytes mirror the
// table, private fields follow. The pattern shows up if the filter writes there.
struct host_filter_record {
  FILTER filter;
  uint32_t host_private[64];
};
constexpr uint32_t private_pattern = 0xC0DEF00Du;

host_filter_record record;
int track_values[32];
int check_values[32];
EXFUNC services;
int edit_handle_storage;  // its address is the edit handle
std::thread::id editor_thread;
std::atomic<int> foreign_calls{0};  // services called from a worker thread
bool filter_busy = false;           // inside func_proc

// ---- Guarded buffers: the usable part sits between two guard zones. ----
constexpr size_t guard_pixels = 4096;
const PIXEL_YC guard_value = {0x7ABC, -0x4321, 0x1234};

struct guarded_buffer {
  std::vector<PIXEL_YC> storage;
  PIXEL_YC* data() { return storage.data() + guard_pixels; }
  void allocate(size_t pixels) { storage.assign(pixels + 2 * guard_pixels, guard_value); }
  bool guards_intact() const {
    for (size_t i = 0; i < guard_pixels; ++i) {
      const PIXEL_YC& a = storage[i];
      const PIXEL_YC& b = storage[storage.size() - 1 - i];
      if (std::memcmp(&a, &guard_value, sizeof a) || std::memcmp(&b, &guard_value, sizeof b))
        return false;
    }
    return true;
  }
};

// What the editor's buffers hold outside the picture: a fixed pattern, so both
// builds see the same values wherever the filter reads beyond the picture.
PIXEL_YC margin_pixel(int x, int y) {
  return PIXEL_YC{short(1024 + ((x * 37 + y * 11) & 1023)), short(((x * 5) & 255) - 128),
                  short(((y * 3) & 255) - 128)};
}

const yc_clip* clip = nullptr;
int max_w = 0, max_h = 0;
guarded_buffer edit_buffer, temp_buffer;
std::vector<int> missing_frames;
bool scramble_right = false, scramble_below = false;
int scrambles = 0;
FILTER_PROC_INFO fpip;

// Copies frame n (or nothing) into a max_w x max_h buffer at pitch `pitch`.
void fill_frame(PIXEL_YC* dst, int pitch, int rows, int n) {
  for (int y = 0; y < rows; ++y) {
    for (int x = 0; x < pitch; ++x) {
      const bool inside = n >= 0 && x < clip->w && y < clip->h;
      dst[size_t(y) * pitch + x] =
          inside ? clip->frames[n][size_t(y) * clip->w + x] : margin_pixel(x, y);
    }
  }
}

// Overwrites what the switches name outside the picture of a cached frame
// (pitch `pitch`, `rows` rows) with the next of three patterns: seeded noise,
// zeros, copies of the last picture column (right) or row (below).
void scramble_outside(PIXEL_YC* frame, int pitch, int rows) {
  const int kind = scrambles++ % 3;
  uint32_t state = 0x9e3779b9u * uint32_t(scrambles);
  auto pattern = [&](int x, int y) {
    PIXEL_YC& p = frame[size_t(y) * pitch + x];
    if (kind == 0) {
      state = state * 1664525u + 1013904223u;
      p = PIXEL_YC{short(state >> 16), short(state >> 4), short(state)};
    } else if (kind == 1) {
      p = PIXEL_YC{0, 0, 0};
    } else if (x >= clip->w) {
      p = frame[size_t(y) * pitch + clip->w - 1];
    } else {
      p = frame[size_t(clip->h - 1) * pitch + x];
    }
  };
  if (scramble_right)
    for (int y = 0; y < rows; ++y)
      for (int x = clip->w; x < pitch; ++x) pattern(x, y);
  if (scramble_below)
    for (int y = clip->h; y < rows; ++y)
      for (int x = 0; x < pitch; ++x) pattern(x, y);
}

// ---- Frame cache: d frames of w x h, least recently used replaced first. ----
struct cache_slot {
  int frame = -1;
  uint64_t used = 0;
  guarded_buffer buffer;
};
std::vector<cache_slot> cache;
int cache_w = 0, cache_h = 0, cache_d = 0;
uint64_t cache_clock = 0;

bool on_editor_thread() {
  if (std::this_thread::get_id() == editor_thread) return true;
  foreign_calls.fetch_add(1);
  return false;
}

bool is_our_record(void* fp) { return fp == &record.filter; }

BOOL set_cache_size(void* fp, int w, int h, int d, int flag) {
  ++counters.cache_size_calls;
  if (!on_editor_thread() || !is_our_record(fp) || flag != 0 || d < 1 || w < clip->w ||
      h < clip->h) {
    ++counters.unexpected;
    return 0;
  }
  if (w != cache_w || h != cache_h || d != cache_d) {
    cache.assign(d, cache_slot());
    for (cache_slot& s : cache) s.buffer.allocate(size_t(w) * h);
    cache_w = w;
    cache_h = h;
    cache_d = d;
  }
  return 1;
}

PIXEL_YC* get_cache_ex(void* fp, void* editp, int n, int* w, int* h) {
  ++counters.fetches;
  counters.fetched.push_back(n);
  if (!on_editor_thread() || !is_our_record(fp) || editp != &edit_handle_storage ||
      cache.empty()) {
    ++counters.unexpected;
    return nullptr;
  }
  if (n < 0 || n >= int(clip->frames.size())) return nullptr;
  for (int m : missing_frames)
    if (m == n) return nullptr;
  if (w) *w = clip->w;
  if (h) *h = clip->h;
  cache_slot* slot = nullptr;
  for (cache_slot& s : cache)
    if (s.frame == n) slot = &s;
  if (!slot) {
    slot = &cache[0];
    for (cache_slot& s : cache)
      if (s.used < slot->used) slot = &s;
    const auto start = std::chrono::steady_clock::now();
    fill_frame(slot->buffer.data(), cache_w, cache_h, n);
    counters.fill_ms += std::chrono::duration<double, std::milli>(
                            std::chrono::steady_clock::now() - start)
                            .count();
    slot->frame = n;
  }
  slot->used = ++cache_clock;
  if (scramble_right || scramble_below) scramble_outside(slot->buffer.data(), cache_w, cache_h);
  return slot->buffer.data();
}

BOOL is_filter_active(void* fp) {
  ++counters.active_queries;
  if (!on_editor_thread() || !is_our_record(fp)) ++counters.unexpected;
  return editor_active;
}

BOOL filter_window_update(void* fp) {
  ++counters.window_updates;
  if (!on_editor_thread() || !is_our_record(fp)) ++counters.unexpected;
  return 1;
}

// ---- Worker pool: every call runs on `pool_size` persistent threads. ----
std::vector<std::thread> pool;
int pool_size = 1;
std::mutex pool_mutex;
std::condition_variable pool_wake, pool_done;
uint64_t pool_generation = 0;
int pool_pending = 0;
bool pool_stopping = false;
MULTI_THREAD_FUNC pool_func = nullptr;
void* pool_param1 = nullptr;
void* pool_param2 = nullptr;
std::vector<int> pool_runs;  // calls per thread id in the current generation

void pool_job(int thread_id, uint64_t seen) {
  for (;;) {
    std::unique_lock<std::mutex> lock(pool_mutex);
    pool_wake.wait(lock, [&] { return pool_stopping || pool_generation != seen; });
    if (pool_stopping) return;
    seen = pool_generation;
    MULTI_THREAD_FUNC func = pool_func;
    void* param1 = pool_param1;
    void* param2 = pool_param2;
    ++pool_runs[thread_id];
    lock.unlock();
    func(thread_id, pool_size, param1, param2);
    lock.lock();
    if (--pool_pending == 0) pool_done.notify_all();
  }
}

void pool_start(int threads) {
  pool_size = threads < 1 ? 1 : threads;
  pool_stopping = false;
  pool_runs.assign(pool_size, 0);
  // New workers wait for the next call, not the last one of an earlier pool.
  for (int i = 0; i < pool_size; ++i) pool.emplace_back(pool_job, i, pool_generation);
}

void pool_stop() {
  {
    std::lock_guard<std::mutex> lock(pool_mutex);
    pool_stopping = true;
  }
  pool_wake.notify_all();
  for (std::thread& t : pool) t.join();
  pool.clear();
}

bool stage_running = false;

BOOL exec_multi_thread_func(MULTI_THREAD_FUNC func, void* param1, void* param2) {
  ++counters.stage_calls;
  if (!on_editor_thread() || stage_running || !func) {
    ++counters.unexpected;
    return 0;
  }
  stage_running = true;
  std::unique_lock<std::mutex> lock(pool_mutex);
  pool_func = func;
  pool_param1 = param1;
  pool_param2 = param2;
  pool_pending = pool_size;
  for (int& r : pool_runs) r = 0;
  ++pool_generation;
  pool_wake.notify_all();
  pool_done.wait(lock, [] { return pool_pending == 0; });
  for (int r : pool_runs)
    if (r != 1) ++counters.unexpected;
  stage_running = false;
  return 1;
}

// Any other service is unexpected: each reports its index in the table.
template <int index>
void unexpected_service() {
  std::fprintf(stderr, "the filter called service %d of the editor\n", index);
  ++counters.unexpected;
}

typedef void (*service_slot)();
constexpr int service_count = 73;

template <int... I>
void fill_traps(service_slot* slots, std::integer_sequence<int, I...>) {
  ((slots[I] = &unexpected_service<I>), ...);
}

void build_services() {
  static_assert(offsetof(EXFUNC, reserve) == service_count * sizeof(service_slot),
                "the service table is a row of function pointers");
  service_slot slots[service_count];
  fill_traps(slots, std::make_integer_sequence<int, service_count>());
  std::memset(&services, 0, sizeof services);
  std::memcpy(&services, slots, sizeof slots);
  services.exec_multi_thread_func = exec_multi_thread_func;
  services.set_ycp_filtering_cache_size = set_cache_size;
  services.get_ycp_filtering_cache_ex = get_cache_ex;
  services.is_filter_active = is_filter_active;
  services.filter_window_update = filter_window_update;
}

int failures = 0;

}  // namespace

void check_failed(const char* format, ...) {
  ++failures;
  std::va_list args;
  va_start(args, format);
  std::printf("FAIL: ");
  std::vprintf(format, args);
  std::printf("\n");
  std::fflush(stdout);
  va_end(args);
}

int failed_checks() { return failures; }

void editor_attach(const loaded_filter& filter, int threads) {
  editor_thread = std::this_thread::get_id();
  build_services();
  editor_copy_filter(&record.filter, filter.table, track_values, check_values, &services,
                     filter.instance);
  for (uint32_t& word : record.host_private) word = private_pattern;
  for (int i = 0; i < 32; ++i) {
    track_values[i] = i < filter.table->track_n ? filter.table->track_default[i] : 0;
    check_values[i] = i < filter.table->check_n ? filter.table->check_default[i] : 0;
  }
  editor_active = 1;
  pool_start(threads);
  // Every worker has started (and set itself up) before the editor goes on.
  exec_multi_thread_func([](int, int, void*, void*) {}, nullptr, nullptr);
  editor_clear_counters();
}

void editor_detach() { pool_stop(); }

FILTER* editor_filter() { return &record.filter; }
void* editor_edit_handle() { return &edit_handle_storage; }

void editor_set_settings(const int* track, const int* check) {
  const int track_n = record.filter.track_n < 32 ? record.filter.track_n : 32;
  const int check_n = record.filter.check_n < 32 ? record.filter.check_n : 32;
  std::memcpy(track_values, track, size_t(track_n) * sizeof(int));
  std::memcpy(check_values, check, size_t(check_n) * sizeof(int));
}

void editor_clear_counters() {
  counters = editor_counters();
  foreign_calls = 0;
}

void editor_use_clip(const yc_clip& c, int mw, int mh) {
  clip = &c;
  max_w = mw > 0 ? mw : ((c.w + 15) & ~15) + 8;
  max_h = mh > 0 ? mh : ((c.h + 15) & ~15) + 8;
  edit_buffer.allocate(size_t(max_w) * max_h);
  temp_buffer.allocate(size_t(max_w) * max_h);
  cache.clear();
  cache_w = cache_h = cache_d = 0;
  missing_frames.clear();
  scramble_right = scramble_below = false;
  scrambles = 0;
}

int editor_max_w() { return max_w; }
int editor_max_h() { return max_h; }
void editor_set_missing(const std::vector<int>& frames) { missing_frames = frames; }
void editor_set_scramble(bool right, bool below) {
  scramble_right = right;
  scramble_below = below;
}
int editor_scrambles() { return scrambles; }

bool editor_render(int n, std::vector<PIXEL_YC>* out) {
  const int frame_n = int(clip->frames.size());
  fill_frame(edit_buffer.data(), max_w, max_h, n < frame_n ? n : -1);
  fill_frame(temp_buffer.data(), max_w, max_h, -1);
  editor_frame_record(&fpip, edit_buffer.data(), temp_buffer.data(), clip->w, clip->h, max_w, max_h,
                      n, frame_n, &edit_handle_storage);

  if (filter_busy) {
    std::printf("frame %d: func_proc entered twice\n", n);
    return false;
  }
  filter_busy = true;
  const auto start = std::chrono::steady_clock::now();
  const std::clock_t processor_start = std::clock();
  const BOOL result = record.filter.func_proc(&record.filter, &fpip);
  counters.proc_processor_ms += double(std::clock() - processor_start) * 1000.0 / CLOCKS_PER_SEC;
  counters.proc_ms +=
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  filter_busy = false;
  counters.unexpected += foreign_calls.exchange(0);

  bool ok = true;
  auto fault = [&](const char* what) {
    std::printf("frame %d: %s\n", n, what);
    ok = false;
  };
  if (result != 1) fault("func_proc did not return 1");
  if (fpip.w != clip->w || fpip.h != clip->h) fault("the frame size was not handed back");
  if (fpip.ycp_edit != edit_buffer.data() && fpip.ycp_edit != temp_buffer.data())
    fault("the result is in neither of the editor's buffers");
  if (!edit_buffer.guards_intact() || !temp_buffer.guards_intact())
    fault("a write outside the edit buffers");
  for (const cache_slot& s : cache)
    if (!s.buffer.guards_intact()) fault("a write outside a cached frame");
  for (uint32_t word : record.host_private)
    if (word != private_pattern) {
      fault("a write into the editor's private part of the filter record");
      break;
    }
  if (counters.unexpected) fault("unexpected service calls (wrong thread, record or service)");
  if (!ok) return false;
  if (out) {
    out->resize(size_t(clip->w) * clip->h);
    for (int y = 0; y < clip->h; ++y)
      std::memcpy(out->data() + size_t(y) * clip->w, fpip.ycp_edit + size_t(y) * max_w,
                  size_t(clip->w) * sizeof(PIXEL_YC));
  }
  return true;
}

bool editor_result_cleared(int rows) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(fpip.ycp_edit);
  const size_t bytes = size_t(max_w) * size_t(rows) * sizeof(PIXEL_YC);
  for (size_t i = 0; i < bytes; ++i)
    if (p[i]) return false;
  return true;
}

bool editor_play(const std::string& list, yc_clip& out) {
  out.w = clip->w;
  out.h = clip->h;
  FILTER* fp = &record.filter;
  size_t pos = 0;
  while (pos <= list.size()) {
    size_t end = list.find(',', pos);
    if (end == std::string::npos) end = list.size();
    const std::string item = list.substr(pos, end - pos);
    pos = end + 1;
    if (item.empty()) continue;
    if (item == "s") {
      if (fp->func_save_start(fp, 0, int(clip->frames.size()) - 1, &edit_handle_storage) != 1) {
        std::printf("func_save_start did not return 1\n");
        return false;
      }
      continue;
    }
    if (item == "u") {
      if (fp->func_update(fp, FILTER_UPDATE_STATUS_TRACK + 0) != 1) {
        std::printf("func_update did not return 1\n");
        return false;
      }
      continue;
    }
    int first = 0, last = 0;
    char dash = 0;
    const int fields = std::sscanf(item.c_str(), "%d%c%d", &first, &dash, &last);
    if (fields == 1) last = first;
    else if (fields != 3 || dash != '-') {
      std::printf("bad play list item '%s'\n", item.c_str());
      return false;
    }
    const int step = last >= first ? 1 : -1;
    for (int n = first;; n += step) {
      out.frames.emplace_back();
      if (!editor_render(n, &out.frames.back())) return false;
      if (n == last) break;
    }
  }
  return true;
}
