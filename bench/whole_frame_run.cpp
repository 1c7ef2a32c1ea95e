// One configuration, played the way the editor plays a clip: the command-line
// host's frame cache over the generated clip, its persistent worker threads,
// and its editor records, which call the filter only through the plug-in
// table. The multi-thread service is wrapped so that every stage call is
// timed, and the entry pointer says which stage it was.
#include <time.h>

#include <chrono>
#include <cstring>

#include "analysis/analysis.h"
#include "bench/whole_frame.h"
#include "cli/cli.h"
#include "driver/driver.h"
#include "frame/buffers.h"
#include "host/cpu.h"
#include "host/settings.h"
#include "prefilter/prefilter.h"
#include "temporal/temporal.h"

namespace {

using bench_clock = std::chrono::steady_clock;

bool timing = false;
double stage_seconds[stage_count];
int64_t stage_calls[stage_count];

stage_index stage_of(MULTI_THREAD_FUNC func) {
  if (func == block_nr_job) return stage_block;
  if (func == mosquito_nr_job) return stage_mosquito;
  if (func == spatial_columns_job) return stage_columns;
  if (func == spatial_rows_job || func == rows_and_chroma_job) return stage_rows;
  if (func == temporal_job || func == temporal_luma_job) return stage_temporal;
  if (func == output_job) return stage_output;
  return stage_unknown;
}

BOOL timed_exec_multi_thread_func(MULTI_THREAD_FUNC func, void* param1, void* param2) {
  if (!timing) return host_exec_multi_thread_func(func, param1, param2);
  const bench_clock::time_point start = bench_clock::now();
  const BOOL result = host_exec_multi_thread_func(func, param1, param2);
  const std::chrono::duration<double> spent = bench_clock::now() - start;
  const stage_index s = stage_of(func);
  stage_seconds[s] += spent.count();
  ++stage_calls[s];
  return result;
}

double working_buffer_mb(int w, int h, int radius) {
  int32_t cw = 0, ch = 0;
  choose_canvas((w + 15) & ~15, (h + 15) & ~15, &cw, &ch);
  size_t sizes[buffer_block_count];
  buffer_block_sizes(cw, ch, 2 * radius + 1, sizes);
  double total = 0;
  for (size_t s : sizes) total += double(s);
  return total / 1e6;
}

// Processor time of the whole process (all threads), seconds.
double process_cpu_seconds() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

}  // namespace

int64_t peak_resident_bytes() {
  FILE* status = fopen("/proc/self/status", "r");
  if (!status) return 0;
  char line[256];
  long long kib = 0;
  while (fgets(line, sizeof line, status))
    if (sscanf(line, "VmHWM: %lld kB", &kib) == 1) break;
  fclose(status);
  return int64_t(kib) * 1024;
}

bool run_configuration(const frame_config& c, frame_result* r) {
  *r = frame_result();
  r->buffers_mb = working_buffer_mb(c.w, c.h, c.radius);
  const int warmup = c.warmup >= 0 ? c.warmup : c.radius + 2;
  // Enough frames that the window never reaches past the end of the clip.
  const int clip_frames = warmup + c.frames + c.radius + 2;

  std::string error;
  frame_source source;
  FILE* stream = open_clip_stream(c.w, c.h, clip_frames);
  if (!stream || !source_open_stream(&source, stream, "generated clip", format_y4m, 0, 0, &error)) {
    r->error = stream ? error : "cannot open the generated clip";
    if (stream) fclose(stream);
    return false;
  }
  const int max_w = (c.w + 15) & ~15, max_h = (c.h + 15) & ~15;
  frame_cache cache;
  if (!cache_init(&cache, &source, max_w, max_h, c.radius, c.field, &error) ||
      !start_workers(c.threads)) {
    r->error = error.empty() ? "cannot start the worker threads" : error;
    cache_free(&cache);
    source_close(&source);
    fclose(stream);
    return false;
  }

  const FILTER_DLL* table = GetFilterTable();
  int track[9], check[4];
  for (int i = 0; i < 9; ++i) track[i] = table->track_default[i];
  for (int i = 0; i < 4; ++i) check[i] = table->check_default[i];
  track[track_frame] = c.radius;
  check[check_field] = c.field ? 1 : 0;
  check[check_mosquito] = check[check_block] = c.prefilters ? 1 : 0;

  force_kernel_level(c.level);  // before func_init, which fills the kernel tables
  static editor_host editor;
  editor_open(&editor, table, track, check);
  editor.exfunc.exec_multi_thread_func = timed_exec_multi_thread_func;
  editor_prepare(&editor, &cache, c.w, c.h, max_w, max_h);
  r->level_used = kernel_level;

  memset(stage_seconds, 0, sizeof stage_seconds);
  memset(stage_calls, 0, sizeof stage_calls);
  timing = false;
  int64_t n = 0;
  for (; n < warmup && cache_prepare(&cache, n); ++n) editor_process(&editor, n);

  // Timed frames: only the editor's call of the filter is timed; reading the
  // next source frame (the cache's read-ahead) happens outside it.
  double total = 0, cpu = 0;
  for (int k = 0; k < c.frames; ++k, ++n) {
    if (!cache_prepare(&cache, n)) break;
    timing = true;
    const double cpu_start = process_cpu_seconds();
    const bench_clock::time_point start = bench_clock::now();
    editor_process(&editor, n);
    const std::chrono::duration<double> spent = bench_clock::now() - start;
    cpu += process_cpu_seconds() - cpu_start;
    timing = false;
    total += spent.count();
    ++r->frames;
    if (total >= c.seconds && r->frames >= 3) break;
  }

  editor_close(&editor);
  stop_workers();
  cache_free(&cache);
  source_close(&source);
  fclose(stream);

  r->total_ms = total * 1e3;
  r->cpu_ms = cpu * 1e3;
  for (int s = 0; s < stage_count; ++s) {
    r->stage_ms[s] = stage_seconds[s] * 1e3;
    r->stage_calls[s] = stage_calls[s];
  }
  r->peak_mb = double(peak_resident_bytes()) / 1e6;
  // A frame the filter refuses (size, processor) comes back cleared without
  // any stage having run: that is no measurement.
  if (r->frames == 0 || r->stage_calls[stage_output] < r->frames) {
    r->error = "the filter did not process the frames (cleared output)";
    return false;
  }
  r->ok = true;
  return true;
}
