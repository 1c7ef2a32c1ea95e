// Loading, initialising and shutting down twice: the second life renders the
// same frames as the first, shutting down frees what initialisation took, a
// second func_exit is harmless, and nothing (module, threads, handles, memory)
// is left behind once the filter is unloaded.
#include <chrono>
#include <thread>

#include "plugin_host.h"

namespace {

constexpr long long mib = 1024 * 1024;

// The buffers for the largest canvas are far larger than this.
constexpr long long init_growth_min = 32 * mib;
// Heap bookkeeping that may stay after everything was freed.
constexpr long long leftover_max = mib;
constexpr int init_exit_cycles = 200;
constexpr long long cycles_leftover_max = 128 * 1024;
// What the system's own bookkeeping may move in the heaps between two walks.
constexpr long long heap_noise_max = 512;
// Loading a module again costs the loader and the module's C runtime a little.
constexpr long long unload_heap_max = 64 * 1024;

bool load_and_attach(const char* dll, loaded_filter& filter, const yc_clip& clip) {
  if (!load_filter(dll, filter)) return false;
  editor_attach(filter, 3);
  editor_use_clip(clip, 0, 0);
  return true;
}

void finish(const char* dll, loaded_filter& filter) {
  editor_detach();
  unload_filter(filter);
  if (filter_module_mapped(dll)) check_failed("the module is still mapped after FreeLibrary");
}

void expect_returns_1(BOOL result, const char* call) {
  if (result != 1) check_failed("%s returned %d", call, result);
}

bool play_clip(const yc_clip& clip, yc_clip& out) {
  const int last = int(clip.frames.size()) - 1;
  const std::string list = "0-" + std::to_string(last) + ",s," + std::to_string(last) + "-0";
  return editor_play(list, out);
}

void print_stats(const char* when, const process_stats& s) {
  std::printf("%-30s memory %8lld KiB, heap %10lld bytes, threads %d, handles %d\n", when,
              s.memory / 1024, s.heap, s.threads, s.handles);
}

}  // namespace

int command_lifecycle(const char* dll, const char* clip_path) {
  yc_clip clip;
  if (!read_clip(clip_path, clip)) return 2;
  yc_clip first, second;
  const process_stats before = measure_process();
  print_stats("before loading", before);

  // First life: initialise and shut down (twice), then render, twice over.
  loaded_filter filter;
  if (!load_and_attach(dll, filter, clip)) return 2;
  FILTER* fp = editor_filter();
  const process_stats base = measure_process();
  print_stats("loaded", base);
  expect_returns_1(fp->func_init(fp), "func_init");
  const process_stats initialised = measure_process();
  print_stats("after func_init", initialised);
  if (initialised.memory < base.memory + init_growth_min)
    check_failed("func_init took only %lld KiB", (initialised.memory - base.memory) / 1024);
  expect_returns_1(fp->func_exit(fp), "func_exit");
  const process_stats exited = measure_process();
  print_stats("after func_exit", exited);
  expect_returns_1(fp->func_exit(fp), "a second func_exit");
  const process_stats exited_twice = measure_process();
  if (exited_twice.memory != exited.memory)
    check_failed("a second func_exit changed the memory by %lld KiB",
                 (exited_twice.memory - exited.memory) / 1024);

  // Many short lives: even a small block left by each would add up.
  for (int i = 0; i < init_exit_cycles; ++i) {
    fp->func_init(fp);
    fp->func_exit(fp);
  }
  const process_stats cycled = measure_process();
  print_stats("after many more", cycled);

  expect_returns_1(fp->func_init(fp), "func_init after func_exit");
  expect_returns_1(fp->func_update(fp, FILTER_UPDATE_STATUS_ALL), "func_update");
  if (!play_clip(clip, first)) check_failed("the first life did not render");
  expect_returns_1(fp->func_exit(fp), "func_exit after rendering");
  const process_stats rendered = measure_process();
  print_stats("after rendering and func_exit", rendered);
  {
    yc_clip again;
    expect_returns_1(fp->func_init(fp), "func_init");
    if (!play_clip(clip, again)) check_failed("the first life did not render again");
    expect_returns_1(fp->func_exit(fp), "func_exit");
  }
  const process_stats rendered_again = measure_process();
  print_stats("after doing it again", rendered_again);
#ifdef _WIN32
  // The Linux allocator keeps freed blocks for reuse and its counts drift;
  // Windows' committed memory and heap walks follow every allocation and release.
  if (exited.heap > base.heap + heap_noise_max)
    check_failed("func_exit left %lld bytes of func_init's heap blocks", exited.heap - base.heap);
  if (cycled.heap > exited.heap + heap_noise_max)
    check_failed("%d more lives left %lld bytes in heap blocks", init_exit_cycles,
                 cycled.heap - exited.heap);
  if (exited.memory > base.memory + leftover_max)
    check_failed("func_exit left %lld KiB of func_init's memory",
                 (exited.memory - base.memory) / 1024);
  if (cycled.memory > exited.memory + cycles_leftover_max)
    check_failed("%d more lives left %lld KiB", init_exit_cycles,
                 (cycled.memory - exited.memory) / 1024);
  if (rendered_again.memory > rendered.memory + leftover_max)
    check_failed("rendering and shutting down once more left %lld KiB more",
                 (rendered_again.memory - rendered.memory) / 1024);
#endif
  finish(dll, filter);
  const process_stats unloaded = measure_process();
  print_stats("after the first unload", unloaded);

  // Second life in a fresh load.
  if (!load_and_attach(dll, filter, clip)) return 2;
  fp = editor_filter();
  expect_returns_1(fp->func_init(fp), "func_init");
  expect_returns_1(fp->func_update(fp, FILTER_UPDATE_STATUS_ALL), "func_update");
  if (!play_clip(clip, second)) check_failed("the second life did not render");
  expect_returns_1(fp->func_exit(fp), "func_exit");
  expect_returns_1(fp->func_exit(fp), "a second func_exit");
  if (!compare_clips(first, second, "first life", "second life"))
    check_failed("the second life rendered different frames");
  second = yc_clip();
  finish(dll, filter);
  // A joined thread may still be counted for a moment while the system takes
  // it out of the process (Linux clears the thread id the join waits for
  // before the thread leaves its group): give it up to a second.
  process_stats after = measure_process();
  for (int i = 0; i < 100 && after.threads != before.threads; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    after = measure_process();
  }
  print_stats("after the second unload", after);

  if (after.threads != before.threads)
    check_failed("%d threads before loading, %d after unloading", before.threads, after.threads);
  if (after.handles > before.handles + 2)
    check_failed("%d handles before loading, %d after unloading", before.handles, after.handles);
#ifdef _WIN32
  if (after.heap > unloaded.heap + unload_heap_max)
    check_failed("the second life left %lld bytes more in heap blocks than the first",
                 after.heap - unloaded.heap);
  if (after.memory > unloaded.memory + leftover_max)
    check_failed("the second life left %lld KiB more than the first",
                 (after.memory - unloaded.memory) / 1024);
#endif
  if (failed_checks() == 0) std::printf("ok: two lives, %zu frames each\n", first.frames.size());
  return failed_checks() ? 1 : 0;
}
