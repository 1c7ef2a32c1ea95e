// The benchmark's output: the table of configurations, one row each, and
// the targets, each computed from figures of this one run.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "bench/whole_frame.h"
#include "driver/work_split.h"

namespace {

const frame_result* find(const std::vector<measured>& all, int w, int h, int radius, int threads,
                         bool best, bool prefilters) {
  const frame_result* found = nullptr;
  for (const measured& m : all) {
    if (!m.r.ok || m.c.w != w || m.c.h != h || m.c.radius != radius || m.c.threads != threads ||
        m.c.prefilters != prefilters)
      continue;
    // "best": the highest kernel level measured; otherwise the scalar kernels.
    if (best ? (!found || m.r.level_used > found->level_used) : m.r.level_used == 0) found = &m.r;
  }
  return found;
}

double fps(const frame_result* r) { return r->frames * 1e3 / r->total_ms; }

}  // namespace

double filter_fps(const std::vector<measured>& all, int w, int h, int radius, int threads) {
  const frame_result* r = find(all, w, h, radius, threads, true, false);
  return r ? fps(r) : 0;
}

double filter_cpu_ms(const std::vector<measured>& all, int w, int h, int radius, int threads) {
  const frame_result* r = find(all, w, h, radius, threads, true, false);
  return r ? r->cpu_ms / r->frames : 0;
}

namespace {

void print_target(const char* what, double value, const char* unit, bool met,
                  const char* target) {
  printf("  %-52s %8.2f %-4s %-14s %s\n", what, value, unit, target, met ? "met" : "MISSED");
}

}  // namespace

void print_load(const char* when) {
  FILE* f = fopen("/proc/loadavg", "r");
  char text[128] = "";
  if (f) {
    if (!fgets(text, sizeof text, f)) text[0] = 0;
    fclose(f);
  }
  char* nl = strchr(text, '\n');
  if (nl) *nl = 0;
  long cpus = sysconf(_SC_NPROCESSORS_ONLN);
  printf("load average %s: %s (%ld processors)\n", when, text, cpus);
}

void print_header() {
  printf("\n%-9s %2s %3s %-4s %-3s %7s %7s %4s %5s | %6s %6s %6s %6s %6s %6s | %7s %7s\n",
         "size", "R", "thr", "kern", "pre", "fps", "ms/fr", "new", "cores", "pre", "cols", "rows",
         "temp", "out", "other", "peak", "bufs");
  printf("%-9s %2s %3s %-4s %-3s %7s %7s %4s %5s | %41s | %7s %7s\n", "", "", "", "", "", "", "",
         "", "", "milliseconds per frame", "MB", "MB");
}

void print_row(const frame_config& c, const frame_result& r) {
  printf("%-9s %2d %3d %-4s %-3s ", size_text(c.w, c.h).c_str(), c.radius, c.threads,
         r.ok ? level_name(r.level_used) : level_name(c.level), c.prefilters ? "on" : "off");
  if (!r.ok) {
    printf("failed: %s\n", r.error.c_str());
    fflush(stdout);
    return;
  }
  const double f = r.frames;
  const double per = r.total_ms / f;
  const double pre = (r.stage_ms[stage_block] + r.stage_ms[stage_mosquito]) / f;
  double staged = 0;
  for (int s = 0; s < stage_count; ++s)
    if (s != stage_unknown) staged += r.stage_ms[s];
  // Everything func_proc spends outside the known stages: the host's frame
  // fetches, the driver, and any multi-thread call of another entry.
  const double other = (r.total_ms - staged) / f;
  printf("%7.1f %7.2f %4.1f %5.2f | %6.2f %6.2f %6.2f %6.2f %6.2f %6.2f | %7.1f %7.1f",
         1e3 / per, per, double(r.stage_calls[stage_columns]) / f, r.cpu_ms / r.total_ms, pre,
         r.stage_ms[stage_columns] / f, r.stage_ms[stage_rows] / f,
         r.stage_ms[stage_temporal] / f, r.stage_ms[stage_output] / f, other, r.peak_mb,
         r.buffers_mb);
  if (c.prefilters)
    printf("   pre = block %.2f + mosquito %.2f", r.stage_ms[stage_block] / f,
           r.stage_ms[stage_mosquito] / f);
  printf("\n");
  fflush(stdout);
}

// Keeps the faster of two runs of one configuration (and the higher peak).
void keep_faster(frame_result* kept, const frame_result& run) {
  if (!run.ok) {
    if (!kept->ok) *kept = run;
    return;
  }
  const double peak = kept->ok ? std::max(kept->peak_mb, run.peak_mb) : run.peak_mb;
  if (!kept->ok || run.total_ms / run.frames < kept->total_ms / kept->frames) *kept = run;
  kept->peak_mb = peak;
}

