// The working stages: temporal fit with band synthesis and the vertical
// synthesis of luma, then the output conversion. Jobs are called for
// thread_id 0..T-1 in turn.
#include "host/cpu.h"
#include "host/settings.h"
#include "temporal/temporal_kernels.h"
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
    for (long l = 0; l < lines; ++l)
      for (int p = 0; p < len; ++p)
        for (int s = 0; s < n; ++s) {
          const long i = (l * n + s) * len + p;  // position p of line l in slot s
          a[i] = (s ? a[i - len] : centre(rng)) + near(rng);
          b[i] = p < len / 16 ? quiet_nan : centre(rng) / 8 + near(rng);
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

// A synthesis stand-in mixing all its inputs; logs every call.
struct synthesis_call {
  int n;
  std::vector<float> a, hb, out;
};
std::vector<synthesis_call> spy_log;
void spy_synthesize(const float* a, const float* b, int n, float* out) {
  for (int k = 0; k < 2 * n; ++k) out[k] = 0.5f * a[k] + 0.25f * b[n + k / 2];
  spy_log.push_back({n, {a, a + 2 * n}, {b + n, b + 2 * n}, {out, out + 2 * n}});
}

// The scalar fit of count positions from `first` of ring line j
// (threshold 0: the current values).
std::vector<float> fitted(const float* ring, int len, int j, int first, int count, float thr,
                          const window_slots& ws) {
  const temporal_fit_fn ref[4] = {temporal_fit_w3_ref, temporal_fit_w5_ref, temporal_fit_w7_ref,
                                  temporal_fit_w9_ref};
  aligned_floats cell(32), dst(count);
  store_fit_threshold(cell.p, thr, &ws);
  const float* line = ring + static_cast<ptrdiff_t>(j) * ws.n * len;
  ref[ws.radius - 1](count, cell.p, dst.p, line + first, len, &ws);
  return {dst.p, dst.p + count};
}

// Checks the four logged syntheses calls[0..3] of line j: L4 and every detail
// band fitted with its threshold (thr: L4, levels 4, 3, 2, 1), each low band
// the previous synthesis. Returns the line (the last synthesis).
std::vector<float> check_line(const synthesis_call* calls, const float* ring_a, const float* ring_b,
                              int len, int j, const float thr[5], const window_slots& ws) {
  for (int level = 4; level >= 1; --level) {
    const synthesis_call& call = calls[4 - level];
    const int m = len >> level;
    SCOPED_TRACE(::testing::Message() << "line " << j << ", level " << level);
    EXPECT_EQ(call.n, m);
    if (call.n != m) return {};
    const auto low = level == 4 ? fitted(ring_a, len, j, 0, m, thr[0], ws) : calls[3 - level].out;
    EXPECT_TRUE(same_bits(low.data(), call.a.data(), m, 0)) << "low band";
    if (level == 1 && ring_a == luma_ring_a) {  // the current frame's values, unfiltered
      const ptrdiff_t current = (static_cast<ptrdiff_t>(j) * ws.n + ws.slot[ws.radius]) * len + m;
      EXPECT_TRUE(same_bits(ring_a + current, call.a.data() + m, m, 0));
      EXPECT_TRUE(same_bits(ring_b + current, call.hb.data(), m, 0));
      continue;
    }
    EXPECT_TRUE(same_bits(fitted(ring_a, len, j, m, m, thr[5 - level], ws).data(),
                          call.a.data() + m, m, 0));
    EXPECT_TRUE(
        same_bits(fitted(ring_b, len, j, m, m, thr[5 - level], ws).data(), call.hb.data(), m, 0));
  }
  return calls[3].out;
}

struct spy_synthesis {  // puts the spy in place; restores the kernel and the missing flags
  synthesize_level_fn real = temporal_kernels.synthesize_level;
  spy_synthesis() { temporal_kernels.synthesize_level = spy_synthesize, spy_log.clear(); }
  ~spy_synthesis() {
    temporal_kernels.synthesize_level = real;
    for (auto& m : window_missing) m = 0;
  }
};

}  // namespace

// One line of each chroma plane through its four syntheses, chroma level 1
// filtered, the line converted into cb_out or cr_out. Frame 36 is missing:
// close to the others, it must still take no part.
TEST(TemporalStage, ChromaLineFitsEachBandWithItsThresholdAndSkipsAMissingFrame) {
  canvas_buffers buffers(832, 512, 5);
  ASSERT_TRUE(buffers.ok);
  fill_rings(5, 21);
  window_missing[3] = 1;
  window_slots ws;
  build_window_slots(&ws, 35, 2, window_missing);
  select_kernels(detect_simd_level());
  spy_synthesis spy;
  const float thr[5] = {7, 10, 8, 3, 2};
  for (int plane = 0; plane < 2; ++plane) {
    const int j = plane ? 415 : 0;
    spy_log.clear();
    temporal_chroma_lines(&ws, temporal_kernels.fit[1], plane, j, j + 1, 3);
    ASSERT_EQ(spy_log.size(), 4u);
    const auto line = check_line(spy_log.data(), plane ? cr_ring_a : cb_ring_a,
                                 plane ? cr_ring_b : cb_ring_b, canvas_h, j, thr, ws);
    ASSERT_EQ(line.size(), size_t(canvas_h));
    const int16_t* out = (plane ? cr_out : cb_out) + j * canvas_h;
    for (int i = 0; i < canvas_h; ++i) ASSERT_EQ(out[i], sample_to_int16(line[i])) << i;
  }
}

