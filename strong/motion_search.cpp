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

// Coarse level: SAD of 4x4 blocks, four times the cost plus the vector length
// (shorter vectors win ties), a row of candidates at a time. The row kernel
// may read 20 bytes past the rightmost candidate block: past the 16 bytes of
// padding of the last block column, that is the start of the next row, and
// the plane has 16 rows of padding below the lowest one searched.
void coarse_search(const uint8_t* cur, const uint8_t* ref, int pitch, int cx, int cy, int radius,
                   best_cost* best) {
  const int x0 = std::max(cx - radius, -max_coarse), x1 = std::min(cx + radius, max_coarse);
  if (x0 > x1) return;
  uint32_t sad[2 * max_coarse + 1];
  for (int dy = cy - radius; dy <= cy + radius; ++dy) {
    if (dy < -max_coarse || dy > max_coarse) continue;
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

motion_vector search_block_motion(const strong_geometry& g, const uint8_t* const current[3],
                                  const uint8_t* const neighbour[3], int bx, int by, int range,
                                  const motion_vector* predictor) {
  // Level 2 (4x decimated): 4x4 blocks.
  const int p2 = g.luma_pitch[2];
  const size_t at2 = size_t(strong_pad / 4 + 4 * by) * p2 + strong_pad / 4 + 4 * bx;
  best_cost c2;
  coarse_search(current[2] + at2, neighbour[2] + at2, p2, 0, 0, range, &c2);
  if (predictor)
    coarse_search(current[2] + at2, neighbour[2] + at2, p2, round_div(predictor->x, 16),
                  round_div(predictor->y, 16), 1, &c2);
  // Level 1 (2x): 8x8 blocks, one step around the doubled vector.
  const int p1 = g.luma_pitch[1];
  const size_t at1 = size_t(strong_pad / 2 + 8 * by) * p1 + strong_pad / 2 + 8 * bx;
  best_cost c1;
  for (int dy = 2 * c2.y - 1; dy <= 2 * c2.y + 1; ++dy)
    for (int dx = 2 * c2.x - 1; dx <= 2 * c2.x + 1; ++dx) {
      const uint32_t c = 4 * strong_kernels.sad8(current[1] + at1, p1,
                                                 neighbour[1] + at1 + dy * p1 + dx, p1, 8) +
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
    return strong_kernels.ssd16(cur0, p0, ref0 + dy * p0 + dx, p0);
  };
  best_cost c0;
  for (int dy = gy - 1; dy <= gy + 1; ++dy)
    for (int dx = gx - 1; dx <= gx + 1; ++dx) {
      grid[dy - gy + 1][dx - gx + 1] = strong_kernels.ssd16(cur0, p0, ref0 + dy * p0 + dx, p0);
      c0.offer(grid[dy - gy + 1][dx - gx + 1], dx, dy);
    }
  c0.offer(ssd(0, 0), 0, 0);
  if (predictor) {
    const int px = clampi(round_div(predictor->x, 4), -max_full + 1, max_full - 1);
    const int py = clampi(round_div(predictor->y, 4), -max_full + 1, max_full - 1);
    c0.offer(ssd(px, py), px, py);
  }
  motion_vector v;
  v.x = 4 * c0.x + parabola_step(ssd(c0.x - 1, c0.y), c0.cost, ssd(c0.x + 1, c0.y));
  v.y = 4 * c0.y + parabola_step(ssd(c0.x, c0.y - 1), c0.cost, ssd(c0.x, c0.y + 1));
  return v;
}
