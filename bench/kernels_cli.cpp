// Benchmarks of the command-line host's conversions, plain and SSE2 versions:
// one 1920-pixel row of 8-bit 4:2:0 samples to PIXEL_YC, and back (a luma row,
// and a row of both chroma planes from two picture rows).
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

std::vector<PIXEL_YC> pixel_row(int w, int seed) {
  std::vector<PIXEL_YC> row(w);
  for (int x = 0; x < w; ++x)
    row[x] = {short((x * 37 + seed) % 4400 - 150), short((x * 11 + seed) % 4000 - 2000),
              short((x * 13 + seed) % 4000 - 2000)};
  return row;
}

template <void (*convert)(const PIXEL_YC*, int, uint8_t*)>
void bm_luma_back(benchmark::State& state) {
  const int w = 1920;
  const std::vector<PIXEL_YC> row = pixel_row(w, 1);
  std::vector<uint8_t> out(w);
  for (auto _ : state) {
    convert(row.data(), w, out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * w);
}

template <void (*convert)(const PIXEL_YC*, const PIXEL_YC*, int, uint8_t*, uint8_t*)>
void bm_chroma_back(benchmark::State& state) {
  const int w = 1920;
  const std::vector<PIXEL_YC> r0 = pixel_row(w, 1), r1 = pixel_row(w, 2);
  std::vector<uint8_t> cb(w / 2), cr(w / 2);
  for (auto _ : state) {
    convert(r0.data(), r1.data(), w / 2, cb.data(), cr.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * w / 2);
}

BENCHMARK_TEMPLATE(bm_luma_back, luma_to_bytes_ref);
BENCHMARK_TEMPLATE(bm_luma_back, luma_to_bytes_sse2);
BENCHMARK_TEMPLATE(bm_chroma_back, chroma_blocks_to_bytes_ref);
BENCHMARK_TEMPLATE(bm_chroma_back, chroma_blocks_to_bytes_sse2);

}  // namespace
