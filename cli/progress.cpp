// Progress on standard error: frames done, frames per second and, when the
// clip length is known, the time left. Printed at most four times a second.
#include <unistd.h>

#include <chrono>

#include "cli/progress.h"

double seconds_now() {
  using clock = std::chrono::steady_clock;
  return std::chrono::duration<double>(clock::now().time_since_epoch()).count();
}

void progress_start(progress_state* p, bool enabled, int64_t total) {
  p->enabled = enabled;
  p->start = seconds_now();
  p->last_print = p->start;
  p->total = total;
}

void progress_update(progress_state* p, int64_t done, FILE* err) {
  if (p->enabled) progress_update_at(p, done, seconds_now(), err);
}

void progress_update_at(progress_state* p, int64_t done, double now, FILE* err) {
  if (!p->enabled) return;
  if (now - p->last_print < 0.25) return;
  p->last_print = now;
  const double fps = done / (now - p->start);
  if (p->total > 0 && done <= p->total && fps > 0) {
    // Whole seconds, capped so that a stalled start cannot overflow; hours
    // are shown once the wait reaches one.
    const double seconds = (p->total - done) / fps + 0.5;
    const long long left = seconds < 3.6e8 ? (long long)seconds : 359999999LL;
    if (left >= 3600)
      fprintf(err, "\rnivora: frame %lld/%lld, %.1f fps, %lld:%02lld:%02lld left   ", (long long)done,
              (long long)p->total, fps, left / 3600, left / 60 % 60, left % 60);
    else
      fprintf(err, "\rnivora: frame %lld/%lld, %.1f fps, %lld:%02lld left   ", (long long)done,
              (long long)p->total, fps, left / 60, left % 60);
  } else {
    fprintf(err, "\rnivora: frame %lld, %.1f fps   ", (long long)done, fps);
  }
  fflush(err);
}

void progress_end(progress_state* p, FILE* err) {
  if (p->enabled && p->last_print > p->start) {
    fputs("\r\033[K", err);
    fflush(err);
  }
}