// A luma pair p rebuilds picture rows 2p and 2p + 1 from canvas lines p and
// p + H/2 (L4 thresholds of the vertical-low and -high halves, level 1 taken
// unfiltered from the current frame) and from pair p - 1, which for p = 0 is
// the last pair; pairs 0 and 1 sum in the head order.
TEST(TemporalStage, LumaPairSynthesisesItsLinesAndThePictureRows) {
  canvas_buffers buffers(832, 512, 7);
  ASSERT_TRUE(buffers.ok);
  fill_rings(7, 22);
  window_missing[5] = 1;
  window_slots ws;
  build_window_slots(&ws, 12, 3, window_missing);
  select_kernels(detect_simd_level());
  spy_synthesis spy;
  const int half = canvas_h / 2;
  const float h0 = d4_h0, h1 = d4_h1, h2 = d4_h2, h3 = d4_h3;
  for (int p : {0, 1, 2, 137, half - 1}) {
    SCOPED_TRACE(::testing::Message() << "pair " << p);
    std::memset(luma_canvas, 0xff, 4ul * canvas_h * canvas_w);
    spy_log.clear();
    temporal_luma_pairs(&ws, temporal_kernels.fit[2], p, p + 1, 0);
    ASSERT_EQ(spy_log.size(), 16u);  // lines p - 1, p - 1 + H/2, p, p + H/2
    const int q = (p + half - 1) % half;
    const int lines[4] = {q, q + half, p, p + half};
    std::vector<float> level[4];
    for (int i = 0; i < 4; ++i) {
      const float thr[5] = {lines[i] < half ? 3.0f : 5.0f, 9, 6, 4, 0};
      level[i] = check_line(&spy_log[4 * i], luma_ring_a, luma_ring_b, canvas_w, lines[i], thr, ws);
      ASSERT_EQ(level[i].size(), size_t(canvas_w));
    }
    const float *lp = level[0].data(), *hp = level[1].data(), *l = level[2].data(),
                *h = level[3].data();
    for (int r = 0; r < canvas_h; ++r)
      for (int k = 0; k < canvas_w; ++k) {
        const float got = luma_canvas[r * canvas_w + k];
        if (r == 2 * p)
          ASSERT_EQ(float_bits(got),
                    float_bits(p < 2 ? ((h0 * l[k] + h2 * lp[k]) + h3 * h[k]) + h1 * hp[k]
                                     : ((h0 * l[k] + h3 * h[k]) + h2 * lp[k]) + h1 * hp[k]))
              << k;
        else if (r == 2 * p + 1)
          ASSERT_EQ(float_bits(got),
                    float_bits(p < 2 ? ((h1 * l[k] + h3 * lp[k]) - h2 * h[k]) - h0 * hp[k]
                                     : ((h1 * l[k] - h2 * h[k]) + h3 * lp[k]) - h0 * hp[k]))
              << k;
        else
          ASSERT_EQ(float_bits(got), 0xffffffffu) << "row " << r << " written";
      }
  }
}

