// How a stage shares its work among the editor's workers.
//
// The float stages (analysis, temporal fit, output) cut their work into
// items of equal cost (column blocks, row groups, line pairs, chroma lines,
// blocks of output rows) and share them among the editor's workers: of
// thread_num workers the first stage_workers(...) take contiguous runs of
// items whose lengths differ by at most one, the others return at once. A
// worker gets at least min_items items, so a small frame wakes fewer workers;
// no more than max_workers take part, each with its own scratch.
#pragma once

constexpr int max_workers = 64;

inline int stage_workers(int count, int min_items, int thread_num) {
  int t = thread_num < 1 ? 1 : (thread_num > max_workers ? max_workers : thread_num);
  const int most = min_items > 1 ? count / min_items : count;
  if (t > most) t = most < 1 ? 1 : most;
  return t;
}

// Items [*first, *end) of count for worker thread_id; false (and an empty
// range) when the worker has none.
inline bool stage_share(int count, int min_items, int thread_id, int thread_num, int* first,
                        int* end) {
  const int t = stage_workers(count, min_items, thread_num);
  *first = *end = 0;
  if (count <= 0 || thread_id < 0 || thread_id >= t) return false;
  *first = (int)((long long)count * thread_id / t);
  *end = (int)((long long)count * (thread_id + 1) / t);
  return *first < *end;
}
