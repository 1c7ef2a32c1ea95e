// Analysis kernels (scalar against SIMD, at the line lengths the stage uses)
// and the whole spatial analysis stage on 720x480 and 1920x1080 frames.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "analysis/analysis.h"
#include "analysis/band_split.h"
#include "analysis/columns_x4.h"
#include "analysis/detail_shrink.h"
#include "analysis/ring_store.h"
#include "driver/buffers.h"
#include "host/cpu.h"
#include "host/settings.h"
#include "temporal/synthesize_level.h"

namespace {

// Aligned scratch filled with noise of roughly pixel scale.
struct bench_lines {
  std::vector<float*> line;
  explicit bench_lines(size_t count, size_t floats) {
    std::mt19937 rng(1);
    for (size_t i = 0; i < count; ++i) {
      float* p = static_cast<float*>(std::aligned_alloc(64, ((floats * 4 + 63) / 64) * 64));
      for (size_t j = 0; j < floats; ++j) p[j] = (float)((int)(rng() % 4001) - 2000) * 0.125f;
      line.push_back(p);
    }
  }
  ~bench_lines() {
    for (float* p : line) std::free(p);
  }
  float* operator[](size_t i) { return line[i]; }
};

template <band_split_fn fn>
void bm_band_split(benchmark::State& state) {
  const int n = (int)state.range(0);
  bench_lines l(3, n);
  for (auto _ : state) {
    fn(n, l[0], l[1], l[2]);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * n);
}

template <low_merge_fn fn>
void bm_low_merge(benchmark::State& state) {
  const int m = (int)state.range(0);
  bench_lines l(2, 2 * m);
  for (auto _ : state) {
    fn(l[0], m, l[1]);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * m);
}

template <synthesize_level_fn fn>
void bm_synthesize(benchmark::State& state) {
  const int n = (int)state.range(0);
  bench_lines l(3, 2 * n);
  for (auto _ : state) {
    fn(l[0], l[1], n, l[2]);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 2 * n);
}

template <keep_mask_fn keep, shrink_details_fn shrink>
void bm_keep_and_shrink(benchmark::State& state) {
  const int m = (int)state.range(0);
  bench_lines l(5, m);
  for (auto _ : state) {
    std::memcpy(l[2], l[0], 4 * m);
    std::memcpy(l[3], l[1], 4 * m);
    keep(l[2], l[3], m, 20.0f, 0.4f, l[4]);
    shrink(l[2], l[3], l[4], m, 6.5f);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * m);
}

template <band_split_x4_fn fn>
void bm_band_split_x4(benchmark::State& state) {
  const int n = (int)state.range(0);
  bench_lines l(3, 4 * n);
  for (auto _ : state) {
    fn(n, l[0], l[1], l[2]);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 4 * n);
}

template <low_merge_x4_fn fn>
void bm_low_merge_x4(benchmark::State& state) {
  const int m = (int)state.range(0);
  bench_lines l(2, 8 * m);
  for (auto _ : state) {
    fn(l[0], m, l[1]);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 4 * m);
}

template <synthesize_x4_fn fn>
void bm_synthesize_x4(benchmark::State& state) {
  const int n = (int)state.range(0);
  bench_lines l(3, 8 * n);
  for (auto _ : state) {
    fn(l[0], l[1], n, l[2]);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 8 * n);
}

template <keep_shrink_x4_fn fn>
void bm_keep_shrink_x4(benchmark::State& state) {
  const int m = (int)state.range(0);
  bench_lines l(4, 4 * m);
  for (auto _ : state) {
    std::memcpy(l[2], l[0], 16 * m);
    std::memcpy(l[3], l[1], 16 * m);
    fn(l[2], l[3], m, 20.0f, 0.4f, 6.5f);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 4 * m);
}

template <ring_store_x4_fn fn>
void bm_ring_store_x4(benchmark::State& state) {
  const int n = (int)state.range(0), k = 5;
  bench_lines src(1, 4 * n), ring(1, (size_t)4 * n * k);
  for (auto _ : state) {
    fn(src[0], n, ring[0], (ptrdiff_t)n * k, 4 * k);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 4 * n);
}

// ---- the whole stage --------------------------------------------------------

struct stage_bench_frame {
  std::vector<PIXEL_YC> pixels;
  FILTER_PROC_INFO fpi{};
  analysis_params ap{};
};

// A 720x480 (832x512 canvas) or 1920x1088 (1984x1152 canvas) frame of noisy
// gradients, buffers allocated for a five-frame window.
stage_bench_frame& stage_frame(int which) {
  static stage_bench_frame frames[2];
  const int w = which ? 1920 : 720, h = which ? 1088 : 480;
  const int cw = which ? 1984 : 832, ch = which ? 1152 : 512;
  if (canvas_w != cw || canvas_h != ch || ring_n != 5 || !luma_canvas) {
    canvas_w = cw;
    canvas_h = ch;
    ring_n = 5;
    allocate_buffers();
  }
  int track[9] = {2, 8, 8, 8, 8, 8, 8, 5, 5};
  int check[4] = {1, 0, 0, 0};
  derive_settings(track, check);
  stage_bench_frame& f = frames[which];
  if (f.pixels.empty()) {
    std::mt19937 rng(3);
    f.pixels.resize((size_t)w * h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        f.pixels[(size_t)y * w + x] = PIXEL_YC{(short)(1000 + 3 * x + 2 * y + (int)(rng() % 41) - 20),
                                               (short)(-200 + y + (int)(rng() % 21) - 10),
                                               (short)(300 - x / 2 + (int)(rng() % 21) - 10)};
    f.fpi.w = w;
    f.fpi.h = h;
    f.fpi.max_w = w;
    f.ap.src = f.pixels.data();
    f.ap.slot = 1;
    f.ap.field_mode = 1;
  }
  return f;
}

void run_pass(MULTI_THREAD_FUNC job, stage_bench_frame& f, int threads) {
  if (threads == 1) {
    job(0, 1, &f.ap, &f.fpi);
    return;
  }
  std::vector<std::thread> pool;
  for (int t = 1; t < threads; ++t) pool.emplace_back(job, t, threads, &f.ap, &f.fpi);
  job(0, threads, &f.ap, &f.fpi);
  for (std::thread& th : pool) th.join();
}

// range(0): 0 for 720x480, 1 for 1920x1080; range(1): threads; range(2): kernel level.
void bm_spatial_stage(benchmark::State& state) {
  stage_bench_frame& f = stage_frame((int)state.range(0));
  const int threads = (int)state.range(1);
  select_kernels((int)state.range(2));
  for (auto _ : state) {
    run_pass(spatial_columns_job, f, threads);
    run_pass(spatial_rows_job, f, threads);
  }
  select_kernels(detect_simd_level());
  state.SetItemsProcessed(state.iterations());  // frames
}

void bm_spatial_pass(benchmark::State& state) {
  stage_bench_frame& f = stage_frame((int)state.range(0));
  select_kernels(detect_simd_level());
  MULTI_THREAD_FUNC job = state.range(1) ? spatial_rows_job : spatial_columns_job;
  for (auto _ : state) run_pass(job, f, 1);
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(bm_band_split<band_split_ref>)->Arg(1984)->Arg(1152)->Arg(248)->Arg(64);
BENCHMARK(bm_band_split<band_split_sse3>)->Arg(1984)->Arg(1152)->Arg(248)->Arg(64);
BENCHMARK(bm_low_merge<low_merge_ref>)->Arg(256)->Arg(576);
BENCHMARK(bm_low_merge<low_merge_sse2>)->Arg(256)->Arg(576);
BENCHMARK(bm_synthesize<synthesize_level_ref>)->Arg(32)->Arg(288)->Arg(992);
BENCHMARK(bm_synthesize<synthesize_level_sse3>)->Arg(32)->Arg(288)->Arg(992);
BENCHMARK(bm_keep_and_shrink<keep_mask_ref, shrink_details_ref>)->Arg(992)->Arg(576)->Arg(32);
BENCHMARK(bm_keep_and_shrink<keep_mask_sse2, shrink_details_sse2>)->Arg(992)->Arg(576)->Arg(32);
BENCHMARK(bm_band_split_x4<band_split_x4_ref>)->Arg(1152)->Arg(64);
BENCHMARK(bm_band_split_x4<band_split_x4_sse2>)->Arg(1152)->Arg(64);
BENCHMARK(bm_low_merge_x4<low_merge_x4_ref>)->Arg(576);
BENCHMARK(bm_low_merge_x4<low_merge_x4_sse2>)->Arg(576);
BENCHMARK(bm_synthesize_x4<synthesize_x4_ref>)->Arg(72)->Arg(288);
BENCHMARK(bm_synthesize_x4<synthesize_x4_sse2>)->Arg(72)->Arg(288);
BENCHMARK(bm_keep_shrink_x4<keep_shrink_x4_ref>)->Arg(576)->Arg(36);
BENCHMARK(bm_keep_shrink_x4<keep_shrink_x4_sse2>)->Arg(576)->Arg(36);
BENCHMARK(bm_ring_store_x4<ring_store_x4_ref>)->Arg(1152);
BENCHMARK(bm_ring_store_x4<ring_store_x4_sse2>)->Arg(1152);
BENCHMARK(bm_spatial_stage)
    ->ArgNames({"hd", "threads", "level"})
    ->Args({0, 1, simd_sse3})
    ->Args({0, 2, simd_sse3})
    ->Args({1, 1, simd_sse3})
    ->Args({1, 2, simd_sse3})
    ->Args({0, 1, simd_ref})
    ->Args({1, 1, simd_ref})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(bm_spatial_pass)
    ->ArgNames({"hd", "rows"})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond);
