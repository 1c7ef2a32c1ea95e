// The editor's multi-thread service over persistent worker threads. A call
// runs func(thread_id, thread_num, param1, param2) for every thread_id at
// once: thread 0 on the calling thread, the others on the workers, and
// returns when all have finished. The threads start once and wait between
// calls; nothing is allocated per call.
//
// The filter makes several calls per frame with little in between, and waking
// a sleeping thread takes about as long as a small stage. So while there are
// no more threads than processors, a waiting thread first watches for the
// next call (or the end of the current one) for a short while, and only then
// sleeps on the condition variable. The caller watches for the end of its
// call longer than the workers watch for the next call: it has nothing else
// to do, and the workers of a stage often finish a few hundred microseconds
// apart (the first stage of a frame waits for a worker to wake up), where a
// caller that had gone to sleep came back 50 to 100 microseconds late, about
// 0.2 ms per 720x480 frame. A worker waiting between frames sleeps soon, so
// the host's own work between frames keeps its processors.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "cli/thread_pool.h"

namespace {

std::vector<std::thread> workers;
int thread_total = 1;
bool spin_first = false;  // waiting threads watch before they sleep
std::mutex pool_lock;
std::condition_variable work_ready;
std::condition_variable work_done;
// Counts calls since the workers started; each worker runs each call once.
// Written under pool_lock after the call's function and parameters.
std::atomic<uint64_t> generation{0};
std::atomic<int> remaining{0};  // workers still running the current call
std::atomic<bool> stopping{false};
MULTI_THREAD_FUNC current_func = nullptr;
void* current_param1 = nullptr;
void* current_param2 = nullptr;

// Workers left waiting when the process ends (a run that returned early) are
// stopped before the condition variable they wait on is destroyed: destroying
// a condition variable that still has a waiter blocks for ever.
struct stop_workers_at_exit {
  ~stop_workers_at_exit() { stop_workers(); }
} stop_at_exit;

constexpr std::chrono::microseconds worker_spin_time(100);   // for the next call
constexpr std::chrono::microseconds caller_spin_time(1000);  // for the end of a call

inline void cpu_relax() {
#if defined(__x86_64__) || defined(__i386__)
  _mm_pause();
#endif
}

// Watches until done() holds or spin_time is over; true when it holds.
template <typename Done>
bool spin_until(Done done, std::chrono::microseconds spin_time) {
  if (!spin_first) return done();
  const auto until = std::chrono::steady_clock::now() + spin_time;
  for (int i = 1;; ++i) {
    if (done()) return true;
    cpu_relax();
    if (i % 64 == 0 && std::chrono::steady_clock::now() >= until) return done();
  }
}

void worker_job(int thread_id) {
  uint64_t seen = 0;
  for (;;) {
    const auto called = [&] {
      return stopping.load(std::memory_order_acquire) ||
             generation.load(std::memory_order_acquire) != seen;
    };
    if (!spin_until(called, worker_spin_time)) {
      std::unique_lock<std::mutex> hold(pool_lock);
      work_ready.wait(hold, called);
    }
    if (stopping.load(std::memory_order_acquire)) return;
    seen = generation.load(std::memory_order_acquire);
    current_func(thread_id, thread_total, current_param1, current_param2);
    if (remaining.fetch_sub(1, std::memory_order_acq_rel) == 1) {
      std::lock_guard<std::mutex> hold(pool_lock);  // the caller may be about to sleep
      work_done.notify_one();
    }
  }
}

}  // namespace

bool start_workers(int thread_count) {
  stop_workers();
  if (thread_count < 1) thread_count = 1;
  thread_total = thread_count;
  const unsigned processors = std::thread::hardware_concurrency();
  spin_first = processors == 0 || unsigned(thread_count) <= processors;
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
    remaining.store(int(workers.size()), std::memory_order_relaxed);
    generation.fetch_add(1, std::memory_order_release);
  }
  work_ready.notify_all();
  func(0, thread_total, param1, param2);
  const auto finished = [] { return remaining.load(std::memory_order_acquire) == 0; };
  if (!spin_until(finished, caller_spin_time)) {
    std::unique_lock<std::mutex> hold(pool_lock);
    work_done.wait(hold, finished);
  }
  return 1;
}
