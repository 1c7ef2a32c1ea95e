// The three stages: temporal fit and band synthesis, vertical synthesis of
// luma, output conversion. Jobs are called for thread_id 0..T-1 in turn.
#include "host/cpu.h"
#include "host/settings.h"
#include "temporal/synthesize_level.h"
#include "temporal_test_util.h"

namespace {

void run_job(MULTI_THREAD_FUNC job, int threads, void* p1, void* p2) {
  for (int id = 0; id < threads; ++id) job(id, threads, p1, p2);
}

// Every slot near a per-position centre, so the thresholds take some
// neighbours and not others. Ring B's never-read heads [0, len/16) are NaN.
void fill_rings(int n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> centre(-400.0f, 400.0f), near(-12.0f, 12.0f);
  auto fill = [&](float* a, float* b, long lines, int len) {
    for (long g = 0; g < lines * len / 4 * n; ++g)
      for (int k = 0; k < 4; ++k) {
        a[g * 4 + k] = (g % n ? a[(g - 1) * 4 + k] : centre(rng)) + near(rng);
        b[g * 4 + k] = g / n * 4 % len < len / 16 ? quiet_nan : centre(rng) / 8 + near(rng);
      }
  };
  fill(luma_ring_a, luma_ring_b, canvas_h, canvas_w);
  fill(cb_ring_a, cb_ring_b, half_w, canvas_h);
  fill(cr_ring_a, cr_ring_b, half_w, canvas_h);
  frame_radius = (n - 1) / 2;
  thr3d_y_low_v = 3, thr3d_y_low_h = 5, thr3d_y_high[1] = 4, thr3d_y_high[2] = 6;
  thr3d_c_low = 7, thr3d_c_high[0] = 2, thr3d_c_high[1] = 3, thr3d_c_high[2] = 8;
  level4_threshold[0] = 9, level4_threshold[1] = 10;
}

// A synthesis stand-in mixing all its inputs; logs the four calls of one line.
struct synthesis_call {
  int n;
  std::vector<float> a, hb, out;
};
int spy_calls, spy_first;
std::vector<synthesis_call> spy_log;
void spy_synthesize(const float* a, const float* b, int n, float* out) {
  for (int k = 0; k < 2 * n; ++k) out[k] = 0.5f * a[k] + 0.25f * b[n + k / 2];
  if (spy_calls >= spy_first && spy_calls < spy_first + 4)
    spy_log.push_back({n, {a, a + 2 * n}, {b + n, b + 2 * n}, {out, out + 2 * n}});
  ++spy_calls;
}

// The scalar fit of count positions from `first` (threshold 0: the current values).
std::vector<float> fitted(const float* ring, long first, int count, float thr,
                          const window_slots& ws) {
  const temporal_fit_fn ref[4] = {temporal_fit_w3_ref, temporal_fit_w5_ref, temporal_fit_w7_ref,
                                  temporal_fit_w9_ref};
  aligned_floats cell(32), dst(count);
  store_fit_threshold(cell.p, thr, &ws);
  ref[ws.radius - 1](count, cell.p, dst.p, ring, static_cast<int>(first), &ws);
  return {dst.p, dst.p + count};
}

// Runs the stage with its outputs poisoned first; returns them as bytes.
std::vector<char> run_temporal(int threads, FILTER_PROC_INFO* fpi) {
  const size_t luma = 4ul * canvas_h * canvas_w, chroma = 2ul * half_w * canvas_h;
  std::memset(luma_canvas, 0xff, luma), std::memset(cb_out, 0x77, chroma),
      std::memset(cr_out, 0x77, chroma);
  run_job(temporal_job, threads, nullptr, fpi);
  std::vector<char> all(reinterpret_cast<char*>(luma_canvas),
                        reinterpret_cast<char*>(luma_canvas) + luma);
  all.insert(all.end(), reinterpret_cast<char*>(cb_out), reinterpret_cast<char*>(cb_out) + chroma);
  all.insert(all.end(), reinterpret_cast<char*>(cr_out), reinterpret_cast<char*>(cr_out) + chroma);
  return all;
}

}  // namespace

