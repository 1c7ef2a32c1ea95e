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
// One line that updates in place ('\r', no newline): frames done (of the
// total when it is known), frames per second and then the time left.
void progress_update(progress_state* p, int64_t done, FILE* err);
// The same at a given time on the clock (seconds_now's).
void progress_update_at(progress_state* p, int64_t done, double now, FILE* err);
// Clears the line, if one was printed.
void progress_end(progress_state* p, FILE* err);
