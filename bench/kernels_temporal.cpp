// Benchmarks of the temporal subsystem: the fit per window length, the row
// synthesis, conversion and pixel packing kernels, and the two working stages
// (temporal fit with band and vertical synthesis; output conversion) on whole
// frames.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <thread>
#include <vector>

#include "driver/driver.h"
#include "frame/buffers.h"
#include "host/cpu.h"
#include "host/settings.h"
#include "temporal/synthesize_level.h"
#include "temporal/temporal.h"

namespace {

struct aligned_block {
  std::vector<float> store;
  float* p;
  explicit aligned_block(size_t n) : store(n + 16) {
    p = store.data();
    while (reinterpret_cast<uintptr_t>(p) % 64) ++p;
  }
};

void fill_random(float* p, size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> u(-20.0f, 20.0f);
  for (size_t i = 0; i < n; ++i) p[i] = u(rng);
}

// --- kernels -------------------------------------------------------------

const temporal_fit_fn fit_kernels[3][4] = {
    {temporal_fit_w3_ref, temporal_fit_w5_ref, temporal_fit_w7_ref, temporal_fit_w9_ref},
    {temporal_fit_w3_sse2, temporal_fit_w5_sse2, temporal_fit_w7_sse2, temporal_fit_w9_sse2},
    {temporal_fit_w3_avx2, temporal_fit_w5_avx2, temporal_fit_w7_avx2, temporal_fit_w9_avx2}};
const char* const kernel_names[3] = {"ref", "sse2", "avx2"};

// One luma line's worth of positions (1984), ring resident in cache.
void BM_temporal_fit(benchmark::State& state) {
  const int radius = static_cast<int>(state.range(0));
  const int simd = static_cast<int>(state.range(1));
  if (simd == 2 && detect_simd_level() < simd_avx2) {
    state.SkipWithError("no AVX2");
    return;
  }
  const int count = 1984, n = 2 * radius + 1;
  aligned_block ring(static_cast<size_t>(count) * n), dst(count), cell(64);
  fill_random(ring.p, static_cast<size_t>(count) * n, 1);
  window_slots ws;
  build_window_slots(&ws, 1000, radius, nullptr);
  store_fit_threshold(cell.p, 8.0f, &ws);
  for (auto _ : state) {
    fit_kernels[simd][radius - 1](count, cell.p, dst.p, ring.p, count, &ws);
    benchmark::DoNotOptimize(dst.p);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * count);
  state.SetLabel(kernel_names[simd]);
}
BENCHMARK(BM_temporal_fit)->ArgsProduct({{1, 2, 3, 4}, {0, 1, 2}});

// One pair of 1984-wide canvas rows, body order.
void BM_d4_synthesize_rows(benchmark::State& state) {
  const int count = 1984;
  const d4_synthesize_rows_fn fn =
      state.range(0) ? d4_synthesize_rows_sse2 : d4_synthesize_rows_ref;
  aligned_block in(4 * count), out(2 * count);
  fill_random(in.p, 4 * count, 2);
  for (auto _ : state) {
    fn(in.p, in.p + count, in.p + 2 * count, in.p + 3 * count, count, 0, out.p, out.p + count);
    benchmark::DoNotOptimize(out.p);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 2 * count);
  state.SetLabel(state.range(0) ? "sse2" : "ref");
}
BENCHMARK(BM_d4_synthesize_rows)->Arg(0)->Arg(1);

// Eight 1920-pixel rows from a canvas and chroma planes of the 1984 x 1152 class.
void BM_pack_pixel_rows(benchmark::State& state) {
  const int w = 1920, canvas = 1984, lines = canvas / 2, rows = 1152;
  const pack_pixel_rows_fn fn = state.range(0) ? pack_pixel_rows_sse2 : pack_pixel_rows_ref;
  aligned_block luma(8 * canvas);
  fill_random(luma.p, 8 * canvas, 3);
  std::vector<int16_t> cb(static_cast<size_t>(lines) * rows, 7), cr(cb.size(), -7);
  std::vector<PIXEL_YC> frame(8 * w);
  for (auto _ : state) {
    fn(luma.p, canvas, cb.data() + 16 * rows + 64, cr.data() + 16 * rows + 64, rows, w,
       frame.data(), w);
    benchmark::DoNotOptimize(frame.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 8 * w);
  state.SetLabel(state.range(0) ? "sse2" : "ref");
}
BENCHMARK(BM_pack_pixel_rows)->Arg(0)->Arg(1);

void BM_row_to_int16(benchmark::State& state) {
  const int count = 1920;
  const row_to_int16_fn fn = state.range(0) ? row_to_int16_sse2 : row_to_int16_ref;
  aligned_block src(count);
  fill_random(src.p, count, 3);
  std::vector<int16_t> dst(count + 8);
  int16_t* d = dst.data();
  while (reinterpret_cast<uintptr_t>(d) % 16) ++d;
  for (auto _ : state) {
    fn(src.p, count, d);
    benchmark::DoNotOptimize(d);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * count);
  state.SetLabel(state.range(0) ? "sse2" : "ref");
}
BENCHMARK(BM_row_to_int16)->Arg(0)->Arg(1);

// --- stages --------------------------------------------------------------

// Working buffers for a frame size and radius, rings filled with noise that
// the thresholds partly include.
struct stage_setup {
  FILTER_PROC_INFO fpi{};
  std::vector<PIXEL_YC> frame;
  bool ok = false;
  stage_setup(int w, int h, int radius) {
    canvas_w = w <= 720 && h <= 480 ? 832 : (w <= 1440 ? 1472 : 1984);
    canvas_h = canvas_w == 832 ? 512 : 1152;
    half_w = canvas_w / 2;
    ring_n = 2 * radius + 1;
    frame_radius = radius;
    ok = allocate_working_buffers();
    if (!ok) return;
    const size_t luma = static_cast<size_t>(ring_n) * canvas_h * canvas_w;
    const size_t chroma = static_cast<size_t>(ring_n) * half_w * canvas_h;
    fill_random(luma_ring_a, luma, 4);
    fill_random(luma_ring_b, luma, 5);
    fill_random(cb_ring_a, chroma, 6);
    fill_random(cb_ring_b, chroma, 7);
    fill_random(cr_ring_a, chroma, 8);
    fill_random(cr_ring_b, chroma, 9);
    fill_random(luma_canvas, static_cast<size_t>(canvas_h) * canvas_w, 10);
    thr3d_y_low_v = thr3d_y_low_h = thr3d_c_low = 6.0f;
    for (int i = 0; i < 3; ++i) thr3d_y_high[i] = thr3d_c_high[i] = 8.0f;
    level4_threshold[0] = level4_threshold[1] = 8.0f;
    for (auto& m : window_missing) m = 0;
    const int w16 = (w + 15) / 16 * 16, h16 = (h + 15) / 16 * 16;
    frame.resize(static_cast<size_t>(w16) * h16);
    fpi.ycp_edit = frame.data();
    fpi.w = w16;
    fpi.h = h16;
    fpi.max_w = w16;
    fpi.max_h = h16;
    fpi.frame = 50;
  }
  ~stage_setup() { free_buffers(); }
};

// The fastest repetition: on a shared machine the least disturbed run.
double fastest(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

// Runs a stage entry on `threads` threads (thread 0 on the caller), as the
// host's multi-thread call does.
void run_threads(MULTI_THREAD_FUNC job, int threads, void* p1, void* p2) {
  std::vector<std::thread> pool;
  for (int id = 1; id < threads; ++id) pool.emplace_back(job, id, threads, p1, p2);
  job(0, threads, p1, p2);
  for (auto& t : pool) t.join();
}

void stage_bench(benchmark::State& state, int stage) {
  const int w = state.range(0) == 0 ? 720 : 1920, h = state.range(0) == 0 ? 480 : 1080;
  const int radius = static_cast<int>(state.range(1));
  const int threads = static_cast<int>(state.range(2));
  select_kernels(detect_simd_level());
  stage_setup s(w, h, radius);
  if (!s.ok) {
    state.SkipWithError("allocation failed");
    return;
  }
  uint8_t field = 0;
  for (auto _ : state) {
    if (stage == 0) run_threads(temporal_job, threads, nullptr, &s.fpi);
    if (stage == 1) run_threads(output_job, threads, &field, &s.fpi);
    benchmark::ClobberMemory();
  }
  state.counters["fps"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_stage_temporal(benchmark::State& state) { stage_bench(state, 0); }
void BM_stage_output(benchmark::State& state) { stage_bench(state, 1); }

// Arguments: size (0: 720x480, 1: 1920x1080), radius, threads.
BENCHMARK(BM_stage_temporal)
    ->ArgsProduct({{0, 1}, {1, 2, 3, 4}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->ComputeStatistics("min", fastest);
// The output does not depend on the radius.
BENCHMARK(BM_stage_output)
    ->ArgsProduct({{0, 1}, {1}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->ComputeStatistics("min", fastest);

}  // namespace
