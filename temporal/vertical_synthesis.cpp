// The vertical synthesis of luma runs inside the temporal stage (see
// temporal_luma_pairs), while the canvas lines it needs are still in cache.
#include "temporal/temporal.h"

void vertical_synthesis_job(int /*thread_id*/, int /*thread_num*/, void* /*fp*/, void* /*fpip*/) {}
