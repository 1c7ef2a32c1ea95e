// One block of the strong filter: the weighted temporal mean of the picture
// and its motion-compensated neighbours.
//
// A neighbour's weight for a sample is the product of a block weight and a
// sample weight. With the picture and a matching neighbour both carrying white
// noise, the expected squared difference is s^2 (1 + gain), gain being the
// noise gain of the interpolation; the block weight falls from 1 to 0 as the
// block's mean squared difference goes from block_low to block_high times
// that, the sample weight likewise for the sample's own squared difference.
// Chroma takes the luma block weight times its own block and sample weights.
//
// A few samples far beyond what noise gives (a cell of a graphic that turned
// over, a spark) would fail a block whose other samples match: those beyond
// sample_high, which their sample weight leaves out anyway, may instead count
// as sample_high each, provided the others' mean squared difference is what
// noise alone gives (the weight falling from 1 to 0 as it goes from
// inlier_low to inlier_high times the expected mismatch); the block takes
// the better of the two weights. Where the rest does not match as noise does
// (a wrong vector, a fade, another picture), the few far samples are taken
// as a sign of it, as before. A block that passes only so holds changes:
// samples beside them may have changed by less, so its sample weights fall
// over limits scaled by robust_sample_scale.
//
// The squares see a difference that is smooth structure (blocks found by
// chance in pictures unlike their neighbours, a change of contrast) no more
// than noise that is 16 times stronger: the block weight also falls from 1
// to 0 as the spread of the 4x4 cells' mean differences around their mean
// goes from cell_low to cell_high times what it comes to for a block that
// matches (cell_spread_expected: the noise at the scale of the cells, which
// is more than white noise gives where the noise is blurred, and a share of
// the block's own structure for the sub-pixel mismatch). The offset is out
// of the spread, so fades and flashes pass it.
//
// Every neighbour is weighed by how much of the picture's structure it
// matched (neighbour_weight_of): a picture unrelated to this one (another
// scene, another place of one large photo) matches a little by chance, and
// its smooth blocks that pass every test one block can make bring another
// place's faint texture and shading into the mean. A frame
// runs with every neighbour weighing 1, keeping each block's motion and
// luma test (its links); where a neighbour then weighs less, the mean is
// taken again from the links.
//
// A block that passes enters less its brightness offset, the mean difference
// shrunk toward 0 where noise alone could have made it: in a fade or after a
// flash the matched blocks are brighter or darker than the picture, and in
// pictures unlike their neighbours smooth blocks of another brightness pass
// the test; averaged in whole, both would move the picture's brightness. The
// test itself does not take the offset out, so no more blocks pass than
// before.
#include <algorithm>

#include "strong/strong_internal.h"
#include "strong/strong_kernels.h"

