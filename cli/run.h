// The whole run, plug-in filter or strong mode, which main() calls.
#pragma once

#include <cstdint>
#include <cstdio>

#include "cli/options.h"
#include "host/host_api.h"

struct run_summary {
  int64_t frames = 0;
  double seconds = 0;
  int64_t cache_misses = 0;
  int64_t cache_conversions = 0;  // frames converted for the filter's fetches
};

// The whole run, with the filter the options choose (run_filter.h). Returns
// the process exit status (0 on success); messages go to err (one line each,
// naming the file and what is wrong).
int run_cli(const cli_options& o, const FILTER_DLL* table, FILE* err, run_summary* summary);