void print_targets(const std::vector<measured>& all, const std::vector<measured>& cli_runs,
                   const std::vector<cli_result>& cli_file, const std::vector<cli_result>& cli_pipe,
                   const std::vector<e2e_result>& e2e) {
  printf("\ntargets (Frame 2, best kernels, ratios from this run):\n");
  const int big_w = 1920, big_h = 1080, small_w = 720, small_h = 480;
  char what[128];
  for (auto size : {std::make_pair(big_w, big_h), std::make_pair(small_w, small_h)}) {
    const int w = size.first, h = size.second;
    const double target = w == big_w ? 20 : 100;
    const frame_result* two = find(all, w, h, 2, 2, true, false);
    const frame_result* one = find(all, w, h, 2, 1, true, false);
    const frame_result* pre = find(all, w, h, 2, 2, true, true);
    const frame_result* scalar = find(all, w, h, 2, 2, false, false);
    if (two) {
      snprintf(what, sizeof what, "%dx%d, 2 threads", w, h);
      print_target(what, fps(two), "fps", fps(two) >= target, w == big_w ? ">= 20" : ">= 100");
    }
    if (two && one) {
      snprintf(what, sizeof what, "%dx%d, 2 threads / 1 thread", w, h);
      const double ratio = fps(two) / fps(one);
      print_target(what, ratio, "x", ratio >= 1.7, ">= 1.7");
    }
    if (two && pre) {
      snprintf(what, sizeof what, "%dx%d, time with pre-filters / without", w, h);
      const double ratio = fps(two) / fps(pre);
      print_target(what, ratio, "x", ratio <= 1.3, "<= 1.3");
    }
    if (two && scalar) {
      snprintf(what, sizeof what, "%dx%d, %s kernels / scalar kernels (no target)", w, h,
               level_name(two->level_used));
      printf("  %-52s %8.2f x\n", what, fps(two) / fps(scalar));
    }
  }
  for (size_t i = 0; i < cli_runs.size(); ++i) {
    const frame_config& c = cli_runs[i].c;
    if (c.w != big_w || c.h != big_h || (c.radius != 2 && c.radius != 4)) continue;
    const double limit = c.radius == 2 ? 260 : 400;
    for (const cli_result* r : {&cli_file[i], &cli_pipe[i]}) {
      if (!r->ok) continue;
      snprintf(what, sizeof what, "nivora peak memory, %dx%d, Frame %d, %s", c.w, c.h, c.radius,
               r == &cli_file[i] ? "file" : "pipe");
      print_target(what, r->peak_mb, "MB", r->peak_mb <= limit, c.radius == 2 ? "<= 260" : "<= 400");
    }
  }
  for (const e2e_result& e : e2e) {
    if (e.w != big_w || e.h != big_h || e.radius != 2 || e.threads != 2 || !e.ok) continue;
    const double filter = filter_fps(all, e.w, e.h, e.radius, e.threads);
    if (filter <= 0) continue;
    const double share = 100 * e.fps / filter;
    print_target("nivora file to file / filter only, 1920x1080, 2 thr", share, "%", share >= 85,
                 ">= 85");
    print_target("nivora peak memory, 1920x1080, Frame 2, file to file", e.peak_mb, "MB",
                 e.peak_mb <= 260, "<= 260");
  }
  printf("  (ffmpeg vaguedenoiser's rate: scripts/bench_peers.sh)\n");
}

void print_work_split(const bench_options& o) {
  printf("\nwork split (counted, not timed): largest share / mean share over all workers; "
         "rows with 8 and 4 rows per group (AVX2, SSE2); per-field %s\n",
         o.field ? "on" : "off");
  printf("%-9s %4s | %7s %7s %7s %7s %7s %7s | %s\n", "size", "thr", "columns", "rows8", "rows4",
         "t-luma", "t-chrom", "output", "active workers (columns, rows8, luma, chroma, output)");
  for (auto size : o.sizes) {
    const int w = (size.first + 15) & ~15, h = (size.second + 15) & ~15;
    for (int threads : o.split_workers) {
      std::vector<int> work((size_t)threads);
      auto measure = [&](int stage, int lanes, int* active) {
        split_work(stage, w, h, o.field ? 1 : 0, lanes, threads, work.data());
        if (active) *active = (int)std::count_if(work.begin(), work.end(), [](int v) { return v > 0; });
        return split_imbalance(work.data(), threads);
      };
      int active[5];
      const double cols = measure(split_columns, 8, &active[0]);
      const double rows8 = measure(split_rows, 8, &active[1]);
      const double rows4 = measure(split_rows, 4, nullptr);
      const double luma = measure(split_temporal_luma, 8, &active[2]);
      const double chroma = measure(split_temporal_chroma, 8, &active[3]);
      const double out = measure(split_output, 8, &active[4]);
      printf("%-9s %4d | %7.3f %7.3f %7.3f %7.3f %7.3f %7.3f | %d %d %d %d %d\n",
             size_text(size.first, size.second).c_str(), threads, cols, rows8, rows4, luma, chroma,
             out, active[0], active[1], active[2], active[3], active[4]);
    }
  }
}