namespace {

// 1 up to low, 0 from high, linear between.
float ramp(float value, float low, float high) {
  const float q = (high - value) / (high - low);
  const float positive = q > 0.0f ? q : 0.0f;
  return positive < 1.0f ? positive : 1.0f;
}

// What the spread of a matching block's cell mean differences around their
// mean comes to: count - 1 times the variance of a cell's mean difference
// under noise alone (twice the coarse variance over 16), and a share of the
// spread of the picture's own cell means: motion found to a fraction of a
// pixel, the interpolation's softening and a change of contrast leave
// differences in proportion to the block's own structure.
float cell_spread_expected(const float* cur, int pitch, int bw, int bh, float coarse,
                           const strong_params& p) {
  float means[16];
  int count = 0;
  float total = 0.0f;
  for (int cy = 0; cy < bh; cy += 4)
    for (int cx = 0; cx < bw; cx += 4) {
      float sum = 0.0f;
      for (int y = cy; y < cy + 4; ++y)
        for (int x = cx; x < cx + 4; ++x) sum += cur[y * pitch + x];
      means[count++] = sum / 16.0f;
      total += sum;
    }
  const float m = total / float(bw * bh);
  float spread = 0.0f;
  for (int i = 0; i < count; ++i) spread += (means[i] - m) * (means[i] - m);
  return float(count - 1) * coarse / 8.0f + p.cell_structure * spread;
}

block_match match_block(const float* cur, int cur_pitch, const float* comp, int bw, int bh,
                        float expected, float cell_expected, float cell_low, float cell_high,
                        const strong_params& p) {
  float cells[16];
  const int samples = bw * bh;
  const float n = float(samples);
  const float limit = p.sample_high * expected;
  const float low = p.block_low * expected, high = p.block_high * expected;
  float near = 0.0f;
  int near_count = 0;
  const float squares =
      strong_kernels.diff_sums(cur, cur_pitch, comp, bw, bh, limit, cells, &near, &near_count);
  // The offset m, the mean of the cells' means, and the spread of the
  // cells' means around it.
  const int count = (bw >> 2) * (bh >> 2);
  float total = 0.0f;
  for (int i = 0; i < count; ++i) total += cells[i];
  const float m = total / n, m2 = m * m;
  float spread = 0.0f;
  for (int i = 0; i < count; ++i) {
    const float e = cells[i] / 16.0f - m;
    spread += e * e;
  }
  // A difference that is structure (another picture's content, a smooth
  // change) concentrates in the cells' means, where the noise is 16 times
  // weaker than in a sample: the spread tests it far more keenly than the
  // squares do. Samples far beyond the noise (the robust test) would fail
  // it, so it tests the plain match only.
  block_match r;
  r.far = samples - near_count;
  r.weight = ramp(squares / n, low, high) *
             ramp(spread, cell_low * cell_expected, cell_high * cell_expected);
  if (near_count < samples && near_count > 0) {
    const float capped = (near + float(samples - near_count) * limit) / n;
    const float rest = near / float(near_count);
    const float robust = ramp(capped, low, high) *
                         ramp(rest, p.inlier_low * expected, p.inlier_high * expected);
    if (robust > r.weight) {
      r.weight = robust;
      r.sample_scale = p.robust_sample_scale;
      r.robust = true;
    }
  }
  if (r.weight <= 0.0f) return r;
  // The offset's variance: what white noise gives it, or, where more, twice
  // what the spread of the cells' means says (noise that is not white, or a
  // difference that is not one offset).
  const float white = expected / n;
  const float seen = 2.0f * spread / float((count - 1) * count);
  const float var = seen > white ? seen : white;
  r.offset = m2 > 0.0f ? m * (m2 / (m2 + p.offset_shrink * var)) : 0.0f;
  return r;
}

// Adds the compensated block at the block weight outer_weight x the match's
// to acc and weight (which start as the picture, weight 1); returns that
// block weight.
float gather(const float* cur, int cur_pitch, const float* comp, int bw, int bh, float expected,
             const strong_params& p, const block_match& m, float outer_weight, float* acc,
             float* weight) {
  const float block = outer_weight * m.weight;
  if (block <= 0.0f) return 0.0f;
  const float scale = m.sample_scale * expected;
  strong_kernels.accumulate(cur, cur_pitch, comp, bw, bh, m.offset, block, scale * p.sample_low,
                            scale * p.sample_high, acc, weight);
  return block;
}

// A quarter-pixel coordinate rounded to whole pixels (halves away from 0).
int round_quarter(int v) { return v >= 0 ? 4 * ((v + 2) >> 2) : -4 * ((2 - v) >> 2); }

// One block's planes: sizes, origins in picture coordinates and the
// picture's samples.
struct block_planes {
  int count = 1;
  int bw[3], bh[3], ox[3], oy[3];
  const float* cur[3];
  float var[3];
};

block_planes planes_of(const strong_block_params& in, int bx, int by, int count) {
  const strong_geometry& g = *in.g;
  const strong_params& p = *in.params;
  block_planes b;
  b.count = count;
  for (int q = 0; q < count; ++q) {
    const int sx = q ? in.shift_x : 0, sy = q ? in.shift_y : 0;
    b.bw[q] = 16 >> sx;
    b.bh[q] = 16 >> sy;
    b.ox[q] = b.bw[q] * bx;
    b.oy[q] = b.bh[q] * by;
    b.cur[q] = in.current[q] + size_t(g.pad_y[q] + b.oy[q]) * g.pitch[q] + g.pad_x[q] + b.ox[q];
    const float s = q ? p.sigma_chroma : p.sigma_luma;
    b.var[q] = s * s;
  }
  return b;
}

// Neighbour i's plane q compensated at `at` into out (bw x bh); returns the
// expected mismatch there.
float compensate(const strong_block_params& in, const block_planes& b, int i, int q,
                 const motion_vector& at, float* out) {
  const strong_geometry& g = *in.g;
  // Vector in eighths of this plane's pixels.
  const int vx = q && in.shift_x ? at.x : 2 * at.x;
  const int vy = q && in.shift_y ? at.y : 2 * at.y;
  const int fx = vx & 7, fy = vy & 7;
  const int ix = g.pad_x[q] + b.ox[q] + (vx >> 3), iy = g.pad_y[q] + b.oy[q] + (vy >> 3);
  interpolate_block(in.neighbour[i][q], g.pitch[q], ix, iy, fx, fy, b.bw[q], b.bh[q], out);
  return b.var[q] * (1.0f + interpolation_gain(fx) * interpolation_gain(fy));
}

float coarse_variance(const strong_params& p, int q) {
  const float c = q ? p.coarse_chroma : p.coarse_luma;
  return c * c;
}

// Neighbour i's link for block (bx, by): its motion searched, its luma
// compensated into comp (or whole_comp, where the whole-pixel vector won) and
// tested; returns the compensated luma, and its expected mismatch in
// *expected_out.
const float* search_link(const strong_block_params& in, const block_planes& b, int bx, int by,
                         int i, float cell_expected, motion_vector* found,
                         motion_vector* row_vectors, float* comp, float* whole_comp,
                         block_link* link, float* expected_out) {
  const strong_geometry& g = *in.g;
  const strong_params& p = *in.params;
  // The predictor: the vector of the neighbour one step nearer on the same
  // side, scaled to this distance.
  const int d = in.neighbour_distance[i];
  const int near = d > 0 ? d - 1 : d + 1;
  const motion_vector* predictor = nullptr;
  motion_vector scaled;
  for (int j = 0; j < i && near != 0; ++j)
    if (in.neighbour_distance[j] == near) {
      scaled.x = found[j].x * d / near;
      scaled.y = found[j].y * d / near;
      predictor = &scaled;
    }
  const motion_vector searched =
      search_block_motion(g, in.current_luma8, in.neighbour_luma8[i], bx, by,
                          predictor ? 1 : p.search_range, predictor, &in.guide[i],
                          bx > 0 ? left_candidate(row_vectors[i], p.search_range) : nullptr);
  found[i] = searched;
  row_vectors[i] = searched;
  // The search's sub-pixel step follows the least squared difference,
  // which a few changed samples rule where there are some (a step that
  // blurs one-pixel detail lowers their cost more than it raises the
  // others'). Where the stepped block has samples beyond the limit and
  // does not pass whole, the whole-pixel vector is tried too, and kept
  // where it passes better by the robust test: its far samples are the
  // changes and the rest matches as noise does. Passing by the first test
  // alone, it is no sign of that (pictures unlike their neighbours match
  // by chance at one vector or the other).
  motion_vector v = searched;
  float expected = compensate(in, b, i, 0, v, comp);
  block_match m = match_block(b.cur[0], g.pitch[0], comp, b.bw[0], b.bh[0], expected,
                              cell_expected, p.cell_low, p.cell_high, p);
  const float* luma = comp;
  if (m.far > 0 && m.weight < 1.0f && ((v.x | v.y) & 3)) {
    const motion_vector whole = {round_quarter(v.x), round_quarter(v.y)};
    const float e = compensate(in, b, i, 0, whole, whole_comp);
    const block_match w = match_block(b.cur[0], g.pitch[0], whole_comp, b.bw[0], b.bh[0], e,
                                      cell_expected, p.cell_low, p.cell_high, p);
    if (w.robust && w.weight > m.weight) {
      v = whole;
      m = w;
      expected = e;
      luma = whole_comp;
    }
  }
  *link = {v, m.weight, m.sample_scale, m.offset};
  *expected_out = expected;
  return luma;
}

// How far block (bx, by) has structure: the variance of its 8-bit luma (the
// search picture; sums in whole numbers) over the noise's, from 0 at
// structured_low to 1 at structured_high.
float structure_of(const strong_block_params& in, int bx, int by) {
  const strong_geometry& g = *in.g;
  const strong_params& p = *in.params;
  const int pitch = g.luma_pitch[0];
  const uint8_t* at =
      in.current_luma8[0] + size_t(strong_pad + 16 * by) * pitch + strong_pad + 16 * bx;
  int sum = 0, squares = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const int v = at[y * pitch + x];
      sum += v;
      squares += v * v;
    }
  // 256^2 x the variance, exactly.
  const int64_t spread = int64_t(squares) * 256 - int64_t(sum) * sum;
  const float noise = p.sigma_luma * p.sigma_luma * 65536.0f;
  if (!(noise > 0.0f)) return 0.0f;
  const float q =
      (float(spread) / noise - p.structured_low) / (p.structured_high - p.structured_low);
  return q > 0.0f ? (q < 1.0f ? q : 1.0f) : 0.0f;
}

}  // namespace

