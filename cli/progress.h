// Progress of a run on a terminal, and the clock it reads.
#pragma once

#include <cstdint>
#include <cstdio>

// Progress on a terminal.
struct progress_state {
  bool enabled = false;
  double start = 0;
  double last_print = 0;
  int64_t total = -1;
};
double seconds_now();
void progress_start(progress_state* p, bool enabled, int64_t total);
void progress_update(progress_state* p, int64_t done, FILE* err);
void progress_end(progress_state* p, FILE* err);
