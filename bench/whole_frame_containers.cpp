// --containers: what reading and writing containers costs nivora's default
// mode. For each size and thread count, the generated clip is written as y4m
// and, by ffmpeg, as H.264 in .mp4; nivora then runs y4m in, nothing out, and
// .mp4 in, FFV1 .mkv out; and, to show where the difference goes, .mp4 in,
// nothing out, and y4m in, FFV1 out. Each rate is frames per second between a run of 10
// frames and one of --e2e-frames, so start-up, the noise estimate and the
// window's warm-up cancel out; the rounds interleave the two paths and keep
// the fastest of each, so both see the machine alike.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "bench/whole_frame.h"

namespace {

struct path_rate {
  double short_s = 0, long_s = 0, short_cpu = 0, long_cpu = 0;
  bool timed = false;
  double fps(int short_frames, int long_frames) const {
    return long_s > short_s ? (long_frames - short_frames) / (long_s - short_s) : 0;
  }
  double cpu_ms(int short_frames, int long_frames) const {
    return 1000 * (long_cpu - short_cpu) / (long_frames - short_frames);
  }
};

// The paths: bit 1 H.264 in (else y4m), bit 0 FFV1 out (else nothing).
constexpr int path_count = 4;
constexpr int path_plain = 0, path_containers = 3;
const char* const path_names[path_count] = {"y4m->null", "y4m->ffv1", "h264->null", "h264->ffv1"};

struct container_case {
  int w, h, threads;
  std::string y4m, mp4;
  path_rate rate[path_count];
};

bool run_nivora(const bench_options& o, const container_case& c, int path, int frames,
                double* seconds, double* cpu, std::string* error, const std::string& mkv) {
  std::vector<std::string> args = {"nivora", "--quiet", "--threads", std::to_string(c.threads),
                                   "--range", "0:" + std::to_string(frames)};
  if (path & 1)
    args.insert(args.end(), {"--codec", "ffv1", path & 2 ? c.mp4 : c.y4m, mkv});
  else
    args.insert(args.end(), {"--output-format", "null", path & 2 ? c.mp4 : c.y4m, "/dev/null"});
  double peak = 0;
  return run_program(o.nivora, args, seconds, cpu, &peak, error);
}

}  // namespace

int run_container_bench(const bench_options& o) {
  if (o.nivora.empty() || access(o.nivora.c_str(), X_OK) != 0) {
    fprintf(stderr, "bench_whole_frame: --containers needs nivora (--nivora PATH)\n");
    return 2;
  }
  const char* dir = getenv("TMPDIR");
  const std::string base = std::string(dir && *dir ? dir : "/tmp") + "/bench_containers_" +
                           std::to_string(getpid()) + "_";
  const int short_frames = 10, long_frames = std::max(o.e2e_frames, short_frames + 10);
  const std::string mkv = base + "out.mkv";
  std::vector<container_case> cases;
  std::string error;
  for (auto size : o.sizes) {
    const std::string y4m = base + size_text(size.first, size.second) + ".y4m";
    const std::string mp4 = base + size_text(size.first, size.second) + ".mp4";
    double s = 0, cpu = 0, peak = 0;
    if (!write_clip_file(y4m.c_str(), size.first, size.second, long_frames) ||
        !run_program("ffmpeg", {"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", y4m, "-c:v",
                                "libx264", "-crf", "18", "-pix_fmt", "yuv420p", mp4},
                     &s, &cpu, &peak, &error)) {
      fprintf(stderr, "bench_whole_frame: cannot make the clips: %s\n", error.c_str());
      return 1;
    }
    for (int threads : o.threads)
      cases.push_back(container_case{size.first, size.second, threads, y4m, mp4, {}});
  }
  int status = 0;
  for (int round = 0; round < o.rounds && status == 0; ++round) {
    for (container_case& c : cases) {
      for (int path = 0; path < path_count; ++path) {
        path_rate& rate = c.rate[path];
        for (int which = 0; which < 2; ++which) {
          double seconds = 0, cpu = 0;
          if (!run_nivora(o, c, path, which ? long_frames : short_frames, &seconds, &cpu, &error,
                          mkv)) {
            fprintf(stderr, "bench_whole_frame: %s\n", error.c_str());
            status = 1;
            break;
          }
          double& best = which ? rate.long_s : rate.short_s;
          double& least = which ? rate.long_cpu : rate.short_cpu;
          if (!rate.timed || seconds < best) best = seconds;
          if (!rate.timed || cpu < least) least = cpu;
        }
        rate.timed = true;
      }
    }
    if (o.rounds > 1) fprintf(stderr, "bench_whole_frame: round %d of %d done\n", round + 1, o.rounds);
  }
  printf("nivora's default mode (strong mode, --sigma auto): frames per second between runs of "
         "%d and %d frames, fastest of %d interleaved rounds; cpu ms = processor time per frame, "
         "all threads\n", short_frames, long_frames, o.rounds);
  printf("ratio: h264->ffv1 fps / y4m->null fps (the aim: at least 0.85)\n");
  printf("%-9s %3s |", "size", "thr");
  for (const char* name : path_names) printf(" %10s %7s |", name, "cpu ms");
  printf(" %6s\n", "ratio");
  for (const container_case& c : cases) {
    printf("%-9s %3d |", size_text(c.w, c.h).c_str(), c.threads);
    for (const path_rate& rate : c.rate)
      printf(" %10.2f %7.1f |", rate.fps(short_frames, long_frames),
             rate.cpu_ms(short_frames, long_frames));
    const double plain = c.rate[path_plain].fps(short_frames, long_frames);
    const double boxed = c.rate[path_containers].fps(short_frames, long_frames);
    printf(" %6.3f\n", plain > 0 ? boxed / plain : 0);
  }
  for (const container_case& c : cases) {
    unlink(c.y4m.c_str());
    unlink(c.mp4.c_str());
  }
  unlink(mkv.c_str());
  return status;
}
