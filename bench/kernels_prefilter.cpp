// Benchmarks of the pre-filters: block-noise and mosquito-noise stages on whole
// frames (720x480 and 1920x1088, the rounded 1080p size), scalar, SSE2 and
// AVX2, on one and two threads.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "frame/stage_params.h"
#include "host/cpu.h"
#include "prefilter/prefilter.h"

namespace {

// A frame like decoded video: gradients with a little noise; the neighbours
// are the same picture with fresh noise, so matches and early stops both occur.
void fill_video_like(std::vector<PIXEL_YC>& f, int w, int h, uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> noise(-6, 6);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      f[size_t(y) * w + x] = {int16_t(600 + (x * 3 + y * 2) % 2800 + noise(rng)),
                              int16_t(-300 + (x / 4) % 600 + noise(rng)),
                              int16_t(200 - (y / 4) % 500 + noise(rng))};
}

void run_threads(MULTI_THREAD_FUNC job, int threads, void* p1, void* p2) {
  std::vector<std::thread> pool;
  for (int id = 1; id < threads; ++id) pool.emplace_back(job, id, threads, p1, p2);
  job(0, threads, p1, p2);
  for (auto& t : pool) t.join();
}

// range(0): 0 for 720x480, 1 for 1920x1088; range(1): kernel level 0 scalar,
// 1 SSE2, 3 AVX2; range(2): threads.
void prefilter_bench(benchmark::State& state, bool mosquito) {
  const int w = state.range(0) == 0 ? 720 : 1920, h = state.range(0) == 0 ? 480 : 1088;
  const int level = static_cast<int>(state.range(1));
  if (level > detect_simd_level()) {
    state.SkipWithError("level not available on this processor");
    return;
  }
  const int threads = static_cast<int>(state.range(2));
  std::vector<PIXEL_YC> src(size_t(w) * h), prev(src.size()), next(src.size()), out(src.size());
  fill_video_like(src, w, h, 1);
  fill_video_like(prev, w, h, 2);
  fill_video_like(next, w, h, 3);
  prefilter_select_kernels(level);

  FILTER_PROC_INFO fpip;
  std::memset(&fpip, 0, sizeof fpip);
  fpip.w = w;
  fpip.h = h;
  fpip.max_w = w;
  fpip.max_h = h;
  fpip.ycp_edit = out.data();
  fpip.ycp_temp = out.data();
  prefilter_params params{};
  params.src = src.data();
  params.prev = prev.data();
  params.next = next.data();
  params.field_step = 1;
  params.strength_a = 5 * 8;  // default BlockNR 5
  params.strength_b = 5 * 16;
  params.strength_c = 5 * (w > 720 ? 90 : 8);  // default MosqNR 5
  params.anime = 0;

  for (auto _ : state) {
    run_threads(mosquito ? mosquito_nr_job : block_nr_job, threads, &params, &fpip);
    benchmark::ClobberMemory();
  }
  state.counters["fps"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.SetItemsProcessed(state.iterations() * int64_t(w) * h);
  state.SetLabel(level == 0 ? "ref" : (level < 3 ? "sse2" : "avx2"));
}

void BM_block_nr(benchmark::State& state) { prefilter_bench(state, false); }
void BM_mosquito_nr(benchmark::State& state) { prefilter_bench(state, true); }

BENCHMARK(BM_block_nr)
    ->ArgsProduct({{0, 1}, {0, 1, 3}, {1, 2}})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_mosquito_nr)
    ->ArgsProduct({{0, 1}, {0, 1, 3}, {1, 2}})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
