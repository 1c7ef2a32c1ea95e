// Child processes. Peak memory is a property of a whole process, so every
// configuration runs in a fresh one (this program again, with --one), which
// reports its result as one text line; and `nivora` itself is run on a
// generated clip fed through a pipe, its peak taken from the kernel's
// resource accounting (the same figure /usr/bin/time -v prints). Both are
// started with posix_spawn, so no copy of this process counts toward them.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench/whole_frame.h"

extern char** environ;

namespace {

const char* const stage_keys[stage_count] = {"block",    "mosquito", "columns", "rows",
                                             "temporal", "output",   "unknown"};

bool spawn(const char* path, const std::vector<std::string>& args, int stdin_fd, int stdout_fd,
           pid_t* pid, std::string* error) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (stdin_fd >= 0) posix_spawn_file_actions_adddup2(&actions, stdin_fd, 0);
  if (stdout_fd >= 0)
    posix_spawn_file_actions_adddup2(&actions, stdout_fd, 1);
  else
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  const int failed = posix_spawn(pid, path, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed) *error = std::string("cannot start ") + path + ": " + strerror(failed);
  return failed == 0;
}

}  // namespace

std::string format_result_line(const frame_result& r) {
  if (!r.ok) return "result ok=0 error=" + r.error + "\n";
  char text[1024];
  int n = snprintf(text, sizeof text, "result ok=1 frames=%d total_ms=%.6f cpu_ms=%.6f level=%d "
                   "peak_mb=%.3f buffers_mb=%.3f", r.frames, r.total_ms, r.cpu_ms, r.level_used,
                   r.peak_mb, r.buffers_mb);
  for (int s = 0; s < stage_count; ++s)
    n += snprintf(text + n, sizeof text - n, " %s=%.6f/%lld", stage_keys[s], r.stage_ms[s],
                  (long long)r.stage_calls[s]);
  return std::string(text) + "\n";
}

bool parse_result_line(const char* line, frame_result* r) {
  *r = frame_result();
  if (strncmp(line, "result ok=", 10) != 0) return false;
  if (line[10] != '1') {
    const char* e = strstr(line, "error=");
    r->error = e ? std::string(e + 6) : "failed";
    while (!r->error.empty() && r->error.back() == '\n') r->error.pop_back();
    return true;
  }
  if (sscanf(line, "result ok=1 frames=%d total_ms=%lf cpu_ms=%lf level=%d peak_mb=%lf "
             "buffers_mb=%lf", &r->frames, &r->total_ms, &r->cpu_ms, &r->level_used,
             &r->peak_mb, &r->buffers_mb) != 6)
    return false;
  for (int s = 0; s < stage_count; ++s) {
    const std::string key = std::string(" ") + stage_keys[s] + "=";
    const char* at = strstr(line, key.c_str());
    long long calls = 0;
    if (!at || sscanf(at + key.size(), "%lf/%lld", &r->stage_ms[s], &calls) != 2) return false;
    r->stage_calls[s] = calls;
  }
  r->ok = true;
  return true;
}

bool run_in_child(const frame_config& c, frame_result* r) {
  *r = frame_result();
  int out[2];
  if (pipe(out) != 0) {
    r->error = "cannot make a pipe";
    return false;
  }
  std::vector<std::string> args = {"bench_whole_frame", "--one"};
  for (const std::string& a : config_arguments(c)) args.push_back(a);
  pid_t pid;
  const bool started = spawn("/proc/self/exe", args, -1, out[1], &pid, &r->error);
  close(out[1]);
  std::string text;
  if (started) {
    char buf[4096];
    ssize_t got;
    while ((got = read(out[0], buf, sizeof buf)) > 0 || (got < 0 && errno == EINTR))
      if (got > 0) text.append(buf, size_t(got));
  }
  close(out[0]);
  if (!started) return false;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  const size_t at = text.find("result ok=");
  if (at == std::string::npos || !parse_result_line(text.c_str() + at, r)) {
    r->ok = false;
    r->error = WIFSIGNALED(status) ? "child killed by signal " + std::to_string(WTERMSIG(status))
                                   : "child gave no result";
    return false;
  }
  return r->ok;
}

