// The test editor's commands:
//   gen SEED W H FRAMES OUT        writes a deterministic test clip
//   diff A B                       compares two clips sample by sample
//   not-cleared CLIP               fails if any frame of the clip is all zero
//   table DLL                      prints the filter table
//   run DLL JOBS THREADS [--kernels=ref|--cpu=none]
//                                  renders every job of a job file (one job a
//                                  line: clip, output, nine track values and
//                                  four check values comma-separated, play
//                                  list (as many values as the table has
//                                  track bars and check boxes), optionally
//                                  missing=N,... for frames
//                                  the cache does not deliver and
//                                  scramble=right|below|right,below for a
//                                  new pattern outside the picture on
//                                  every fetch); --kernels=ref caps the
//                                  kernels at the scalar ones, --cpu=none
//                                  stands in for a processor without SSE2
//                                  (natively only)
//   to-y4m CLIP OUT [--nearest] | from-y4m Y4M OUT
//                                  a clip as 8-bit 4:4:4 y4m and back (luma
//                                  rounded to nearest with --nearest)
//   compare-y4m A B LIMIT          largest sample difference, at most LIMIT
//   pick CLIP OUT I,J,...          the frames at those positions
//   lifecycle DLL CLIP             loads, initialises and shuts down twice
//   settings-window DLL CLIP       the settings window's button (Windows)
//   size-messages DLL              the maximum-image-size messages (Windows)
// With NIVORA_HOST_MEASURE set, run also prints for each job the wall and
// processor time of its play and of the calls of func_proc in it (the
// editor's own work left out), and the bytes the filter holds in the C heap
// after it (for the benchmarks; never compared by the checks).
// Exit status 0 when everything held, 1 on a failed check, 2 on a usage or
// file error.
#include <chrono>
#include <ctime>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "plugin_host.h"

namespace {

bool parse_list(const std::string& text, int* values, int count) {
  std::istringstream in(text);
  std::string item;
  int n = 0;
  while (std::getline(in, item, ',')) {
    if (n == count) return false;
    char* end = nullptr;
    values[n++] = int(std::strtol(item.c_str(), &end, 10));
    if (*end) return false;
  }
  return n == count;
}

int run_job(FILTER* fp, const std::string& line, int number) {
  std::istringstream in(line);
  std::string clip_path, out_path, track_text, check_text, play;
  if (!(in >> clip_path >> out_path >> track_text >> check_text >> play)) {
    std::printf("job %d: expected clip, output, track values, check values, play list\n", number);
    return 2;
  }
  int track[32], check[32];
  const int track_n = fp->track_n < 32 ? fp->track_n : 32;
  const int check_n = fp->check_n < 32 ? fp->check_n : 32;
  if (!parse_list(track_text, track, track_n) || !parse_list(check_text, check, check_n)) {
    std::printf("job %d: need %d track values and %d check values\n", number, track_n, check_n);
    return 2;
  }
  // Optional: frames the editor's cache fails to deliver; what it keeps
  // outside the picture.
  std::vector<int> missing;
  bool scramble_right = false, scramble_below = false;
  std::string option;
  while (in >> option) {
    int values[8];
    int count = 1;
    for (char c : option) count += c == ',';
    if (option.compare(0, 9, "scramble=") == 0) {
      std::istringstream parts(option.substr(9));
      std::string part;
      bool known = true;
      while (std::getline(parts, part, ',')) {
        if (part == "right") scramble_right = true;
        else if (part == "below") scramble_below = true;
        else known = false;
      }
      if (known && (scramble_right || scramble_below)) continue;
    } else if (option.compare(0, 8, "missing=") == 0 && count <= 8 &&
               parse_list(option.substr(8), values, count)) {
      missing.assign(values, values + count);
      continue;
    }
    std::printf("job %d: unknown option '%s'\n", number, option.c_str());
    return 2;
  }
  yc_clip clip;
  if (!read_clip(clip_path.c_str(), clip)) return 2;
  editor_use_clip(clip, 0, 0);
  editor_set_missing(missing);
  editor_set_scramble(scramble_right, scramble_below);
  editor_set_settings(track, check);
  editor_clear_counters();
  if (fp->func_init(fp) != 1 || fp->func_update(fp, FILTER_UPDATE_STATUS_ALL) != 1) {
    std::printf("job %d: func_init or func_update did not return 1\n", number);
    return 1;
  }
  yc_clip out;
  out.frames.reserve(clip.frames.size());
  const long long heap_before = measure_process().heap;
  const std::clock_t processor_start = std::clock();
  const auto start = std::chrono::steady_clock::now();
  const bool played = editor_play(play, out);
  const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - start)
                           .count();
  const long long processor_ms =
      (long long)(std::clock() - processor_start) * 1000 / CLOCKS_PER_SEC;
  // The heap's growth less the frames played into out: what the filter holds.
  long long heap_after = measure_process().heap;
  for (const auto& frame : out.frames)
    heap_after -= (long long)(frame.capacity() * sizeof(PIXEL_YC));
  const int fetches = counters.fetches, stages = counters.stage_calls;
  if (fp->func_exit(fp) != 1) {
    std::printf("job %d: func_exit did not return 1\n", number);
    return 1;
  }
  if (!played) return 1;
  if (!write_clip(out_path.c_str(), out)) return 2;
  std::printf("job %d: %s, %zu frames, %d fetches, %d stage calls", number, out_path.c_str(),
              out.frames.size(), fetches, stages);
  if (scramble_right || scramble_below) std::printf(", %d scrambled", editor_scrambles());
  std::printf(", %lld ms\n", ms);
  if (std::getenv("NIVORA_HOST_MEASURE"))
    std::printf("job %d: measured: %lld ms, processor %lld ms, in func_proc %.1f ms, "
                "processor %.1f ms, filter heap %lld bytes, cache filling %.1f ms\n",
                number, ms, processor_ms, counters.proc_ms, counters.proc_processor_ms,
                heap_after - heap_before, counters.fill_ms);
  return 0;
}

