#include "test_host.h"

#include <cstring>
#include <thread>

#include "analysis/analysis.h"
#include "cli/editor_records.h"
#include "prefilter/prefilter.h"

namespace {
test_host host_instance;

BOOL exec_multi_thread(MULTI_THREAD_FUNC func, void* param1, void* param2) {
  test_host& th = host_instance;
  th.stages.push_back(func);
  th.stage_params.push_back(param1);
  const FILTER_PROC_INFO* fpip = static_cast<const FILTER_PROC_INFO*>(param2);
  th.stage_sizes.emplace_back(fpip->w, fpip->h);
  if (func == block_nr_job || func == mosquito_nr_job)
    th.prefilter_log.push_back(*static_cast<const prefilter_params*>(param1));
  if (func == spatial_columns_job)
    th.analysis_log.push_back(*static_cast<const analysis_params*>(param1));
  if (th.parallel && th.threads > 1) {
    std::vector<std::thread> workers;
    for (int i = 0; i < th.threads; ++i)
      workers.emplace_back([=] { func(i, th.threads, param1, param2); });
    for (auto& t : workers) t.join();
  } else {
    for (int i = 0; i < th.threads; ++i) func(i, th.threads, param1, param2);
  }
  return 1;
}

BOOL set_cache_size(void*, int w, int h, int frames, int flags) {
  ++host_instance.cache_size_calls;
  host_instance.cache_size_args.push_back(
      {w, h, frames, flags, (int)host_instance.fetches.size()});
  return 1;
}

// One pattern a fetch, for the parts of the frame outside the picture that
// the host's switches name: the columns right of it first, then the rows below.
void scramble_outside(test_host& th, std::vector<PIXEL_YC>& frame) {
  const int kind = th.scrambles++ % 3;
  uint32_t state = 0x9e3779b9u * (uint32_t)th.scrambles;
  auto pattern = [&](int x, int y) {
    PIXEL_YC& p = frame[(size_t)y * th.max_w + x];
    if (kind == 0) {
      state = state * 1664525u + 1013904223u;
      p = PIXEL_YC{(short)(state >> 16), (short)(state >> 4), (short)state};
    } else if (kind == 1) {
      p = PIXEL_YC{0, 0, 0};
    } else if (x >= th.w) {
      p = frame[(size_t)y * th.max_w + th.w - 1];
    } else {
      p = frame[(size_t)(th.h - 1) * th.max_w + x];
    }
  };
  if (th.scramble_right)
    for (int y = 0; y < th.max_h; ++y)
      for (int x = th.w; x < th.max_w; ++x) pattern(x, y);
  if (th.scramble_below)
    for (int y = th.h; y < th.max_h; ++y)
      for (int x = 0; x < th.max_w; ++x) pattern(x, y);
}

PIXEL_YC* get_cache_ex(void*, void*, int n, int* w, int* h) {
  test_host& th = host_instance;
  th.fetches.push_back(n);
  if (n < 0 || n >= (int)th.clip.size() || th.missing.count(n)) return nullptr;
  if (w) *w = th.w;
  if (h) *h = th.h;
  if (th.scramble_below || th.scramble_right) scramble_outside(th, th.clip[n]);
  return th.clip[n].data();
}

BOOL is_active(void*) { return host_instance.active; }
BOOL window_update(void*) {
  ++host_instance.window_updates;
  return 1;
}
}  // namespace

test_host& the_test_host() { return host_instance; }

void test_host_clear_logs() {
  test_host& th = host_instance;
  th.fetches.clear();
  th.cache_size_calls = 0;
  th.cache_size_args.clear();
  th.window_updates = 0;
  th.stages.clear();
  th.stage_params.clear();
  th.stage_sizes.clear();
  th.prefilter_log.clear();
  th.analysis_log.clear();
}

void test_host_setup(int w, int h, int frame_n, int max_w, int max_h,
                     const std::function<PIXEL_YC(int, int, int)>& fill) {
  test_host& th = host_instance;
  const FILTER_DLL* table = GetFilterTable();
  std::memset(&th.exfunc, 0, sizeof th.exfunc);
  th.exfunc.exec_multi_thread_func = exec_multi_thread;
  th.exfunc.set_ycp_filtering_cache_size = set_cache_size;
  th.exfunc.get_ycp_filtering_cache_ex = get_cache_ex;
  th.exfunc.is_filter_active = is_active;
  th.exfunc.filter_window_update = window_update;
  for (int i = 0; i < 9; ++i) th.track[i] = table->track_default[i];
  for (int i = 0; i < 4; ++i) th.check[i] = table->check_default[i];
  editor_copy_filter(&th.filter, table, th.track, th.check, &th.exfunc, nullptr);

  th.w = w;
  th.h = h;
  th.max_w = max_w;
  th.max_h = max_h;
  th.clip.assign(frame_n, std::vector<PIXEL_YC>((size_t)max_w * max_h, PIXEL_YC{0, 0, 0}));
  for (int n = 0; n < frame_n && fill; ++n)
    for (int y = 0; y < h && y < max_h; ++y)
      for (int x = 0; x < w && x < max_w; ++x) th.clip[n][(size_t)y * max_w + x] = fill(n, x, y);
  th.edit.assign((size_t)max_w * max_h, PIXEL_YC{0x55, 0x55, 0x55});
  th.temp.assign((size_t)max_w * max_h, PIXEL_YC{0x55, 0x55, 0x55});
  th.threads = 1;
  th.parallel = false;
  th.active = 1;
  th.missing.clear();
  th.scramble_below = false;
  th.scramble_right = false;
  th.scrambles = 0;
  test_host_clear_logs();
}

BOOL test_host_run(int n) {
  test_host& th = host_instance;
  test_host_clear_logs();
  editor_frame_record(&th.fpip, th.edit.data(), th.temp.data(), th.w, th.h, th.max_w, th.max_h, n,
                      (int)th.clip.size(), nullptr);
  return func_proc(&th.filter, &th.fpip);
}