namespace {

bool write_all(int fd, const void* data, size_t bytes) {
  const char* p = static_cast<const char*>(data);
  while (bytes) {
    const ssize_t put = write(fd, p, bytes);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    p += put;
    bytes -= size_t(put);
  }
  return true;
}

// Writes the generated clip, header and frames, to fd.
bool write_clip(int fd, int w, int h, int frames) {
  const std::string header = clip_header(w, h);
  std::vector<uint8_t> frame(6 + size_t(w) * h + 2 * size_t(w / 2) * (h / 2));
  memcpy(frame.data(), "FRAME\n", 6);
  if (!write_all(fd, header.data(), header.size())) return false;
  for (int k = 0; k < frames; ++k) {
    clip_frame(w, h, k, frame.data() + 6);
    if (!write_all(fd, frame.data(), frame.size())) return false;
  }
  return true;
}

}  // namespace

bool write_clip_file(const char* path, int w, int h, int frames) {
  const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const bool ok = write_clip(fd, w, h, frames);
  return close(fd) == 0 && ok;
}

bool run_cli_memory(const char* nivora_path, const char* input_file, int w, int h, int radius,
                    int threads, int frames, cli_result* r) {
  *r = cli_result();
  int in[2] = {-1, -1};
  if (!input_file && pipe2(in, O_CLOEXEC) != 0) {
    r->error = "cannot make a pipe";
    return false;
  }
  const std::vector<std::string> args = {
      "nivora", "--threads", std::to_string(threads), "--frame", std::to_string(radius),
      "--quiet", "--output-format", "null", input_file ? input_file : "-", "-"};
  const std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  pid_t pid;
  // The child gets the reading end as its standard input; the writing end
  // stays here only (close-on-exec), so the child sees the end of the clip.
  const bool started = spawn(nivora_path, args, in[0], -1, &pid, &r->error);
  if (in[0] >= 0) close(in[0]);
  if (!started) {
    if (in[1] >= 0) close(in[1]);
    return false;
  }
  bool write_ok = true;
  if (!input_file) {
    // A child that dies early must not take this process with it.
    signal(SIGPIPE, SIG_IGN);
    write_ok = write_clip(in[1], w, h, frames);
    close(in[1]);
  }

  int status = 0;
  struct rusage usage;
  while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
  r->seconds = spent.count();
  r->frames = frames;
  r->peak_mb = double(usage.ru_maxrss) * 1024.0 / 1e6;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !write_ok) {
    r->error = "nivora failed (status " + std::to_string(status) + ")";
    return false;
  }
  r->ok = true;
  return true;
}

bool run_program(const std::string& program, const std::vector<std::string>& args,
                 double* seconds, double* cpu_s, double* peak_mb, std::string* error) {
  const bool on_path = program.find('/') == std::string::npos;
  std::vector<std::string> all = args;
  if (on_path) all.insert(all.begin(), "env");
  const std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  pid_t pid;
  if (!spawn(on_path ? "/usr/bin/env" : program.c_str(), all, -1, -1, &pid, error)) return false;
  int status = 0;
  struct rusage usage;
  while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
  *seconds = spent.count();
  *peak_mb = double(usage.ru_maxrss) * 1024.0 / 1e6;
  *cpu_s = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    *error = args[0] + " failed (status " + std::to_string(status) + ")";
    return false;
  }
  return true;
}

bool run_cli_file_to_file(const char* nivora_path, const char* input, const char* output,
                          int radius, int threads, bool field, int frames, double* seconds,
                          double* peak_mb, double* cpu_s, std::string* error) {
  const std::vector<std::string> args = {
      "nivora", "--threads", std::to_string(threads), "--frame", std::to_string(radius),
      field ? "--field" : "--no-field", "--no-mosquito", "--no-block", "--quiet",
      "--range", "0:" + std::to_string(frames), input, output};
  return run_program(nivora_path, args, seconds, cpu_s, peak_mb, error);
}
