// Worker entry of the block-noise stage: filters this thread's band of rows.
#include "frame/stage_params.h"
#include "prefilter/prefilter.h"

void block_nr_job(int thread_id, int thread_num, void* param1, void* param2) {
  const prefilter_params* p = static_cast<const prefilter_params*>(param1);
  const FILTER_PROC_INFO* fpip = static_cast<const FILTER_PROC_INFO*>(param2);
  const int y_begin = thread_id * fpip->h / thread_num;
  const int y_end = (thread_id + 1) * fpip->h / thread_num;
  prefilter_kernels.block_nr_rows(fpip, p->src, p->field_step, p->strength_a, p->strength_b,
                                  y_begin, y_end, p->anime);
}
