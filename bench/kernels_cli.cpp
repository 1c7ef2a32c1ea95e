// Benchmarks of the command-line host's input conversion: one 1920-pixel row
// of 8-bit 4:2:0 samples to PIXEL_YC, table version and SSE2 version.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "cli/cli.h"

namespace {

template <void (*convert)(const uint8_t*, const uint8_t*, const uint8_t*, int, int, PIXEL_YC*)>
void bm_eight_bit_row(benchmark::State& state) {
  const int w = 1920;
  std::vector<uint8_t> y(w), cb(w / 2), cr(w / 2);
  for (int x = 0; x < w; ++x) y[x] = uint8_t(x * 7);
  for (int x = 0; x < w / 2; ++x) cb[x] = cr[x] = uint8_t(x * 3);
  std::vector<PIXEL_YC> out(w);
  for (auto _ : state) {
    convert(y.data(), cb.data(), cr.data(), w, 1, out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * w);
}

BENCHMARK_TEMPLATE(bm_eight_bit_row, eight_bit_row_to_pixels_ref);
BENCHMARK_TEMPLATE(bm_eight_bit_row, eight_bit_row_to_pixels_sse2);

}  // namespace
