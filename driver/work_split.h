// Counting the stages' work split: how much of each stage every worker takes,
// computed from the split functions the stages themselves use. For the
// benchmark's report and the tests; the stages do not call it.
#pragma once

#include <cstdint>

enum split_stage {
  split_columns,          // column pass: blocks of 16 pixel columns
  split_rows,             // row pass: groups of `lanes` canvas rows
  split_temporal_luma,    // temporal luma: line pairs fitted, with each run's pair before
  split_temporal_chroma,  // temporal chroma: lines (a Cb and a Cr line each)
  split_output,           // output conversion: blocks of eight frame rows
  split_stage_count
};
const char* split_stage_name(int stage);

// The work of workers 0 .. thread_num - 1 of a stage for a frame of w x h
// (multiples of 16) on its canvas, in the stage's items, into
// per_worker[0 .. thread_num).
// lanes: the row pass's rows per group (the kernel table's column_lanes).
void split_work(int stage, int w, int h, uint8_t field, int lanes, int thread_num,
                int* per_worker);

// The largest share over the mean share of all `workers` workers (1: even).
double split_imbalance(const int* per_worker, int workers);
