// Counting the stages' work split (see work_split.h).
#include "driver/work_split.h"

#include "analysis/analysis.h"
#include "driver/driver.h"
#include "temporal/temporal.h"

const char* split_stage_name(int stage) {
  static const char* const names[split_stage_count] = {"columns", "rows", "temporal luma",
                                                       "temporal chroma", "output"};
  return stage >= 0 && stage < split_stage_count ? names[stage] : "?";
}

void split_work(int stage, int w, int h, uint8_t field, int lanes, int thread_num,
                int* per_worker) {
  int32_t cw = 0, ch = 0;
  choose_canvas(w, h, &cw, &ch);
  for (int t = 0; t < thread_num; ++t) {
    int first = 0, end = 0;
    int& work = per_worker[t];
    work = 0;
    switch (stage) {
      case split_columns:
        if (spatial_columns_split(w, t, thread_num, &first, &end)) work = end - first;
        break;
      case split_rows:
        if (spatial_rows_split(ch, lanes, t, thread_num, &first, &end)) work = end - first;
        break;
      case split_temporal_luma:
        if (temporal_luma_split(h, t, thread_num, &first, &end)) {
          // The pairs, and once per run the share touches the pair before.
          int run_first[2], run_end[2];
          const int runs = temporal_luma_runs(h, field, run_first, run_end);
          int offset = 0;
          for (int k = 0; k < runs; ++k) {
            const int len = run_end[k] - run_first[k];
            if (first < offset + len && end > offset) ++work;
            offset += len;
          }
          work += end - first;
        }
        break;
      case split_temporal_chroma:
        if (temporal_chroma_split(w, t, thread_num, &first, &end)) work = end - first;
        break;
      case split_output:
        if (output_split(h, t, thread_num, &first, &end)) work = end - first;
        break;
    }
  }
}

double split_imbalance(const int* per_worker, int workers) {
  long long sum = 0;
  int most = 0;
  for (int t = 0; t < workers; ++t) {
    sum += per_worker[t];
    if (per_worker[t] > most) most = per_worker[t];
  }
  if (sum == 0) return 1.0;
  return (double)most * (double)workers / (double)sum;
}
