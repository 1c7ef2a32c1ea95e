// The whole-frame benchmark's command line: which configurations to run, one
// fresh child process each, the table of frames per second, milliseconds per
// stage and peak memory, the peak memory of `nivora` itself, and the targets
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

}  // namespace

int main(int argc, char** argv) {
  bench_options o;
  const int parsed = parse_options(argc, argv, &o);
  if (parsed) return parsed == 1 ? 0 : 2;

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
  if (o.rounds == 1) print_header();
  for (int round = 0; round < o.rounds; ++round) {
    for (measured& m : all) {
      frame_result r;
      run_in_child(m.c, &r);
      keep_faster(&m.r, r);
      if (o.rounds == 1) print_row(m.c, m.r);
    }
    if (o.rounds > 1) fprintf(stderr, "bench_whole_frame: round %d of %d done\n", round + 1, o.rounds);
  }
  if (o.rounds > 1) {
    print_header();
    for (const measured& m : all) print_row(m.c, m.r);
  }

  std::vector<measured> cli_runs;
  std::vector<cli_result> cli_file, cli_pipe;
  if (o.cli && !o.nivora.empty() && access(o.nivora.c_str(), X_OK) == 0)
    measure_cli(o, &cli_runs, &cli_file, &cli_pipe);
  else if (o.cli)
    printf("\nnivora not found (--nivora PATH): its peak memory is not measured\n");

  print_work_split(o);
  print_targets(all, cli_runs, cli_file, cli_pipe);
  print_load("at end");
  return 0;
}
