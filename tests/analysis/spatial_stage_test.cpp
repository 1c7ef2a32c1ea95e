// The spatial analysis stage against a literal model built from the scalar
// line kernels (one column or row at a time, bands in plain arrays), on both
// canvas extremes; thread counts, scalar against SIMD kernels, slot isolation,
// chroma sampling and per-field loading.
#include <thread>

#include "analysis/analysis.h"
#include "analysis/analysis_kernels.h"
#include "analysis/band_split.h"
#include "analysis/column_load.h"
#include "analysis/detail_shrink.h"
#include "clips.h"
#include "driver/driver.h"
#include "frame/buffers.h"
#include "frame/stage_params.h"
#include "host/cpu.h"
#include "host/settings.h"
#include "kernel_check.h"
#include "temporal/synthesize_level.h"

namespace {
const uint32_t marker = 0x7fa5a5a5u;  // a NaN no computation produces

struct frame {
  int w, h, max_w;
  std::vector<PIXEL_YC> px;
  FILTER_PROC_INFO fpi{};
  analysis_params ap{};
  frame(int w_, int h_, int max_w_, uint32_t seed, int slot, int per_field)
      : w(w_), h(h_), max_w(max_w_), px((size_t)max_w_ * h_) {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < max_w; ++x) px[(size_t)y * max_w + x] = clip_pixel(seed, 0, x, y, 60, 0);
    fpi.w = w, fpi.h = h, fpi.max_w = max_w;
    ap = {px.data(), slot, (uint8_t)per_field};
  }
  float sample(int comp, int x, int y) const {
    const PIXEL_YC& p = px[(size_t)y * max_w + x];
    return (float)(comp == 0 ? p.y : comp == 1 ? p.cb : p.cr);
  }
};

// The canvas and the six rings (rings first, chroma before luma).
struct span {
  float* p;
  size_t n;
};
std::vector<span> stage_buffers() {
  const size_t luma = (size_t)ring_n * canvas_h * canvas_w, chroma = (size_t)ring_n * half_w * canvas_h;
  return {{cb_ring_a, chroma}, {cb_ring_b, chroma}, {cr_ring_a, chroma}, {cr_ring_b, chroma},
          {luma_ring_a, luma}, {luma_ring_b, luma}, {luma_canvas, luma / ring_n}};
}

// Allocates the canvas class, derives the settings and marks every float.
void set_canvas(int cw, int ch, int k, int anime, int strength = 8) {
  if (canvas_w != cw || canvas_h != ch || ring_n != k || !luma_canvas) {
    canvas_w = cw, canvas_h = ch, ring_n = k;
    ASSERT_TRUE(allocate_working_buffers());
  }
  const int track[9] = {(k - 1) / 2, 8, 8, strength, 8, 8, strength, 5, 5}, check[4] = {0, anime, 0, 0};
  derive_settings(track, check);
  for (span b : stage_buffers())
    for (size_t i = 0; i < b.n; ++i) b.p[i] = bits_float(marker);
}

// Both passes with `threads` workers, one after the other or really parallel.
void run_stage(frame& f, int threads, bool parallel = false) {
  for (MULTI_THREAD_FUNC job : {spatial_columns_job, spatial_rows_job}) {
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
      if (parallel) pool.emplace_back(job, t, threads, &f.ap, &f.fpi);
      else job(t, threads, &f.ap, &f.fpi);
    }
    for (std::thread& th : pool) th.join();
  }
}

// FNV-1a over the chroma rings, or over everything the stage writes.
uint64_t stage_hash(bool chroma_only = false) {
  uint64_t hash = 1469598103934665603ull;
  const std::vector<span> all = stage_buffers();
  for (size_t b = 0; b < (chroma_only ? 4 : all.size()); ++b)
    for (size_t i = 0; i < all[b].n; ++i) hash = (hash ^ float_bits(all[b].p[i])) * 1099511628211ull;
  return hash;
}

