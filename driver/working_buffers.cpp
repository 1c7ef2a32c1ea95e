// The working buffers as the driver allocates them: with every stage's
// scratch. A file of its own, so that a stage's tests can allocate them
// without linking the driver's frame entry.
#include "analysis/analysis.h"
#include "driver/driver.h"
#include "frame/buffers.h"
#include "temporal/temporal.h"

size_t worker_scratch_floats_for(int32_t cw, int32_t ch) {
  const size_t a = analysis_scratch_floats(cw, ch);
  const size_t t = temporal_scratch_floats(cw, ch);
  return a > t ? a : t;
}

bool allocate_working_buffers() {
  return allocate_buffers(worker_scratch_floats_for(canvas_w, canvas_h));
}