// gen SEED W H FRAMES OUT [blurred]
int command_gen(int argc, char** argv) {
  if (argc != 7 && !(argc == 8 && std::strcmp(argv[7], "blurred") == 0)) return 2;
  yc_clip clip;
  generate_clip(std::strtoull(argv[2], nullptr, 10), std::atoi(argv[3]), std::atoi(argv[4]),
                std::atoi(argv[5]), clip, argc == 8);
  return write_clip(argv[6], clip) ? 0 : 2;
}

int command_diff(const char* a, const char* b) {
  yc_clip ca, cb;
  if (!read_clip(a, ca) || !read_clip(b, cb)) return 2;
  return compare_clips(ca, cb, a, b) ? 0 : 1;
}

int command_not_cleared(const char* path) {
  yc_clip clip;
  if (!read_clip(path, clip)) return 2;
  int cleared = 0;
  for (const auto& frame : clip.frames) {
    bool zero = true;
    for (const PIXEL_YC& p : frame) zero = zero && p.y == 0 && p.cb == 0 && p.cr == 0;
    cleared += zero;
  }
  if (cleared) std::printf("%s: %d of %zu frames are cleared\n", path, cleared, clip.frames.size());
  return cleared ? 1 : 0;
}

int usage() {
  std::fprintf(stderr,
               "usage: plugin_host gen SEED W H FRAMES OUT | diff A B | not-cleared CLIP |\n"
               "       to-y4m CLIP OUT [--nearest] | from-y4m Y4M OUT | compare-y4m A B LIMIT |\n"
               "       pick CLIP OUT I,J,... |\n"
               "       table DLL |\n"
               "       run DLL JOBS THREADS [--kernels=ref|--cpu=none] | lifecycle DLL CLIP |\n"
               "       settings-window DLL CLIP | size-messages DLL\n");
  return 2;
}

}  // namespace

int command_run(const char* dll, const char* jobs, int threads, int kernels, int cpu_level) {
  std::ifstream in(jobs);
  if (!in) {
    std::printf("cannot read %s\n", jobs);
    return 2;
  }
  if (kernels >= 0 && !force_filter_kernels(kernels)) {
    std::printf("this build cannot choose the filter's kernels\n");
    return 2;
  }
  if (cpu_level >= 0 && !force_filter_cpu_level(cpu_level)) {
    std::printf("this build cannot stand in for another processor\n");
    return 2;
  }
  loaded_filter filter;
  if (!load_filter(dll, filter)) return 2;
  editor_attach(filter, threads);
  int status = 0, number = 0;
  std::string line;
  while (status == 0 && std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    status = run_job(editor_filter(), line, ++number);
  }
  editor_detach();
  unload_filter(filter);
  return status;
}

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  const std::string command = argv[1];
  int status = 2;
  if (command == "gen") {
    status = command_gen(argc, argv);
  } else if (command == "diff" && argc == 4) {
    status = command_diff(argv[2], argv[3]);
  } else if (command == "not-cleared" && argc == 3) {
    status = command_not_cleared(argv[2]);
  } else if (command == "to-y4m" && (argc == 4 || (argc == 5 && !std::strcmp(argv[4], "--nearest")))) {
    status = command_to_y4m(argv[2], argv[3], argc == 5);
  } else if (command == "from-y4m" && argc == 4) {
    status = command_from_y4m(argv[2], argv[3]);
  } else if (command == "compare-y4m" && argc == 5) {
    status = command_compare_y4m(argv[2], argv[3], std::atoi(argv[4]));
  } else if (command == "pick" && argc == 5) {
    status = command_pick(argv[2], argv[3], argv[4]);
  } else if (command == "table" && argc == 3) {
    status = command_table(argv[2]);
  } else if (command == "run" && (argc == 5 || argc == 6)) {
    int kernels = -1, cpu_level = -1;
    if (argc == 6) {
      if (std::strcmp(argv[5], "--kernels=ref") == 0) kernels = 0;
      else if (std::strcmp(argv[5], "--cpu=none") == 0) cpu_level = 0;
      else return usage();
    }
    status = command_run(argv[2], argv[3], std::atoi(argv[4]), kernels, cpu_level);
  } else if (command == "lifecycle" && argc == 4) {
    status = command_lifecycle(argv[2], argv[3]);
#ifdef _WIN32
  } else if (command == "settings-window" && argc == 4) {
    status = command_settings_window(argv[2], argv[3]);
  } else if (command == "size-messages" && argc == 3) {
    status = command_size_messages(argv[2]);
#endif
  } else {
    return usage();
  }
  std::fflush(stdout);
  return status;
}
