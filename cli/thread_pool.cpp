// The editor's multi-thread service over persistent worker threads. A call
// runs func(thread_id, thread_num, param1, param2) for every thread_id at
// once: thread 0 on the calling thread, the others on the workers, and
// returns when all have finished. The threads start once and wait between
// calls; nothing is allocated per call.
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "cli/cli.h"

namespace {

std::vector<std::thread> workers;
int thread_total = 1;
std::mutex pool_lock;
std::condition_variable work_ready;
std::condition_variable work_done;
uint64_t generation = 0;  // counts calls since the workers started; each runs once
int remaining = 0;        // workers still running the current call
bool stopping = false;
MULTI_THREAD_FUNC current_func = nullptr;
void* current_param1 = nullptr;
void* current_param2 = nullptr;

void worker_job(int thread_id) {
  uint64_t seen = 0;
  for (;;) {
    MULTI_THREAD_FUNC func;
    void* param1;
    void* param2;
    int total;
    {
      std::unique_lock<std::mutex> hold(pool_lock);
      work_ready.wait(hold, [&] { return stopping || generation != seen; });
      if (stopping) return;
      seen = generation;
      func = current_func;
      param1 = current_param1;
      param2 = current_param2;
      total = thread_total;
    }
    func(thread_id, total, param1, param2);
    std::lock_guard<std::mutex> hold(pool_lock);
    if (--remaining == 0) work_done.notify_one();
  }
}

}  // namespace

bool start_workers(int thread_count) {
  stop_workers();
  if (thread_count < 1) thread_count = 1;
  thread_total = thread_count;
  stopping = false;
  try {
    workers.reserve(thread_count - 1);
    for (int id = 1; id < thread_count; ++id) workers.emplace_back(worker_job, id);
  } catch (...) {
    stop_workers();
    return false;
  }
  return true;
}

void stop_workers() {
  {
    std::lock_guard<std::mutex> hold(pool_lock);
    stopping = true;
  }
  work_ready.notify_all();
  for (std::thread& t : workers) t.join();
  workers.clear();
  thread_total = 1;
  stopping = false;
  generation = 0;  // new workers start having seen generation 0: no stale call reruns

}

int worker_threads() { return thread_total; }

BOOL host_exec_multi_thread_func(MULTI_THREAD_FUNC func, void* param1, void* param2) {
  if (!func) return 0;
  if (workers.empty()) {
    func(0, 1, param1, param2);
    return 1;
  }
  {
    std::lock_guard<std::mutex> hold(pool_lock);
    current_func = func;
    current_param1 = param1;
    current_param2 = param2;
    remaining = int(workers.size());
    ++generation;
  }
  work_ready.notify_all();
  func(0, thread_total, param1, param2);
  std::unique_lock<std::mutex> hold(pool_lock);
  work_done.wait(hold, [] { return remaining == 0; });
  return 1;
}