float neighbour_weight_of(float matched, float structured, const strong_params& p) {
  if (!(p.related_high > p.related_low)) return 1.0f;
  const float related = (matched + 1.0f) / (structured + 2.0f);
  const float q = (related - p.related_low) / (p.related_high - p.related_low);
  const float positive = q > 0.0f ? q : 0.0f;
  return positive < 1.0f ? positive : 1.0f;
}

float strong_filter_block(const strong_block_params& in, int bx, int by, bool search,
                         block_link* links, motion_vector* row_vectors, float* const out[3],
                         float* const weight_out[3], const int out_pitch[3],
                         float* const cell_out[3], const int cell_pitch[3],
                         int* const cell_span[3]) {
  const strong_geometry& g = *in.g;
  const strong_params& p = *in.params;
  const block_planes b = planes_of(in, bx, by, p.planes < 3 ? 1 : 3);
  const int planes = b.count;
  float acc[3][256], weight[3][256], comp[256], whole_comp[256];
  const int* bw = b.bw;
  const int* bh = b.bh;
  const int* ox = b.ox;
  const int* oy = b.oy;
  const float* const* cur = b.cur;
  for (int q = 0; q < planes; ++q)
    strong_kernels.block_start(cur[q], g.pitch[q], bw[q], bh[q], acc[q], weight[q]);
  float cell_expected[3];
  for (int q = search ? 0 : 1; q < planes; ++q)
    cell_expected[q] =
        cell_spread_expected(cur[q], g.pitch[q], bw[q], bh[q], coarse_variance(p, q), p);
  motion_vector found[2 * strong_max_radius];
  for (int i = 0; i < in.neighbour_count; ++i) {
    block_link& link = links[i];
    const float outer = in.neighbour_weight[i];
    const float* luma = comp;
    float expected;
    if (search) {
      luma = search_link(in, b, bx, by, i, cell_expected[0], found, row_vectors, comp,
                         whole_comp, &link, &expected);
    } else {
      if (!(outer * link.weight > 0.0f)) continue;
      expected = compensate(in, b, i, 0, link.v, comp);
    }
    block_match m;
    m.weight = link.weight;
    m.sample_scale = link.sample_scale;
    m.offset = link.offset;
    const float block =
        gather(cur[0], g.pitch[0], luma, bw[0], bh[0], expected, p, m, outer, acc[0], weight[0]);
    for (int q = 1; q < planes && block > 0.0f; ++q) {
      const float e = compensate(in, b, i, q, link.v, comp);
      const block_match mc =
          match_block(cur[q], g.pitch[q], comp, bw[q], bh[q], e, cell_expected[q],
                      p.cell_low_chroma, p.cell_high_chroma, p);
      gather(cur[q], g.pitch[q], comp, bw[q], bh[q], e, p, mc, block, acc[q], weight[q]);
    }
  }
  for (int q = 0; q < planes; ++q) {
    const int w = std::min(bw[q], g.w[q] - ox[q]);
    const int h = std::min(bh[q], g.h[q] - oy[q]);
    for (int y = 0; y < h; ++y) {
      const size_t at = size_t(oy[q] + y) * out_pitch[q] + ox[q];
      strong_kernels.block_finish_row(acc[q] + y * bw[q], weight[q] + y * bw[q], w, out[q] + at,
                                      weight_out[q] + at);
    }
    // Block origins and sizes are multiples of 4: the cells lie inside. The
    // sums run row by row; whole cells (nearly all) through the kernel, those
    // cut by the picture's edge here.
    const float* wq = weight[q];
    const float min_share = in.transform_lowest[q];
    for (int cy = 0; 4 * cy < h; ++cy) {
      int* span = cell_span[q] + 2 * ((oy[q] >> 2) + cy);
      if (bx == 0) {
        span[0] = 1 << 30;
        span[1] = -1;
      }
      float shares[4];
      const int whole = h - 4 * cy >= 4 ? w / 4 : 0;
      strong_kernels.cell_shares(wq + 4 * cy * bw[q], bw[q], whole, shares);
      for (int cx = 0; 4 * cx < w; ++cx) {
        float cell;
        if (cx < whole) {
          cell = shares[cx];
        } else {
          const int y1 = std::min(4 * cy + 4, h), x1 = std::min(4 * cx + 4, w);
          float sum = 0.0f;
          for (int y = 4 * cy; y < y1; ++y)
            for (int x = 4 * cx; x < x1; ++x) sum += wq[y * bw[q] + x];
          cell = float((y1 - 4 * cy) * (x1 - 4 * cx)) / sum;
        }
        const int at = (ox[q] >> 2) + cx;
        cell_out[q][size_t((oy[q] >> 2) + cy) * cell_pitch[q] + at] = cell;
        if (cell > min_share) {
          span[0] = std::min(span[0], at);
          span[1] = std::max(span[1], at);
        }
      }
    }
  }
  return search ? structure_of(in, bx, by) : 0.0f;
}
