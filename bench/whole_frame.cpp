// The whole-frame benchmark's command line: which configurations to run, one
// fresh child process each, the table of frames per second, milliseconds per
// stage and peak memory, the rate of `nivora` itself from file to file beside
// the filter-only rate, its peak memory, and the targets
// as ratios measured in this one run (the machines are shared and noisy, so a
// figure is best read against its neighbours in the same table).
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/whole_frame.h"

namespace {

void print_cli_cell(const cli_result& r) {
  if (r.ok)
    printf(" %8.1f", r.peak_mb);
  else
    printf(" failed: %s", r.error.c_str());
}

// nivora's peak memory for every size and radius, reading the clip from a
// file and from a pipe (the host may keep less in memory when it can read a
// frame again from the file).
void measure_cli(const bench_options& o, std::vector<measured>* runs,
                 std::vector<cli_result>* from_file, std::vector<cli_result>* from_pipe) {
  const int threads = *std::max_element(o.threads.begin(), o.threads.end());
  printf("\nnivora (%s), %d threads, %d frames, output null; peak memory (MB) reading\n",
         o.nivora.c_str(), threads, o.cli_frames);
  printf("%-9s %2s | %8s %8s\n", "size", "R", "file", "pipe");
  const char* dir = getenv("TMPDIR");
  for (auto size : o.sizes) {
    std::string path = std::string(dir && *dir ? dir : "/tmp") + "/bench_whole_frame_XXXXXX";
    const int fd = mkstemp(&path[0]);
    const bool have_file =
        fd >= 0 && close(fd) == 0 &&
        write_clip_file(path.c_str(), size.first, size.second, o.cli_frames);
    for (int radius : o.radii) {
      measured m{make_config(o, size, radius, threads, level_best, false), frame_result()};
      cli_result file, piped;
      if (have_file)
        run_cli_memory(o.nivora.c_str(), path.c_str(), size.first, size.second, radius, threads,
                       o.cli_frames, &file);
      else
        file.error = "cannot write " + path;
      run_cli_memory(o.nivora.c_str(), nullptr, size.first, size.second, radius, threads,
                     o.cli_frames, &piped);
      printf("%-9s %2d |", size_text(size.first, size.second).c_str(), radius);
      print_cli_cell(file);
      print_cli_cell(piped);
      printf("\n");
      fflush(stdout);
      runs->push_back(m);
      from_file->push_back(file);
      from_pipe->push_back(piped);
    }
    if (fd >= 0) unlink(path.c_str());
  }
}

// nivora from file to file (y4m): for every size and radius, the rate between
// a short run and a long one, fastest of the rounds. Each round runs right
// after the filter-only round, so both see the machine alike.
struct e2e_plan {
  std::vector<std::string> inputs;  // one clip file per size
  std::string output;
  std::vector<e2e_result> results;
};

void e2e_prepare(const bench_options& o, int threads, e2e_plan* plan) {
  const char* dir = getenv("TMPDIR");
  const std::string base = std::string(dir && *dir ? dir : "/tmp") + "/bench_whole_frame_";
  plan->output = base + "out_XXXXXX";
  const int out_fd = mkstemp(&plan->output[0]);
  if (out_fd >= 0) close(out_fd);
  for (auto size : o.sizes) {
    std::string in = base + "in_XXXXXX";
    const int in_fd = mkstemp(&in[0]);
    const bool have_file = in_fd >= 0 && out_fd >= 0 && close(in_fd) == 0 &&
                           write_clip_file(in.c_str(), size.first, size.second, o.e2e_frames);
    plan->inputs.push_back(in);
    for (int radius : o.radii) {
      e2e_result e;
      e.w = size.first, e.h = size.second, e.radius = radius, e.threads = threads;
      e.short_frames = std::min(radius + 4, o.e2e_frames - 1);
      e.long_frames = o.e2e_frames;
      e.ok = have_file;
      if (!have_file) e.error = "cannot write " + in;
      plan->results.push_back(e);
    }
  }
}

void e2e_round(const bench_options& o, int round, e2e_plan* plan) {
  for (e2e_result& e : plan->results) {
    size_t at = 0;
    while (o.sizes[at].first != e.w || o.sizes[at].second != e.h) ++at;
    for (int which = 0; which < 2 && e.ok; ++which) {
      double seconds = 0, peak = 0, cpu = 0;
      const int frames = which ? e.long_frames : e.short_frames;
      e.ok = run_cli_file_to_file(o.nivora.c_str(), plan->inputs[at].c_str(),
                                  plan->output.c_str(), e.radius, e.threads, o.field, frames,
                                  &seconds, &peak, &cpu, &e.error);
      double& best = which ? e.long_s : e.short_s;
      if (round == 0 || seconds < best) best = seconds;
      double& least = which ? e.long_cpu_s : e.short_cpu_s;
      if (round == 0 || cpu < least) least = cpu;
      e.peak_mb = std::max(e.peak_mb, peak);
    }
  }
}

void e2e_report(const bench_options& o, const std::vector<measured>& all, e2e_plan* plan) {
  printf("\nnivora file to file (y4m in, y4m out), no pre-filters, per-field %s; frames per "
         "second between runs of Frame + 4 and %d frames, fastest of %d rounds (each right "
         "after the round of the table above)\n", o.field ? "on" : "off", o.e2e_frames, o.rounds);
  printf("cpu: processor time per frame of all threads (nivora: the least of the rounds; "
         "filter: of the fastest round); cpu f/e2e: the filter's share of nivora's\n");
  printf("%-9s %2s %3s | %8s %8s %7s | %8s %8s %8s | %8s\n", "size", "R", "thr", "e2e fps",
         "filter", "e2e/f", "cpu e2e", "cpu f", "f/e2e", "peak MB");
  for (e2e_result& e : plan->results) {
    const int frames = e.long_frames - e.short_frames;
    if (e.ok && e.long_s > e.short_s) {
      e.fps = frames / (e.long_s - e.short_s);
      e.cpu_ms = 1e3 * (e.long_cpu_s - e.short_cpu_s) / frames;
    } else if (e.ok) {
      e.ok = false, e.error = "the long run was not slower than the short one";
    }
    const double filter = filter_fps(all, e.w, e.h, e.radius, e.threads);
    const double filter_cpu = filter_cpu_ms(all, e.w, e.h, e.radius, e.threads);
    printf("%-9s %2d %3d |", size_text(e.w, e.h).c_str(), e.radius, e.threads);
    if (!e.ok) {
      printf(" failed: %s\n", e.error.c_str());
    } else if (filter > 0) {
      printf(" %8.1f %8.1f %6.0f%% | %8.2f %8.2f %7.0f%% | %8.1f\n", e.fps, filter,
             100 * e.fps / filter, e.cpu_ms, filter_cpu,
             e.cpu_ms > 0 ? 100 * filter_cpu / e.cpu_ms : 0.0, e.peak_mb);
    } else {
      printf(" %8.1f %8s %7s | %8.2f %8s %8s | %8.1f\n", e.fps, "-", "-", e.cpu_ms, "-", "-",
             e.peak_mb);
    }
  }
  for (const std::string& in : plan->inputs) unlink(in.c_str());
  unlink(plan->output.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  bench_options o;
  const int parsed = parse_options(argc, argv, &o);
  if (parsed) return parsed == 1 ? 0 : 2;

  if (o.containers) return run_container_bench(o);
  if (o.one) {
    if (o.sizes.size() != 1 || o.radii.size() != 1 || o.threads.size() != 1 ||
        o.levels.size() != 1 || o.prefilters.size() != 1) {
      fprintf(stderr, "bench_whole_frame: --one takes a single value per list\n");
      return 2;
    }
    frame_result r;
    run_configuration(make_config(o, o.sizes[0], o.radii[0], o.threads[0], o.levels[0],
                                  o.prefilters[0]), &r);
    fputs(format_result_line(r).c_str(), stdout);
    return r.ok ? 0 : 1;
  }

  print_load("at start");
  printf("settings: the plug-in's defaults, per-field %s; sequential playback, warm-up %s, "
         "then timed frames\n", o.field ? "on" : "off",
         o.warmup >= 0 ? std::to_string(o.warmup).c_str() : "Frame + 2");
  printf("columns: new = frames analysed per output frame; cores = processor time / wall time "
         "(at most thr; lower when the machine is busy); other = func_proc time outside the "
         "stages (frame fetches, driver); peak = VmHWM of the process; bufs = working blocks\n");
  if (o.rounds > 1) printf("best of %d interleaved rounds\n", o.rounds);
  const std::vector<frame_config> list = configurations(o);
  std::vector<measured> all;
  for (const frame_config& c : list) all.push_back(measured{c, frame_result()});
  const bool have_cli = o.cli && !o.nivora.empty() && access(o.nivora.c_str(), X_OK) == 0;
  e2e_plan e2e;
  if (have_cli) e2e_prepare(o, *std::max_element(o.threads.begin(), o.threads.end()), &e2e);
  if (o.rounds == 1) print_header();
  for (int round = 0; round < o.rounds; ++round) {
    for (measured& m : all) {
      frame_result r;
      run_in_child(m.c, &r);
      keep_faster(&m.r, r);
      if (o.rounds == 1) print_row(m.c, m.r);
    }
    if (have_cli) e2e_round(o, round, &e2e);
    if (o.rounds > 1) fprintf(stderr, "bench_whole_frame: round %d of %d done\n", round + 1, o.rounds);
  }
  if (o.rounds > 1) {
    print_header();
    for (const measured& m : all) print_row(m.c, m.r);
  }

  std::vector<measured> cli_runs;
  std::vector<cli_result> cli_file, cli_pipe;
  if (have_cli) {
    e2e_report(o, all, &e2e);
    measure_cli(o, &cli_runs, &cli_file, &cli_pipe);
  } else if (o.cli) {
    printf("\nnivora not found (--nivora PATH): its rate and peak memory are not measured\n");
  }

  print_work_split(o);
  print_targets(all, cli_runs, cli_file, cli_pipe, e2e.results);
  print_load("at end");
  return 0;
}