// One line per lane through its four syntheses: L4 and every detail band
// fitted with the lane's threshold (luma level 1 unfiltered, chroma level 1
// filtered), each low band the previous synthesis, the last one the result.
// Frame 36 is missing: close to the others, it must still take no part.
TEST(TemporalStage, LanesFitEachBandWithItsThresholdAndSkipAMissingFrame) {
  canvas_buffers buffers(832, 512, 5);
  ASSERT_TRUE(buffers.ok);
  fill_rings(5, 21);
  FILTER_PROC_INFO fpi{};
  fpi.frame = 35;
  window_missing[3] = 1;
  window_slots ws;
  build_window_slots(&ws, 35, 2, window_missing);
  struct restore {
    synthesize_level_fn real = synthesize_level;
    ~restore() { synthesize_level = real, window_missing[3] = 0; }
  } restore_after;
  synthesize_level = spy_synthesize;
  const int lines[4] = {137, 300, 0, 415};  // lane 1 starts at canvas row 256
  const float thr[4][5] = {{3, 9, 6, 4, 0}, {5, 9, 6, 4, 0}, {7, 10, 8, 3, 2}, {7, 10, 8, 3, 2}};
  for (int lane = 0; lane < 4; ++lane) {
    const float* ra[4] = {luma_ring_a, luma_ring_a, cb_ring_a, cr_ring_a};
    const float* rb[4] = {luma_ring_b, luma_ring_b, cb_ring_b, cr_ring_b};
    const int len = lane < 2 ? canvas_w : canvas_h, j = lines[lane];
    spy_log.clear(), spy_calls = 0, spy_first = 4 * (j - (lane == 1 ? 256 : 0));
    temporal_job(lane, 4, nullptr, &fpi);
    ASSERT_EQ(spy_log.size(), 4u);
    for (int level = 4; level >= 1; --level) {
      const synthesis_call& call = spy_log[4 - level];
      const int m = len >> level;
      const long at = static_cast<long>(j) * len + m;
      SCOPED_TRACE(::testing::Message() << "lane " << lane << ", level " << level);
      ASSERT_EQ(call.n, m);
      const auto low =
          level == 4 ? fitted(ra[lane], at - m, m, thr[lane][0], ws) : spy_log[3 - level].out;
      ASSERT_TRUE(same_bits(low.data(), call.a.data(), m, 0)) << "low band";
      ASSERT_TRUE(same_bits(fitted(ra[lane], at, m, thr[lane][5 - level], ws).data(),
                            call.a.data() + m, m, 0));
      ASSERT_TRUE(same_bits(fitted(rb[lane], at, m, thr[lane][5 - level], ws).data(),
                            call.hb.data(), m, 0));
    }
    for (int i = 0; i < len; ++i)
      if (lane < 2)
        ASSERT_EQ(float_bits(luma_canvas[j * len + i]), float_bits(spy_log[3].out[i])) << i;
      else
        ASSERT_EQ((lane == 2 ? cb_out : cr_out)[j * len + i], sample_to_int16(spy_log[3].out[i]))
            << i;
  }
}

// Also: every output written, and no never-read (NaN) value read.
TEST(TemporalStage, ResultDoesNotDependOnThreadsOrKernels) {
  for (int radius : {1, 4}) {
    canvas_buffers buffers(832, 512, 2 * radius + 1);
    ASSERT_TRUE(buffers.ok);
    fill_rings(2 * radius + 1, 40 + radius);
    FILTER_PROC_INFO fpi{};
    fpi.frame = 57;
    select_kernels(simd_ref);
    const auto ref = run_temporal(1, &fpi);
    for (int i = 0; i < canvas_h * canvas_w; ++i) ASSERT_FALSE(std::isnan(luma_canvas[i])) << i;
    for (int i = 0; i < half_w * canvas_h; ++i)
      ASSERT_TRUE(cb_out[i] != 0x7777 && cr_out[i] != 0x7777);
    select_kernels(detect_simd_level());
    for (int threads : {1, 2, 3, 4, 7}) EXPECT_TRUE(run_temporal(threads, &fpi) == ref) << threads;
  }
}