// ---- the model: band line A = [L4 | Ha4 | Ha3 | Ha2 | Ha1], B = [- | Hb4 .. Hb1]
void model_band_line(const float* line, int n, bool luma, float* part_a, float* part_b) {
  const float* thr = luma ? thr2d_y : thr2d_c;
  const float* limit = luma ? limit2d_y : limit2d_c;
  const float floor = luma && !anime_mode ? 0.4f : 0.0f;
  aligned_line low(n), out(n), hb(n), keep(n);
  std::memcpy(low.data(), line, 4 * n);
  for (int level = 0; level < 4; ++level) {
    const int m = (n >> level) / 2;
    band_split_ref(2 * m, low.data(), out.data(), hb.data());
    keep_mask_ref(out.data() + m, hb.data() + m, m, limit[level], floor, keep.data());
    shrink_details_ref(out.data() + m, hb.data() + m, keep.data(), m, thr[level]);
    for (int j = 0; j < m; ++j) part_a[m + j] = out[m + j], part_b[m + j] = hb[m + j], low[j] = out[j];
  }
  std::memcpy(part_a, low.data(), 4 * (n / 16));
}

// Column x of a component, padded as the stage must (per field when asked).
std::vector<float> model_column(const frame& f, int comp, int x) {
  const int fields = f.ap.field_mode ? 2 : 1, pad = (canvas_h - f.h) / (2 * fields);
  std::vector<float> col;
  for (int fi = 0; fi < fields; ++fi) {
    col.insert(col.end(), pad, f.sample(comp, x, fi));
    for (int y = fi; y < f.h; y += fields) col.push_back(f.sample(comp, x, y));
    col.insert(col.end(), pad, f.sample(comp, x, f.h - fields + fi));
  }
  return col;
}

// A luma column after the column pass: [Daubechies-4 low band | Hb1].
std::vector<float> model_luma_column(const frame& f, int x) {
  const int n = canvas_h;
  aligned_line a(n), b(n), work(n), next(n), low(n / 2);
  model_band_line(model_column(f, 0, x).data(), n, true, a.data(), b.data());
  std::memcpy(work.data(), a.data(), 4 * (n / 8));  // [L4 | Ha4]
  for (int len = n / 16; len <= n / 4; len *= 2) {  // then [L(k-1) | Ha(k-1)]
    synthesize_level_ref(work.data(), b.data(), len, next.data());
    std::memcpy(work.data(), next.data(), 8 * len);
    std::memcpy(work.data() + 2 * len, a.data() + 2 * len, 8 * len);
  }
  low_merge_ref(work.data(), n / 2, low.data());
  std::vector<float> out(low.data(), low.data() + n / 2);
  out.insert(out.end(), b.data() + n / 2, b.data() + n);
  return out;
}

// Where position j of line `line` of a slot lies: the ring_n slots' copies of
// a line one after the other.
size_t ring_index(int line, int n, int slot, int j) {
  return ((size_t)line * ring_n + slot) * n + j;
}

// The slot an element of a ring belongs to (rings of lines of n floats).
int slot_of(size_t i, int n) { return (int)((i / n) % ring_n); }

// Line `line` of the slot, read back with the ring's index formula.
::testing::AssertionResult ring_line_is(const float* ring_a, const float* ring_b, int line, int n,
                                        int slot, const float* part_a, const float* part_b) {
  aligned_line got_a(n), got_b(n);
  for (int j = 0; j < n; ++j) {
    const size_t i = ring_index(line, n, slot, j);
    got_a[j] = ring_a[i], got_b[j] = ring_b[i];
  }
  ::testing::AssertionResult r = same_bits(part_a, got_a.data(), n, line, "part A");
  if (r) r = same_bits(part_b + n / 16, got_b.data() + n / 16, n - n / 16, line, "part B");
  return r << " of line " << line;
}