// The stage rebuilds what the output reads (the picture's canvas rows, per
// field or not, and its chroma lines) exactly as rebuilding every line would,
// whatever the threads and kernels; no never-read (NaN) value is read.
TEST(TemporalStage, PictureRowsAndLinesMatchTheWholeCanvasWhateverThreadsAndKernels) {
  for (int radius : {1, 2, 4}) {
    canvas_buffers buffers(832, 512, 2 * radius + 1);
    ASSERT_TRUE(buffers.ok);
    fill_rings(2 * radius + 1, 40 + radius);
    window_slots ws;
    build_window_slots(&ws, 57, radius, nullptr);
    select_kernels(simd_ref);
    temporal_luma_pairs(&ws, temporal_kernels.fit[radius - 1], 0, canvas_h / 2, 0);
    temporal_chroma_lines(&ws, temporal_kernels.fit[radius - 1], 0, 0, half_w, 1);
    temporal_chroma_lines(&ws, temporal_kernels.fit[radius - 1], 1, 0, half_w, 2);
    const std::vector<float> luma(luma_canvas, luma_canvas + canvas_h * canvas_w);
    const std::vector<int16_t> cb(cb_out, cb_out + half_w * canvas_h),
        cr(cr_out, cr_out + half_w * canvas_h);
    for (int i = 0; i < canvas_h * canvas_w; ++i) ASSERT_FALSE(std::isnan(luma[i])) << i;
    const int sizes[3][2] = {{720, 480}, {16, 16}, {832 - 32, 512 - 32}};
    for (const auto& size : sizes)
      for (uint8_t field : {0, 1})
        for (int level = simd_sse2; level <= detect_simd_level(); ++level)
          for (int threads : {1, 2, 3, 4, 7}) {
            SCOPED_TRACE(::testing::Message()
                         << "radius " << radius << ", " << size[0] << "x" << size[1] << ", field "
                         << int(field) << ", level " << level << ", " << threads << " threads");
            select_kernels(level);
            field_mode = field;
            std::memset(luma_canvas, 0xff, 4ul * canvas_h * canvas_w);
            std::memset(cb_out, 0x77, 2ul * half_w * canvas_h);
            std::memset(cr_out, 0x77, 2ul * half_w * canvas_h);
            FILTER_PROC_INFO fpi{};
            fpi.frame = 57, fpi.w = size[0], fpi.h = size[1];
            run_job(temporal_job, threads, nullptr, &fpi);
            for (int part = 0; part < 2; ++part) {
              const int r0 = output_canvas_row(part, size[1], field);
              for (int r = r0; r < r0 + size[1] / 2; ++r)
                ASSERT_TRUE(
                    same_bits(&luma[r * canvas_w], luma_canvas + r * canvas_w, canvas_w, r));
            }
            const int line0 = (canvas_w - size[0]) / 4;
            for (int l = line0; l < line0 + size[0] / 2; ++l)
              ASSERT_TRUE(
                  std::equal(&cb[l * canvas_h], &cb[(l + 1) * canvas_h], cb_out + l * canvas_h) &&
                  std::equal(&cr[l * canvas_h], &cr[(l + 1) * canvas_h], cr_out + l * canvas_h))
                  << "chroma line " << l;
          }
    field_mode = 0;
  }
}

// Luma encodes its canvas position, chroma its line and sample; the host frame
// is larger than the picture and filled with a guard pixel. 720 x 480 on
// 832 x 512: rows 16..495, columns 56..775, chroma lines 28..387; per field,
// even rows from canvas row 8 on and odd rows from 256 + 8 on. The smallest
// frame, 16 x 16: rows 248.., columns 408.., chroma lines 204..; per field
// 124.. and 256 + 124...
TEST(OutputStage, PlacementPerFieldChromaPairsGuardsThreadsAndKernels) {
  canvas_buffers buffers(832, 512, 3);
  ASSERT_TRUE(buffers.ok);
  auto luma_at = [](int r, int c) { return (r * 37 + c * 11) % 16000 - 8000 + 0.25f; };
  auto cb_at = [](int l, int r) { return int16_t((l * 13 + r * 7) % 16000 - 8000); };
  for (int r = 0; r < canvas_h; ++r) {
    for (int c = 0; c < canvas_w; ++c) luma_canvas[r * canvas_w + c] = luma_at(r, c);
    for (int l = 0; l < half_w; ++l)
      cb_out[l * canvas_h + r] = cb_at(l, r), cr_out[l * canvas_h + r] = -cb_at(l, r);
  }
  for (int w : {720, 16}) {
    const int h = w == 720 ? 480 : 16, max_w = w + 16, max_h = h + 10;
    for (uint8_t field : {0, 1}) {
      std::vector<PIXEL_YC> first;
      for (int level : {int(simd_ref), detect_simd_level()})
        for (int threads : {1, 2, 3, 4, 7}) {
          select_kernels(level);
          std::vector<PIXEL_YC> frame(max_w * max_h, PIXEL_YC{0x1234, 0x2345, 0x3456});
          FILTER_PROC_INFO fpi{};
          fpi.ycp_edit = frame.data(), fpi.w = w, fpi.h = h, fpi.max_w = max_w, fpi.max_h = max_h;
          run_job(output_job, threads, &field, &fpi);
          if (first.empty()) first = frame;
          ASSERT_EQ(0, std::memcmp(first.data(), frame.data(), frame.size() * 6))
              << "level " << level << ", " << threads << " threads";
        }
      const int row0 = (canvas_h - h) / 2, field0 = (canvas_h - h) / 4;
      const int col0 = (canvas_w - w) / 2, line0 = (canvas_w - w) / 4;
      for (int y = 0; y < max_h; ++y)
        for (int x = 0; x < max_w; ++x) {
          const PIXEL_YC p = first[y * max_w + x];
          const int r = field ? (y % 2) * 256 + field0 + y / 2 : row0 + y;
          if (x >= w || y >= h)
            ASSERT_EQ(pixel_text(p), pixel_text(0x1234, 0x2345, 0x3456)) << x << "," << y;
          else  // both pixels of a pair carry the pair's chroma
            ASSERT_EQ(pixel_text(p), pixel_text(sample_to_int16(luma_at(r, col0 + x)),
                                                cb_at(line0 + x / 2, r), -cb_at(line0 + x / 2, r)))
                << x << "," << y;
        }
    }
  }
}
