// Block motion search on the 8-bit luma pyramid. Every cost is an integer sum
// and candidates are tried in a fixed order (the first of equal costs wins),
// so the vectors do not depend on the kernel level.
#include <algorithm>
#include <climits>
#include <cstdlib>

#include "strong/strong_internal.h"
#include "strong/strong_kernels.h"

namespace {

constexpr int max_coarse = 12;                 // 4x-decimated pixels
constexpr int max_full = 4 * max_coarse + 4;   // full pixels, after the refinements
// A full-size cost reads up to max_full pixels from its block, the
// interpolation of a vector up to max_full - 1 and a half two more.
static_assert(max_full + 2 <= strong_pad, "the search reads outside the padding");
static_assert(max_coarse + 4 <= strong_pad / 4, "the coarse search reads outside the padding");
// The coarsest level still has a pixel of padding.
static_assert(strong_pad >> (strong_max_levels - 1) >= 1, "too many levels for the padding");

// Far enough to bound nothing.
constexpr int unbounded = INT_MAX / 16;

int clampi(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

// Rounded division of a by a positive b (halves away from zero).
int round_div(int a, int b) { return a >= 0 ? (a + b / 2) / b : -((-a + b / 2) / b); }

struct best_cost {
  uint32_t cost = UINT32_MAX;
  int x = 0, y = 0;
  void offer(uint32_t c, int cx, int cy) {
    if (c < cost) cost = c, x = cx, y = cy;
  }
};

// The vectors a search may try: [x0, x1] x [y0, y1].
struct vector_bounds {
  int x0, x1, y0, y1;
};

// Bounds of a 4x-decimated vector of block (bx, by): a block may move
// max_coarse pixels into the padding, where every read of the refinements and
// the compensation stays (a block at the picture's edge). Without the wide
// search (the smallest pictures) the same bound holds for every block; the
// wide search lets a block move across the picture.
vector_bounds coarse_bounds(const strong_geometry& g, int bx, int by) {
  const int reach = g.levels > strong_base_levels ? unbounded : max_coarse;
  const int w2 = g.round_w / 4, h2 = g.round_h / 4;
  return {std::max(-reach, -4 * bx - max_coarse), std::min(reach, w2 - 4 - 4 * bx + max_coarse),
          std::max(-reach, -4 * by - max_coarse), std::min(reach, h2 - 4 - 4 * by + max_coarse)};
}

// Coarse level: SAD of 4x4 blocks, four times the cost plus the vector length
// (shorter vectors win ties), a row of candidates at a time. The row kernel
// may read 20 bytes past the rightmost candidate block: past the 16 bytes of
// padding of the last block column, that is the start of the next row, and
// the plane has 16 rows of padding below the lowest one searched.
void coarse_search(const uint8_t* cur, const uint8_t* ref, int pitch, int cx, int cy, int radius,
                   const vector_bounds& b, best_cost* best) {
  const int x0 = std::max(cx - radius, b.x0), x1 = std::min(cx + radius, b.x1);
  if (x0 > x1) return;
  uint32_t sad[2 * max_coarse + 1];
  for (int dy = std::max(cy - radius, b.y0); dy <= std::min(cy + radius, b.y1); ++dy) {
    strong_kernels.sad4_row(cur, pitch, ref + dy * pitch + x0, pitch, x1 - x0 + 1, sad);
    for (int dx = x0; dx <= x1; ++dx)
      best->offer(4 * sad[dx - x0] + uint32_t(std::abs(dx) + std::abs(dy)), dx, dy);
  }
}

// Quarter-pixel offset (-2 .. 2) from the costs left, at and right of a minimum.
int parabola_step(uint32_t left, uint32_t at, uint32_t right) {
  const int64_t den = int64_t(left) + int64_t(right) - 2 * int64_t(at);
  if (den <= 0) return 0;
  const int64_t num = int64_t(left) - int64_t(right);  // offset = num / (2 den) pixels
  // Nearest quarter: round(2 num / den).
  const int64_t twice = 4 * num;
  int64_t q = twice >= 0 ? (twice + den) / (2 * den) : -((-twice + den) / (2 * den));
  return int(q < -2 ? -2 : q > 2 ? 2 : q);
}

}  // namespace

motion_vector search_block_motion(const strong_geometry& g, const uint8_t* const current[],
                                  const uint8_t* const neighbour[], int bx, int by, int range,
                                  const motion_vector* predictor, const motion_field* guide,
                                  const motion_vector* left) {
  // Level 2 (4x decimated): 4x4 blocks.
  const int p2 = g.luma_pitch[2];
  const size_t at2 = size_t(strong_pad / 4 + 4 * by) * p2 + strong_pad / 4 + 4 * bx;
  const vector_bounds b2 = coarse_bounds(g, bx, by);
  best_cost c2;
  coarse_search(current[2] + at2, neighbour[2] + at2, p2, 0, 0, range, b2, &c2);
  if (guide && guide->w) {
    // The 8x field's block over this one and its four neighbours, each
    // vector tried once.
    const int fx = std::min(bx / 4, guide->w - 1), fy = std::min(by / 4, guide->h - 1);
    const int at[5][2] = {{0, 0}, {-1, 0}, {1, 0}, {0, -1}, {0, 1}};
    motion_vector tried[5];
    int count = 0;
    for (const auto& a : at) {
      const int x = fx + a[0], y = fy + a[1];
      if (x < 0 || x >= guide->w || y < 0 || y >= guide->h) continue;
      const motion_vector v = guide->v[size_t(y) * guide->w + x];
      bool seen = false;
      for (int i = 0; i < count; ++i) seen = seen || (tried[i].x == v.x && tried[i].y == v.y);
      if (seen) continue;
      tried[count++] = v;
      coarse_search(current[2] + at2, neighbour[2] + at2, p2, 2 * v.x, 2 * v.y, 1, b2, &c2);
    }
  }
  if (predictor)
    coarse_search(current[2] + at2, neighbour[2] + at2, p2, round_div(predictor->x, 16),
                  round_div(predictor->y, 16), 1, b2, &c2);
  if (left) {
    // The block to the left's vector, where it is not the predictor's (a
    // predictor scaled from a nearer neighbour's match on a repeating
    // pattern may land on another repeat; the left block's seldom does too).
    const int lx = round_div(left->x, 16), ly = round_div(left->y, 16);
    if (!predictor || lx != round_div(predictor->x, 16) || ly != round_div(predictor->y, 16))
      coarse_search(current[2] + at2, neighbour[2] + at2, p2, lx, ly, 1, b2, &c2);
  }
  // Level 1 (2x): 8x8 blocks, one step around the doubled vector.
  const int p1 = g.luma_pitch[1];
  const size_t at1 = size_t(strong_pad / 2 + 8 * by) * p1 + strong_pad / 2 + 8 * bx;
  best_cost c1;
  for (int dy = 2 * c2.y - 1; dy <= 2 * c2.y + 1; ++dy)
    for (int dx = 2 * c2.x - 1; dx <= 2 * c2.x + 1; ++dx) {
      const uint32_t c = 4 * strong_kernels.sad8(current[1] + at1, p1,
                                                 neighbour[1] + at1 + ptrdiff_t(dy) * p1 + dx, p1,
                                                 8) +
                         uint32_t(std::abs(dx) + std::abs(dy));
      c1.offer(c, dx, dy);
    }
  // Full size: 16x16 SSD, one step around the doubled vector, then zero and
  // the predictor.
  const int p0 = g.luma_pitch[0];
  const uint8_t* cur0 = current[0] + size_t(strong_pad + 16 * by) * p0 + strong_pad + 16 * bx;
  const uint8_t* ref0 = neighbour[0] + size_t(strong_pad + 16 * by) * p0 + strong_pad + 16 * bx;
  // Costs of the 3x3 grid around the doubled vector are kept for the
  // sub-pixel step.
  const int gx = 2 * c1.x, gy = 2 * c1.y;
  uint32_t grid[3][3];
  auto ssd = [&](int dx, int dy) {
    if (dx >= gx - 1 && dx <= gx + 1 && dy >= gy - 1 && dy <= gy + 1)
      return grid[dy - gy + 1][dx - gx + 1];
    return strong_kernels.ssd16(cur0, p0, ref0 + ptrdiff_t(dy) * p0 + dx, p0);
  };
  best_cost c0;
  for (int dy = gy - 1; dy <= gy + 1; ++dy)
    for (int dx = gx - 1; dx <= gx + 1; ++dx) {
      grid[dy - gy + 1][dx - gx + 1] =
          strong_kernels.ssd16(cur0, p0, ref0 + ptrdiff_t(dy) * p0 + dx, p0);
      c0.offer(grid[dy - gy + 1][dx - gx + 1], dx, dy);
    }
  c0.offer(ssd(0, 0), 0, 0);
  if (predictor) {
    // The full-size bounds of the coarse ones after the refinements.
    const int px = clampi(round_div(predictor->x, 4), 4 * b2.x0 - 3, 4 * b2.x1 + 3);
    const int py = clampi(round_div(predictor->y, 4), 4 * b2.y0 - 3, 4 * b2.y1 + 3);
    c0.offer(ssd(px, py), px, py);
  }
  motion_vector v;
  v.x = 4 * c0.x + parabola_step(ssd(c0.x - 1, c0.y), c0.cost, ssd(c0.x + 1, c0.y));
  v.y = 4 * c0.y + parabola_step(ssd(c0.x, c0.y - 1), c0.cost, ssd(c0.x, c0.y + 1));
  return v;
}

void plan_search(strong_geometry* g, int width, int height) {
  g->levels = strong_base_levels;
  g->field_range = 0;
  // The reach wanted: 64 pixels a frame at 1920x1080, in proportion to the
  // larger side's share (a pan of the same speed across the picture moves
  // the same share of it a frame at every size).
  const int64_t share = std::max(int64_t(width) * 1080, int64_t(height) * 1920);
  const int64_t unit = int64_t(1920) * 1080;
  const int reach = int((64 * share + unit - 1) / unit);
  // The top level: the first whose full search of radius at most 8 gets
  // there, but with at least two blocks of the field each way.
  int top = strong_base_levels;
  while (top + 1 < strong_max_levels && (field_block << top) < reach) ++top;
  while (top >= strong_base_levels &&
         ((g->round_w >> top) < 2 * field_block || (g->round_h >> top) < 2 * field_block))
    --top;
  if (top < strong_base_levels) return;
  const int range = std::min(field_block, (reach + (1 << top) - 1) >> top);
  // A field that reaches no farther than the search around zero at 4x (a
  // step of the top level) adds nothing: small pictures keep that search.
  if (range < 2) return;
  g->levels = top + 1;
  g->field_range = range;
  for (int l = strong_base_levels; l <= top; ++l) {
    g->field_w[l] = ((g->round_w >> l) + field_block - 1) / field_block;
    g->field_h[l] = ((g->round_h >> l) + field_block - 1) / field_block;
  }
}

void search_field_rows(const strong_geometry& g, int level, const uint8_t* current,
                       const uint8_t* neighbour, const motion_field* coarser, int first, int end,
                       motion_vector* out) {
  const int pitch = g.luma_pitch[level], rows = g.luma_rows[level];
  const int pad = strong_pad >> level;
  const int pw = g.round_w >> level, ph = g.round_h >> level;  // the picture at this level
  const int fw = g.field_w[level];
  for (int j = first; j < end; ++j)
    for (int i = 0; i < fw; ++i) {
      // The last block of a row or column ends with the picture.
      const int x = std::min(field_block * i, pw - field_block);
      const int y = std::min(field_block * j, ph - field_block);
      const size_t at = size_t(pad + y) * pitch + pad + x;
      // The moved block stays inside the padded plane.
      const vector_bounds b = {-pad - x, pitch - pad - field_block - x, -pad - y,
                               rows - pad - field_block - y};
      best_cost best;
      auto around = [&](int cx, int cy, int radius) {
        for (int dy = std::max(cy - radius, b.y0); dy <= std::min(cy + radius, b.y1); ++dy)
          for (int dx = std::max(cx - radius, b.x0); dx <= std::min(cx + radius, b.x1); ++dx)
            best.offer(4 * strong_kernels.sad8(current + at, pitch,
                                               neighbour + at + ptrdiff_t(dy) * pitch + dx, pitch,
                                               field_block) +
                           uint32_t(std::abs(dx) + std::abs(dy)),
                       dx, dy);
      };
      if (!coarser) {
        around(0, 0, g.field_range);
      } else {
        // Zero, then the coarser block over this one and its four
        // neighbours, each vector tried once.
        const int cx = std::min(i / 2, coarser->w - 1), cy = std::min(j / 2, coarser->h - 1);
        const int at_coarse[5][2] = {{0, 0}, {-1, 0}, {1, 0}, {0, -1}, {0, 1}};
        motion_vector tried[6] = {{0, 0}};
        int count = 1;  // tried[0]: zero
        around(0, 0, 1);
        for (const auto& a : at_coarse) {
          const int u = cx + a[0], w = cy + a[1];
          if (u < 0 || u >= coarser->w || w < 0 || w >= coarser->h) continue;
          const motion_vector c = coarser->v[size_t(w) * coarser->w + u];
          const motion_vector v = {2 * c.x, 2 * c.y};
          bool seen = false;
          for (int k = 0; k < count; ++k) seen = seen || (tried[k].x == v.x && tried[k].y == v.y);
          if (seen) continue;
          tried[count++] = v;
          around(v.x, v.y, 1);
        }
      }
      out[size_t(j) * fw + i] = {best.x, best.y};
    }
}

int strong_search_reach(int width, int height) {
  strong_geometry g;
  g.round_w = (width + 15) & ~15;
  g.round_h = (height + 15) & ~15;
  plan_search(&g, width, height);
  // The search around zero at 4x, then a step at 2x and one at full size.
  const int around_zero = 4 * strong_params_for(1.0f, 1.0f).search_range + 3;
  if (g.levels == strong_base_levels) return around_zero;
  // The full search at the top level, then a step at each finer one.
  const int top = g.levels - 1;
  return std::max(around_zero, (g.field_range << top) + (1 << top) - 1);
}