void expect_model(const frame& f) {
  const int W = canvas_w, H = canvas_h, pad = (W - f.w) / 2, slot = f.ap.slot;
  std::vector<float> canvas((size_t)W * H);
  for (int x = 0; x < f.w; ++x) {
    const std::vector<float> col = model_luma_column(f, x);
    auto put = [&](int c) {
      for (int r = 0; r < H; ++r) canvas[(size_t)r * W + c] = col[r];
    };
    put(pad + x);
    for (int c = 0; x == 0 && c < pad; ++c) put(c);  // padding repeats the outer columns
    for (int c = pad + f.w; x == f.w - 1 && c < W; ++c) put(c);
  }
  ASSERT_TRUE(same_bits(canvas.data(), luma_canvas, canvas.size(), 0, "canvas"));
  aligned_line a(W), b(W);
  for (int r = 0; r < H; ++r) {
    model_band_line(&canvas[(size_t)r * W], W, true, a.data(), b.data());
    ASSERT_TRUE(ring_line_is(luma_ring_a, luma_ring_b, r, W, slot, a.data(), b.data())) << "luma";
  }
  for (int comp = 1; comp <= 2; ++comp) {  // chroma line l: pixel column 2 (l - pad/2), clamped
    for (int l = 0; l < W / 2; ++l) {
      const int x = std::min(std::max(2 * l - pad, 0), f.w - 2);
      model_band_line(model_column(f, comp, x).data(), H, false, a.data(), b.data());
      ASSERT_TRUE(ring_line_is(comp == 1 ? cb_ring_a : cr_ring_a, comp == 1 ? cb_ring_b : cr_ring_b, l,
                               H, slot, a.data(), b.data())) << "chroma " << comp;
    }
  }
}
}  // namespace

TEST(SpatialStage, SmallestFrameOnTheSmallCanvasMatchesTheModel) {
  // 16 x 16 on 832 x 512: 408 padding columns, 248 padding rows and 204 chroma
  // padding lines on each side.
  for (int mode = 0; mode < 4; ++mode) {
    set_canvas(832, 512, 3, mode / 2);
    frame f(16, 16, 24, 5 + mode, 2, mode % 2);
    run_stage(f, 2);
    expect_model(f);
  }
  set_canvas(832, 512, 3, 0, 0);  // strength 0: nothing shrunk
  frame f(64, 32, 64, 4, 0, 0);
  run_stage(f, 1);
  expect_model(f);
}

TEST(SpatialStage, FullHdFrameOnTheLargeCanvasMatchesTheModel) {
  // 1920 x 1088 on 1984 x 1152: 32 padding columns and rows, 16 chroma padding lines.
  set_canvas(1984, 1152, 3, 0);
  frame f(1920, 1088, 1920, 9, 1, 1);
  run_stage(f, 4);
  expect_model(f);
}

// 720 / 16 = 45 column blocks and 512 / 8 = 64 row groups: most thread counts
// share them out unevenly.
TEST(SpatialStage, SameResultForEveryThreadCountAndKernelLevel) {
  set_canvas(832, 512, 5, 0);
  frame f(720, 480, 736, 21, 3, 1);
  run_stage(f, 1);
  const uint64_t one = stage_hash();
  for (int threads : {2, 3, 4, 7}) {
    run_stage(f, threads, threads == 4 || threads == 7);  // four jobs really at once
    EXPECT_EQ(stage_hash(), one) << threads << " threads";
  }
  for (int level = simd_ref; level <= detect_simd_level(); ++level) {
    select_kernels(level);
    for (int threads : {1, 3}) {
      run_stage(f, threads, threads == 3);
      EXPECT_EQ(stage_hash(), one) << "kernel level " << level << ", " << threads << " threads";
    }
  }
  select_kernels(detect_simd_level());
}

