// The machine's own memory traffic, as a yardstick for the stages: reading a
// large buffer, and reading one while writing another (streaming stores), on
// one and two threads. The filter's stages stream through rings far larger
// than the caches, so the two-thread gain of these loops bounds theirs.
#include <benchmark/benchmark.h>
#include <immintrin.h>

#include <cstdint>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

constexpr size_t buffer_floats = size_t(128) << 20 >> 2;  // 128 MiB

float* big_buffer(int which) {
  static float* buffers[2] = {nullptr, nullptr};
  if (!buffers[which]) {
    buffers[which] = static_cast<float*>(std::aligned_alloc(64, buffer_floats * sizeof(float)));
    for (size_t i = 0; i < buffer_floats; ++i) buffers[which][i] = float(i & 1023);
  }
  return buffers[which];
}

// Thread t of n: its share of the buffers; copy writes with streaming stores.
void stream_part(int t, int n, bool copy, float* sum_out) {
  const size_t first = buffer_floats / n * t / 16 * 16;
  const size_t end = t == n - 1 ? buffer_floats : buffer_floats / n * (t + 1) / 16 * 16;
  const float* in = big_buffer(0);
  float* out = big_buffer(1);
  __m128 sum = _mm_setzero_ps();
  for (size_t i = first; i < end; i += 4) {
    const __m128 v = _mm_load_ps(in + i);
    if (copy) _mm_stream_ps(out + i, v);
    else sum = _mm_add_ps(sum, v);
  }
  _mm_sfence();
  *sum_out = _mm_cvtss_f32(sum);
}

// range(0): threads; range(1): 0 read, 1 read and write.
void BM_memory_stream(benchmark::State& state) {
  const int threads = int(state.range(0));
  const bool copy = state.range(1) != 0;
  big_buffer(0);
  big_buffer(1);
  float sums[8];
  for (auto _ : state) {
    std::vector<std::thread> pool;
    for (int t = 1; t < threads; ++t) pool.emplace_back(stream_part, t, threads, copy, &sums[t]);
    stream_part(0, threads, copy, &sums[0]);
    for (auto& th : pool) th.join();
    benchmark::DoNotOptimize(sums);
  }
  state.SetBytesProcessed(state.iterations() * int64_t(buffer_floats * sizeof(float)) *
                          (copy ? 2 : 1));
  state.SetLabel(copy ? "read + streaming write" : "read");
}

BENCHMARK(BM_memory_stream)
    ->ArgsProduct({{1, 2}, {0, 1}})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
