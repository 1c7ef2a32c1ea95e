// Worker entry of the mosquito-noise stage: filters this thread's band of rows.
#include "frame/stage_params.h"
#include "prefilter/prefilter.h"

void mosquito_nr_job(int thread_id, int thread_num, void* param1, void* param2) {
  const prefilter_params* p = static_cast<const prefilter_params*>(param1);
  const FILTER_PROC_INFO* fpip = static_cast<const FILTER_PROC_INFO*>(param2);
  const int y_begin = thread_id * fpip->h / thread_num;
  const int y_end = (thread_id + 1) * fpip->h / thread_num;
  prefilter_kernels.mosquito_nr_rows(p->src, p->prev, p->next, fpip, p->field_step,
                                     p->strength_c, y_begin, y_end);
}