TEST(SpatialStage, RewritesItsWholeSlotAndNothingElse) {
  set_canvas(832, 512, 5, 0);
  frame f(704, 464, 720, 8, 3, 0);
  run_stage(f, 3);
  for (span b : stage_buffers()) {  // the canvas entirely, the rings in slot 3 only
    const bool luma = b.p == luma_ring_a || b.p == luma_ring_b;
    const int n = luma ? canvas_w : canvas_h;
    for (size_t i = 0; i < b.n; ++i)
      ASSERT_EQ(float_bits(b.p[i]) != marker, b.p == luma_canvas || slot_of(i, n) == 3) << i;
  }
}

TEST(SpatialStage, OddPixelColumnsNeverReachTheChromaBands) {
  set_canvas(832, 512, 3, 0);
  frame f(720, 480, 720, 13, 1, 1);
  run_stage(f, 2);
  const uint64_t before = stage_hash(true);
  for (int y = 0; y < f.h; ++y) {
    for (int x = 1; x < f.w; x += 2) {
      PIXEL_YC& p = f.px[(size_t)y * f.max_w + x];
      p.cb = (short)(8000 - p.cb), p.cr = (short)(-3 * p.cr);
    }
  }
  run_stage(f, 2);
  EXPECT_EQ(stage_hash(true), before);
}

// Every loader version against the column model, with and without per-field
// padding: 16 luma columns, and Cb and Cr of the 8 even pixel columns.
TEST(ColumnLoad, BlockOfSixteenPixelColumnsIntoItsGroups) {
  const int h = 16, max_w = 56, H = 64, x0 = 16;
  std::vector<PIXEL_YC> px((size_t)max_w * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < max_w; ++x)
      px[(size_t)y * max_w + x] = PIXEL_YC{(short)(100 * y + x - 32768 * (x == 17 && y == 3)),
                                           (short)(-100 * y - x), (short)(7 + 1000 * (x % 3) + y)};
  struct version {
    load_block_fn fn;
    int lanes;
  };
  std::vector<version> versions = {{load_block_x4_ref, 4}, {load_block_x4_sse2, 4}, {load_block_x8_ref, 8}};
  if (detect_simd_level() >= simd_avx2) versions.push_back({load_block_x8_avx2, 8});
  for (const version& v : versions) {
    for (int per_field = 0; per_field < 2; ++per_field) {
      std::vector<aligned_line> groups;
      std::vector<float*> dst;
      for (int g = 0; g < 32 / v.lanes; ++g) groups.emplace_back(v.lanes * H, bits_float(marker));
      for (aligned_line& g : groups) dst.push_back(g.data());
      v.fn(px.data(), max_w, x0, h, H, per_field, dst.data());
      // Row r of the column: the field's half, then P copies of its first row,
      // its rows, P copies of its last row.
      const int fields = per_field + 1, half = H / fields, pad = (H - h) / (2 * fields);
      for (int r = 0; r < H; ++r) {
        const int f = r / half, i = std::min(std::max(r % half - pad, 0), h / fields - 1);
        const int y = f + fields * i;
        for (int col = 0; col < 32; ++col) {
          const int comp = col < 16 ? 0 : (col < 24 ? 1 : 2);
          const int x = comp == 0 ? x0 + col : x0 + 2 * (col % 8);
          const int idx = comp == 0 ? col : col % 8;
          const int g = (comp == 0 ? 0 : (comp == 1 ? 16 : 24) / v.lanes) + idx / v.lanes;
          const float want = (float)(comp == 0 ? px[(size_t)y * max_w + x].y
                                                : comp == 1 ? px[(size_t)y * max_w + x].cb
                                                            : px[(size_t)y * max_w + x].cr);
          ASSERT_EQ(float_bits(groups[g][v.lanes * r + idx % v.lanes]), float_bits(want))
              << "lanes " << v.lanes << " per field " << per_field << " row " << r << " column " << col;
        }
      }
    }
  }
}