TEST(VerticalSynthesis, EachColumnSynthesisedWhateverThreadsKernelsAndRange) {
  canvas_buffers buffers(832, 512, 3);
  ASSERT_TRUE(buffers.ok);
  std::mt19937 rng(8);
  std::uniform_real_distribution<float> u(-3000.0f, 3000.0f);
  std::vector<float> input(canvas_h * canvas_w), expect(input.size());
  for (auto& v : input) v = u(rng);
  aligned_floats col(canvas_h), res(canvas_h);
  for (int x = 0; x < canvas_w; ++x) {  // each column gathered, by the scalar line kernel
    for (int r = 0; r < canvas_h; ++r) col[r] = input[r * canvas_w + x];
    d4_synthesize_ref(col.p, canvas_h / 2, res.p);
    for (int r = 0; r < canvas_h; ++r) expect[r * canvas_w + x] = res[r];
  }
  for (int level : {int(simd_ref), detect_simd_level()})
    for (int threads : {1, 2, 3, 4, 7}) {
      select_kernels(level);
      std::copy(input.begin(), input.end(), luma_canvas);
      run_job(vertical_synthesis_job, threads, nullptr, nullptr);
      ASSERT_TRUE(same_bits(expect.data(), luma_canvas, expect.size(), level)) << threads;
    }
  std::copy(input.begin(), input.end(), luma_canvas);  // an unaligned range touches only itself
  vertical_synthesis_columns(3, 18, lane0_line[0], lane0_line[1]);
  for (int i = 0; i < canvas_h * canvas_w; ++i)
    ASSERT_EQ(float_bits(luma_canvas[i]),
              float_bits((i % canvas_w - 3u) < 15u ? expect[i] : input[i]));
}

// Luma encodes its canvas position, chroma its line and sample; the host frame
// is larger than the picture and filled with a guard pixel. 720 x 480 on
// 832 x 512: rows 16..495, columns 56..775, chroma lines 28..387; per field,
// even rows from canvas row 8 on and odd rows from 256 + 8 on.
TEST(OutputStage, PlacementPerFieldChromaPairsGuardsAndThreads) {
  canvas_buffers buffers(832, 512, 3);
  ASSERT_TRUE(buffers.ok);
  auto luma_at = [](int r, int c) { return (r * 37 + c * 11) % 16000 - 8000 + 0.25f; };
  auto cb_at = [](int l, int r) { return int16_t((l * 13 + r * 7) % 16000 - 8000); };
  for (int r = 0; r < canvas_h; ++r) {
    for (int c = 0; c < canvas_w; ++c) luma_canvas[r * canvas_w + c] = luma_at(r, c);
    for (int l = 0; l < half_w; ++l)
      cb_out[l * canvas_h + r] = cb_at(l, r), cr_out[l * canvas_h + r] = -cb_at(l, r);
  }
  const int w = 720, h = 480, max_w = 736, max_h = 490;
  for (uint8_t field : {0, 1}) {
    std::vector<PIXEL_YC> first;
    for (int threads : {1, 2, 3, 4, 7}) {
      std::vector<PIXEL_YC> frame(max_w * max_h, PIXEL_YC{0x1234, 0x2345, 0x3456});
      FILTER_PROC_INFO fpi{};
      fpi.ycp_edit = frame.data(), fpi.w = w, fpi.h = h, fpi.max_w = max_w, fpi.max_h = max_h;
      run_job(output_job, threads, &field, &fpi);
      if (threads == 1) first = frame;
      ASSERT_EQ(0, std::memcmp(first.data(), frame.data(), frame.size() * 6)) << threads;
    }
    for (int y = 0; y < max_h; ++y)
      for (int x = 0; x < max_w; ++x) {
        const PIXEL_YC p = first[y * max_w + x];
        const int r = field ? (y % 2) * 256 + 8 + y / 2 : 16 + y;
        if (x >= w || y >= h)
          ASSERT_TRUE(p.y == 0x1234 && p.cb == 0x2345 && p.cr == 0x3456) << x << "," << y;
        else  // both pixels of a pair carry the pair's chroma
          ASSERT_TRUE(p.y == sample_to_int16(luma_at(r, 56 + x)) && p.cb == cb_at(28 + x / 2, r) &&
                      p.cr == -cb_at(28 + x / 2, r))
              << x << "," << y;
      }
  }
}
