// A stand-in for the editor that drives the plug-in only through its table, as
// the editor does. The same program builds twice: as a 32-bit Windows program
// that loads nivora.auf with LoadLibraryA (run under Wine), and natively on
// Linux, where the table comes from the linked filter. Both builds read the
// same clip files and write the same output files, so a script can compare
// the plug-in under Wine with the Linux build bit for bit.
//
// The editor's side offered here: a host-owned filter record with its own
// track and check arrays, a service table whose multi-thread call runs a pool
// of real threads and whose frame cache serves a clip read from a file, edit
// buffers surrounded by guard zones, and per-frame counters of every service.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "host/host_api.h"

// ---- Clip files -----------------------------------------------------------
// A clip: frame_n frames of w x h PIXEL_YC, rows tight (pitch w). On disk: the
// 8-byte magic "NVYC48\0\1", then w, h, frame_n as little-endian int32, then
// the frames' samples (y, cb, cr) as little-endian int16.
struct yc_clip {
  int w = 0;
  int h = 0;
  std::vector<std::vector<PIXEL_YC>> frames;
};

bool read_clip(const char* path, yc_clip& clip);
bool write_clip(const char* path, const yc_clip& clip);
// Deterministic test picture: gradients, edges and texture moving from frame
// to frame, seeded noise, and rare samples at the 16-bit extremes.
void generate_clip(uint64_t seed, int w, int h, int frame_n, yc_clip& clip,
                   bool blurred = false);
// Prints the first sample where two clips differ (frame, x, y, channel, both
// values) and the number of differing samples; returns true when equal.
bool compare_clips(const yc_clip& a, const yc_clip& b, const char* name_a, const char* name_b);

// ---- Loading the filter ---------------------------------------------------
struct loaded_filter {
  FILTER_DLL* table = nullptr;
  HINSTANCE instance = nullptr;  // module handle (null natively)
};

// Windows: LoadLibraryA(path) and GetFilterTable; natively the linked table.
bool load_filter(const char* path, loaded_filter& out);
void unload_filter(loaded_filter& filter);
// Whether the module at path is still mapped in the process (natively: false).
bool filter_module_mapped(const char* path);
// Natively caps the kernel level chosen at initialisation (0 = scalar);
// false where the plug-in offers no such control.
bool force_filter_kernels(int level);
// Natively caps the processor check's answer (0: neither SSE2 nor SSE3);
// false where the plug-in offers no such control.
bool force_filter_cpu_level(int level);

// Shift_JIS (code page 932) bytes as UTF-8, converted by the host's own means.
std::string sjis_to_utf8(const char* text);

// ---- The editor's services ------------------------------------------------
// Counters of the services the filter called, reset by editor_clear_counters.
struct editor_counters {
  int fetches = 0;                 // frame-cache requests
  std::vector<int> fetched;        // the frame numbers asked for, in order
  int cache_size_calls = 0;
  int stage_calls = 0;             // multi-thread calls
  int active_queries = 0;
  int window_updates = 0;
  int unexpected = 0;              // wrong records, nested stages, unknown services
  double proc_ms = 0;              // wall time inside func_proc
  double proc_processor_ms = 0;    // and the process's processor time there
  double fill_ms = 0;              // wall time of the cache filling frames asked for
};

extern editor_counters counters;
extern int editor_active;  // answer of the filter-active query (1 or 0)

// Builds the host's filter record from the table (copy of the 140-byte table,
// host-owned track and check arrays at the table's defaults, the service
// table, the module handle) and starts a pool of `threads` worker threads.
void editor_attach(const loaded_filter& filter, int threads);
// Stops the pool.
void editor_detach();
FILTER* editor_filter();
void* editor_edit_handle();
// The filter's track and check values, as many as its table has.
void editor_set_settings(const int* track, const int* check);
void editor_clear_counters();

// Installs a clip and sizes the editor's buffers: the maximum image size
// max_w x max_h (0 = the picture rounded up to 16, plus 8) is the pitch and
// height of the edit buffers and of every cached frame.
void editor_use_clip(const yc_clip& clip, int max_w, int max_h);
int editor_max_w();
int editor_max_h();
// Frames the cache refuses to deliver (for tests of missing frames).
void editor_set_missing(const std::vector<int>& frames);
// With these on, every fetch first overwrites the columns right of the
// picture (w to max_w - 1, every row) and the rows below it (h to max_h - 1)
// of the frame it hands out, in turn with seeded noise, zeros and copies of
// the last picture column or row, as an editor that reuses its buffers might
// leave them. Off by default: the cache's frames hold a fixed pattern there.
// editor_use_clip turns both off.
void editor_set_scramble(bool right, bool below);
int editor_scrambles();  // fetches scrambled since editor_use_clip

// Renders frame n: fills the edit buffer with the frame, calls func_proc and
// checks what the editor can see (result 1, size handed back, result in one of
// its two buffers, guard zones intact, no unexpected service call). The w x h
// result goes to out when given. Prints a reason and returns false on a fault.
bool editor_render(int n, std::vector<PIXEL_YC>* out);
// The first `rows` rows of the result buffer at full pitch are all zero.
bool editor_result_cleared(int rows);

// A play list: frame numbers, ranges "a-b" (either direction), "s" (start of
// saving), "u" (a setting change), separated by commas. Renders every frame
// into out (appending); false on a fault.
bool editor_play(const std::string& list, yc_clip& out);

// ---- Commands -------------------------------------------------------------
int command_table(const char* dll);
int command_run(const char* dll, const char* jobs, int threads, int kernels, int cpu_level);
int command_lifecycle(const char* dll, const char* clip);
int command_settings_window(const char* dll, const char* clip);
int command_size_messages(const char* dll);
// Clips to and from 8-bit 4:4:4 y4m with the editor's formulas (or luma
// rounded to nearest, for measurements of the filter alone); the largest
// difference of two such files (fails above limit); frames picked by position.
int command_to_y4m(const char* clip, const char* out, bool nearest);
int command_from_y4m(const char* y4m, const char* out);
int command_compare_y4m(const char* a, const char* b, int limit);
int command_pick(const char* clip, const char* out, const char* positions);

// ---- Process measurements (lifecycle) -------------------------------------
struct process_stats {
  long long memory = 0;  // committed private bytes (Windows) or virtual size (Linux)
  long long heap = 0;    // bytes in use in the C heaps, exact to the block
  int threads = 0;
  int handles = 0;       // open handles (Windows) or file descriptors (Linux)
};
process_stats measure_process();

// Reports a failed check and counts it.
void check_failed(const char* format, ...);
int failed_checks();
