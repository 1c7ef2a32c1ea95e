// The whole-frame benchmark: sequential playback of a generated noisy clip
// through the plug-in table (GetFilterTable, func_init, func_update,
// func_proc, func_exit) with the command-line host's services, timing every
// stage by wrapping the multi-thread service; and the peak memory of one
// configuration per fresh process, of the benchmark and of `nivora` itself.
//
//   whole_frame.cpp          main: run the configurations, print the results
//   whole_frame_options.cpp  options and the list of configurations
//   whole_frame_report.cpp   the table and the targets
//   whole_frame_run.cpp      one configuration in this process
//   whole_frame_clip.cpp     the generated clip as a y4m stream
//   whole_frame_spawn.cpp    child processes: one configuration, or `nivora`
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

// Where a frame's time goes: one bucket per stage entry, plus anything the
// multi-thread service runs that is none of them.
enum stage_index {
  stage_block,
  stage_mosquito,
  stage_columns,
  stage_rows,
  stage_temporal,
  stage_output,
  stage_unknown,
  stage_count
};

// Kernel level "best": whatever the processor runs (no cap).
constexpr int level_best = -1;

struct frame_config {
  int w = 1920;
  int h = 1080;
  int radius = 2;        // the Frame setting
  int threads = 2;
  int level = level_best;
  bool prefilters = false;  // both pre-filters on, at the plug-in's default strengths
  bool field = true;        // per-field processing (the plug-in's default)
  int warmup = -1;          // frames played before timing (-1: radius + 2)
  int frames = 20;          // timed frames at most
  double seconds = 3.0;     // stop timing once this is spent (after at least 3 frames)
};

struct frame_result {
  bool ok = false;
  std::string error;
  int frames = 0;                  // timed frames
  double total_ms = 0;             // func_proc wall time over the timed frames
  double cpu_ms = 0;               // processor time of all threads over the same calls
  double stage_ms[stage_count] = {};
  int64_t stage_calls[stage_count] = {};
  int level_used = -1;             // kernel level the tables were filled for
  double peak_mb = 0;              // VmHWM of the process, MB (10^6 bytes)
  double buffers_mb = 0;           // the filter's working blocks for this size and radius
};

// Runs one configuration here (starts and stops the worker threads) and
// records VmHWM at the end, so call it in a fresh process for the memory.
bool run_configuration(const frame_config& c, frame_result* r);

// Result line of a child process, and its parser.
std::string format_result_line(const frame_result& r);
bool parse_result_line(const char* line, frame_result* r);

// What the command line asks for: lists of values, every combination runs.
struct bench_options {
  std::vector<std::pair<int, int>> sizes = {{720, 480}, {1920, 1080}};
  std::vector<int> radii = {1, 2, 3, 4};
  std::vector<int> threads = {1, 2};
  std::vector<int> levels = {0, level_best};
  std::vector<int> prefilters = {0};
  bool prefilters_given = false;
  bool field = true;
  int frames = -1;      // -1: by frame size
  int warmup = -1;
  double seconds = 2.0;
  int rounds = 1;
  std::vector<int> split_workers = {16};
  int cli_frames = 12;
  int e2e_frames = 40;  // frames of nivora's file-to-file timing
  std::string nivora;   // the command-line host whose peak memory is measured
  bool cli = true;
  bool one = false;     // run one configuration here (child mode)
  bool containers = false;  // --containers: nivora's default mode, containers against y4m
};

// 0: run; 1: help printed; 2: error printed.
int parse_options(int argc, char** argv, bench_options* o);
frame_config make_config(const bench_options& o, std::pair<int, int> size, int radius,
                         int threads, int level, bool prefilters);
std::vector<frame_config> configurations(const bench_options& o);
const char* level_name(int level);  // "ref" .. "avx2", or "best"
std::string size_text(int w, int h);

