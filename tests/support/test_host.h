// A substitute editor for the tests: owns a FILTER copied from the plug-in
// table, an EXFUNC with the services the filter calls, a clip of frames in
// memory, the host's edit buffers, and logs of every service call.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <vector>

#include "frame/stage_params.h"
#include "host/host_api.h"

struct test_host {
  FILTER filter;
  EXFUNC exfunc;
  int track[9];
  int check[4];

  int w = 0, h = 0;          // picture size handed to func_proc
  int max_w = 0, max_h = 0;  // the editor's maximum image size (= buffer size)
  std::vector<std::vector<PIXEL_YC>> clip;  // frame_n frames of max_w x max_h
  std::vector<PIXEL_YC> edit, temp;
  FILTER_PROC_INFO fpip;

  int threads = 1;        // thread_num of the multi-thread service
  bool parallel = false;  // run the workers on real threads
  int active = 1;         // answer of the filter-active query
  std::set<int> missing;  // frame numbers the cache does not deliver
  // With these on, every fetch first overwrites the rows below the picture
  // (h to max_h - 1), and the columns right of it (w to max_w - 1, every
  // row), of the frame it hands out, in turn with seeded noise, zeros and
  // copies of the last picture row or column, as a cache that reuses its
  // buffers might leave them.
  bool scramble_below = false;
  bool scramble_right = false;
  int scrambles = 0;  // fetches scrambled so far
  // Every set_ycp_filtering_cache_size call: its w, h, frames and flags, and
  // the number of fetches before it.
  std::vector<std::vector<int>> cache_size_args;

  // Logs.
  std::vector<int> fetches;  // frame numbers asked of the cache, in order
  int cache_size_calls = 0;
  int window_updates = 0;
  std::vector<MULTI_THREAD_FUNC> stages;  // entries run, in order
  std::vector<void*> stage_params;        // their param1
  std::vector<std::pair<int, int>> stage_sizes;  // w and h each stage saw
  std::vector<prefilter_params> prefilter_log;  // the record at each pre-filter stage
  std::vector<analysis_params> analysis_log;    // the record at each analysis stage
};

// The host the services talk to (callbacks carry no context of their own).
test_host& the_test_host();

// Sets up the host: the filter's defaults, a clip of frame_n frames of w x h
// (buffers max_w x max_h), all frames filled by fill(n, x, y) -> pixel.
void test_host_setup(int w, int h, int frame_n, int max_w, int max_h,
                     const std::function<PIXEL_YC(int, int, int)>& fill = nullptr);
// Calls func_proc for frame n with fresh logs; returns its result.
BOOL test_host_run(int n);
void test_host_clear_logs();
