// The temporal noise reading of the estimate: the whole 16x16 blocks of a
// picture (a spread lattice of them in a large picture, as for the spatial
// readings) against a neighbour, moved by the filter's own motion search.
//
// Each block is read twice, and the lower of each of its readings (plain and
// centred, noise_estimate.h) kept: at the vector rounded to whole pixels,
// where the difference holds twice the noise variance whatever its spectrum,
// but a picture moving by a fraction of a pixel leaves some of itself; and at
// the vector itself, interpolated as the filter does, where the neighbour's
// white noise is reduced by the interpolation's noise gain (blurred noise
// less so: that reading is then too high, never too low).
//
// The search picks each block's vector by its luma: where the picture is
// flat, any vector matches and the one picked is where the two pictures'
// noise happens to agree best, which lowers that block's luma reading
// (blurred noise, whose few blotches a block holds agree by chance more
// often, by about a tenth of its deviation). Each luma block is also read at
// the vector of the block to its left (the crossed reading), which the
// block's own noise did not choose; where the motion is the same, so is the
// reading.
#include <algorithm>

#include "frame/stage_share.h"
#include "strong/strong_internal.h"

namespace {

struct temporal_params {
  const strong_filter* f;
  strong_window_view cur, ref;
  noise_energies* parts;
  motion_field guide;  // the wide search's field of the picture against its neighbour
};

// Nearest whole multiple of 1 / q of a (halves away from zero).
int nearest(int a, int q) { return a >= 0 ? (a + q / 2) / q : -((-a + q / 2) / q); }

void temporal_job(int thread_id, int thread_num, void* param1, void*) {
  const temporal_params& t = *static_cast<const temporal_params*>(param1);
  const strong_geometry& g = strong_geometry_of(t.f);
  int shift_x, shift_y;
  strong_chroma_shift(t.f, &shift_x, &shift_y);
  const int block_cols = g.w[0] / 16, block_rows = g.h[0] / 16;
  const int step = noise_lattice_step(block_cols, block_rows);
  int first, end;
  if (!stage_share((block_rows + step - 1) / step, 1, thread_id, thread_num, &first, &end))
    return;
  const int search_range = 3;  // the filter's own, for the nearest neighbours
  motion_vector left = {0, 0};  // the vector of the lattice block to the left
  // Block (bx, by) of plane q read at vector v: false where it is not read.
  auto read = [&](int q, int bx, int by, const motion_vector& v, noise_temporal_reading* out) {
    const int sx = q ? shift_x : 0, sy = q ? shift_y : 0;
    const int bw = 16 >> sx, bh = 16 >> sy;
    const float* cur = t.cur.plane[q] + size_t(g.pad_y[q] + bh * by) * g.pitch[q] +
                       g.pad_x[q] + bw * bx;
    // Vector in quarter luma pixels to whole pixels of this plane.
    const int wx = nearest(v.x, 4 << sx), wy = nearest(v.y, 4 << sy);
    noise_temporal_reading interpolated;
    if (!noise_temporal_energy(cur, g.pitch[q],
                               cur - t.cur.plane[q] + t.ref.plane[q] +
                                   ptrdiff_t(wy) * g.pitch[q] + wx,
                               g.pitch[q], bw, bh, 2.0f, out))
      return false;
    // And in eighths of this plane's pixels, as the filter compensates.
    const int ex = sx ? v.x : 2 * v.x, ey = sy ? v.y : 2 * v.y;
    const int fx = ex & 7, fy = ey & 7;
    // At a whole-pixel vector that is the block read already, at the same
    // gain (2): the same energies, which would not replace them.
    if (fx != 0 || fy != 0) {
      float comp[256];
      interpolate_block(t.ref.plane[q], g.pitch[q], g.pad_x[q] + bw * bx + (ex >> 3),
                        g.pad_y[q] + bh * by + (ey >> 3), fx, fy, bw, bh, comp);
      const float gain = 1.0f + interpolation_gain(fx) * interpolation_gain(fy);
      if (noise_temporal_energy(cur, g.pitch[q], comp, bw, bw, bh, gain, &interpolated)) {
        out->plain = std::min(out->plain, interpolated.plain);
        out->centred = std::min(out->centred, interpolated.centred);
      }
    }
    return true;
  };
  // Whether the luma block at bx, moved by v, lies inside the padded plane
  // with the interpolation's taps (a vector searched for another block).
  auto inside = [&](int bx, int by, const motion_vector& v) {
    const int x = 16 * bx + (v.x >> 2), y = 16 * by + (v.y >> 2);
    return x - 2 >= -g.pad_x[0] && x + 16 + 3 <= g.round_w + g.pad_x[0] &&
           y - 2 >= -g.pad_y[0] && y + 16 + 3 <= g.round_h + g.pad_y[0];
  };
  for (int by = first * step; by < end * step && by < block_rows; by += step)
    for (int bx = 0; bx < block_cols; bx += step) {
      const motion_vector v =
          search_block_motion(g, t.cur.luma8, t.ref.luma8, bx, by, search_range, nullptr,
                              &t.guide, bx > 0 ? left_candidate(left, search_range) : nullptr);
      for (int q = 0; q < 3; ++q) {
        noise_temporal_reading whole;
        if (!read(q, bx, by, v, &whole)) continue;
        noise_energies& to = t.parts[2 * thread_id + (q ? 1 : 0)];
        to.temporal.push_back(whole.plain);
        to.centred.push_back(whole.centred);
      }
      // Luma again at the vector of the block to the left, which that
      // block's noise chose, not this one's.
      noise_temporal_reading crossed;
      if (bx > 0 && inside(bx, by, left) && read(0, bx, by, left, &crossed)) {
        noise_energies& to = t.parts[2 * thread_id];
        to.crossed.push_back(crossed.plain);
        to.crossed_centred.push_back(crossed.centred);
      }
      left = v;
    }
}

}  // namespace

void strong_temporal_noise(strong_filter* f, int64_t n, int64_t m, noise_energies* parts,
                           strong_exec_fn exec) {
  temporal_params t = {f, {}, {}, parts, {}};
  if (!strong_window_of(f, n, &t.cur) || !strong_window_of(f, m, &t.ref)) return;
  // Motion as fast as the filter follows is no noise either.
  t.guide = strong_field_between(f, n, m, exec);
  exec(temporal_job, &t, nullptr);
}
