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
#include "analysis/column_load.h"
#include "analysis/columns.h"
#include "analysis/detail_shrink.h"
#include "analysis/ring_store.h"
#include "driver/driver.h"
#include "frame/buffers.h"
#include "frame/stage_params.h"
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

// Skips a benchmark whose kernel needs a level this processor lacks.
bool lacks_level(benchmark::State& state, int level) {
  if (detect_simd_level() >= level) return false;
  state.SkipWithError("the processor lacks this kernel's instructions");
  return true;
}

template <synthesize_level_fn fn, int level>
void bm_synthesize(benchmark::State& state) {
  if (lacks_level(state, level)) return;
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

// Column-group kernels: `lanes` columns of n rows at once; items are samples.
template <band_split_cols_fn fn, int lanes, int level>
void bm_band_split_cols(benchmark::State& state) {
  if (lacks_level(state, level)) return;
  const int n = (int)state.range(0);
  bench_lines l(3, lanes * n);
  for (auto _ : state) {
    fn(n, l[0], l[1], l[2]);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * lanes * n);
}

template <low_merge_cols_fn fn, int lanes, int level>
void bm_low_merge_cols(benchmark::State& state) {
  if (lacks_level(state, level)) return;
  const int m = (int)state.range(0);
  bench_lines l(2, 2 * lanes * m);
  for (auto _ : state) {
    fn(l[0], m, l[1]);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * lanes * m);
}

template <synthesize_cols_fn fn, int lanes, int level>
void bm_synthesize_cols(benchmark::State& state) {
  if (lacks_level(state, level)) return;
  const int n = (int)state.range(0);
  bench_lines l(3, 2 * lanes * n);
  for (auto _ : state) {
    fn(l[0], l[1], n, l[2]);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 2 * lanes * n);
}

template <keep_shrink_cols_fn fn, int lanes, int level>
void bm_keep_shrink_cols(benchmark::State& state) {
  if (lacks_level(state, level)) return;
  const int m = (int)state.range(0);
  bench_lines l(4, lanes * m);
  for (auto _ : state) {
    std::memcpy(l[2], l[0], sizeof(float) * lanes * m);
    std::memcpy(l[3], l[1], sizeof(float) * lanes * m);
    fn(l[2], l[3], m, 20.0f, 0.4f, 6.5f);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * lanes * m);
}

template <rows_to_cols_fn fn, int lanes, int level>
void bm_rows_to_cols(benchmark::State& state) {
  if (lacks_level(state, level)) return;
  const int n = (int)state.range(0);
  bench_lines src(1, (size_t)lanes * n), dst(1, (size_t)lanes * n);
  for (auto _ : state) {
    fn(src[0], n, n, dst[0]);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * lanes * n);
}

// A ring of five slots as large as a frame's chroma part A, one slot's lines
// written per pass, as in the stage.
template <ring_store_cols_fn fn, int lanes, int level>
void bm_ring_store_cols(benchmark::State& state) {
  if (lacks_level(state, level)) return;
  const int n = 1152, k = 5, lines = (int)state.range(0);
  bench_lines src(1, (size_t)lanes * n), ring(1, (size_t)lines * n * k);
  int slot = 0;
  for (auto _ : state) {
    for (int l = 0; l + lanes <= lines; l += lanes)
      fn(src[0], n, ring[0] + ((size_t)l * k + slot) * n, (ptrdiff_t)n * k);
    slot = (slot + 1) % k;
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * (int64_t)lines * n);
}

// A block's 16 luma columns into the rows of a 1984-wide canvas, on whole
// cache lines; items are samples.
template <store_block_rows_fn fn, int lanes, int level>
void bm_store_block_rows(benchmark::State& state) {
  if (lacks_level(state, level)) return;
  const int rows = 1152, stride = 1984;
  bench_lines groups(16 / lanes, (size_t)lanes * rows), canvas(1, (size_t)rows * stride);
  std::vector<const float*> src(groups.line.begin(), groups.line.end());
  int x = 0;
  for (auto _ : state) {
    fn(src.data(), rows, canvas[0] + x, stride);
    x = (x + 16) % stride;
    benchmark::ClobberMemory();
  }
  if (level > simd_ref) store_fence_sse2();
  state.SetItemsProcessed(state.iterations() * 16 * rows);
}

// Every block of a 1920x1088 frame (per-field loading); items are pixels.
template <load_block_fn fn, int lanes, int level>
void bm_load_block(benchmark::State& state) {
  if (lacks_level(state, level)) return;
  const int w = 1920, h = 1088, rows = 1152;
  std::vector<PIXEL_YC> frame((size_t)w * h, PIXEL_YC{100, -20, 30});
  bench_lines groups(32 / lanes, (size_t)lanes * rows);
  for (auto _ : state) {
    for (int x0 = 0; x0 < w; x0 += 16) fn(frame.data(), w, x0, h, rows, 1, groups.line.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * (int64_t)w * h);
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
    allocate_working_buffers();
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
BENCHMARK(bm_low_merge<low_merge_ref>)->Arg(256)->Arg(576);
BENCHMARK(bm_synthesize<synthesize_level_ref, simd_ref>)->Arg(32)->Arg(288)->Arg(992);
BENCHMARK(bm_synthesize<synthesize_level_sse2, simd_sse2>)->Arg(32)->Arg(288)->Arg(992);
BENCHMARK(bm_synthesize<synthesize_level_avx2, simd_avx2>)->Arg(32)->Arg(288)->Arg(992);
BENCHMARK(bm_keep_and_shrink<keep_mask_ref, shrink_details_ref>)->Arg(992)->Arg(576)->Arg(32);
#define NIVORA_COLS_BENCH(bm, kernel, args)                              \
  BENCHMARK(bm<kernel##_x4_ref, 4, simd_ref>) args;                      \
  BENCHMARK(bm<kernel##_x4_sse2, 4, simd_sse2>) args;                    \
  BENCHMARK(bm<kernel##_x8_avx2, 8, simd_avx2>) args
NIVORA_COLS_BENCH(bm_band_split_cols, band_split, ->Arg(1152)->Arg(64));
NIVORA_COLS_BENCH(bm_low_merge_cols, low_merge, ->Arg(576));
NIVORA_COLS_BENCH(bm_synthesize_cols, synthesize, ->Arg(72)->Arg(288));
NIVORA_COLS_BENCH(bm_keep_shrink_cols, keep_shrink, ->Arg(576)->Arg(36));
NIVORA_COLS_BENCH(bm_rows_to_cols, rows_to_cols, ->Arg(1984));
NIVORA_COLS_BENCH(bm_ring_store_cols, ring_store, ->Arg(992)->Unit(benchmark::kMicrosecond));
NIVORA_COLS_BENCH(bm_store_block_rows, store_block_rows, );
#undef NIVORA_COLS_BENCH
BENCHMARK(bm_load_block<load_block_x4_ref, 4, simd_ref>)->Unit(benchmark::kMicrosecond);
BENCHMARK(bm_load_block<load_block_x4_sse2, 4, simd_sse2>)->Unit(benchmark::kMicrosecond);
BENCHMARK(bm_load_block<load_block_x8_avx2, 8, simd_avx2>)->Unit(benchmark::kMicrosecond);
BENCHMARK(bm_spatial_stage)
    ->ArgNames({"hd", "threads", "level"})
    ->ArgsProduct({{0, 1}, {1, 2}, {simd_sse3, simd_avx2}})
    ->Args({0, 1, simd_ref})
    ->Args({1, 1, simd_ref})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(bm_spatial_pass)
    ->ArgNames({"hd", "rows"})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond);