// The command-line arguments that select configuration c (for --one).
std::vector<std::string> config_arguments(const frame_config& c);
// Runs one configuration in a fresh child process (this program, `--one`).
bool run_in_child(const frame_config& c, frame_result* r);

// Peak memory and wall time of `nivora` on the generated clip, read from a
// file (input_file) or, when input_file is null, fed through a pipe.
struct cli_result {
  bool ok = false;
  std::string error;
  double peak_mb = 0;
  double seconds = 0;
  int frames = 0;
};
bool run_cli_memory(const char* nivora_path, const char* input_file, int w, int h, int radius,
                    int threads, int frames, cli_result* r);
// Wall time, peak memory and processor time of `nivora` reading the y4m file input and writing the y4m file
// output, frames [0, frames), with the settings of the filter-only table (no
// pre-filters, per-field as given).
bool run_cli_file_to_file(const char* nivora_path, const char* input, const char* output,
                          int radius, int threads, bool field, int frames, double* seconds,
                          double* peak_mb, double* cpu_s, std::string* error);
// nivora's end-to-end rate for one size and radius: frames per second between
// a short and a long run (so start-up and the window's warm-up cancel out).
struct e2e_result {
  bool ok = false;
  std::string error;
  int w = 0, h = 0, radius = 0, threads = 0;
  double fps = 0;
  double short_s = 0, long_s = 0;  // fastest run of each length
  int short_frames = 0, long_frames = 0;
  double peak_mb = 0;              // the highest of the runs
  double short_cpu_s = 0, long_cpu_s = 0;  // processor time of those runs, all threads
  double cpu_ms = 0;               // processor time per frame between them
};
// Runs a program (found on the PATH when the name has no '/') to its end,
// its output to /dev/null; its wall time, processor time (all threads) and
// peak memory. False with a message when it cannot start or fails.
bool run_program(const std::string& program, const std::vector<std::string>& args,
                 double* seconds, double* cpu_s, double* peak_mb, std::string* error);
// --containers: nivora's default (strong mode at its estimated level) decoding
// H.264 and writing FFV1 against reading y4m and writing nothing, for each
// size and thread count; prints the table; 0, or 1 when a run failed.
int run_container_bench(const bench_options& o);

// Writes the first `frames` frames of the generated clip as a y4m file.
bool write_clip_file(const char* path, int w, int h, int frames);

// One configuration and its result (the fastest of its rounds).
struct measured {
  frame_config c;
  frame_result r;
};
void keep_faster(frame_result* kept, const frame_result& run);

// For each size and worker count: the largest share of each stage's work
// over the mean share, counted from the stages' own split.
void print_work_split(const bench_options& o);
void print_load(const char* when);
void print_header();
void print_row(const frame_config& c, const frame_result& r);
// The targets, from whichever of their configurations were measured.
// cli_file and cli_pipe: nivora's runs for cli_runs, reading a file or a pipe.
void print_targets(const std::vector<measured>& all, const std::vector<measured>& cli_runs,
                   const std::vector<cli_result>& cli_file, const std::vector<cli_result>& cli_pipe,
                   const std::vector<e2e_result>& e2e);
// The filter-only rate of a configuration in the table (0 when not measured),
// and its processor time per frame.
double filter_fps(const std::vector<measured>& all, int w, int h, int radius, int threads);
double filter_cpu_ms(const std::vector<measured>& all, int w, int h, int radius, int threads);

// The generated clip: 8-bit 4:2:0 y4m of gradients, moving edges and texture
// under seeded noise (standard deviation about 9 in luma). Frame k is the same
// in every run.
std::string clip_header(int w, int h);
// Fills the three planes of frame k (w*h luma, then two (w/2)*(h/2) chroma).
void clip_frame(int w, int h, int k, uint8_t* planes);
// A read-only stream of `frames` frames, generated as they are read.
FILE* open_clip_stream(int w, int h, int frames);

// VmHWM of this process in bytes (0 when unknown).
int64_t peak_resident_bytes();
