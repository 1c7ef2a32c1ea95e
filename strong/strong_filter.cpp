// The strong filter: window, decimated luma, the motion fields of the wide
// search, and the per-block work of one output picture (motion search,
// compensation, weighted temporal mean).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "frame/stage_share.h"
#include "strong/aligned_buffer.h"
#include "strong/strong_internal.h"
#include "strong/strong_kernels.h"

namespace {

constexpr int slot_count = 2 * strong_max_radius + 1;

// The work of each pass is shared among the workers in contiguous runs of
// items (stage_share), at least this many a worker: rows of a plane (the
// push, the spatial pass) and rows of 16x16 blocks (the temporal mean). Every
// item's result is the same whoever computes it.
constexpr int min_rows = 16;
constexpr int min_block_rows = 1;
// Neighbours searched without a predictor: the nearest held on each side.
constexpr int max_guided = 2;

int round_up16(int v) { return (v + 15) & ~15; }

}  // namespace

struct strong_filter {
  int width = 0, height = 0, shift_x = 0, shift_y = 0;
  strong_geometry g;
  int64_t slot_picture[slot_count];
  // A picture of the window: its padded float planes and its 8-bit luma
  // pyramid (full, 2x, 4x decimated, and coarser for the wide search).
  struct window_slot {
    aligned_buffer<float> plane[3];
    aligned_buffer<uint8_t> luma8[strong_max_levels];
  };
  window_slot window[slot_count];
  aligned_buffer<float> temporal[3];    // the temporal mean of the picture (pitch: plane width)
  aligned_buffer<float> weight_sum[3];  // and the weight sum of each sample
  aligned_buffer<float> spatial_scratch;  // per worker of the spatial pass
  // The block transform pass: each plane's 4x4 cells (inverse mean weight
  // sum), the blocks' weighted sums and weights, and the pilot estimate.
  aligned_buffer<float> cells[3];
  aligned_buffer<int> cell_span[3];
  aligned_buffer<float> transform_num[3], transform_den[3], transform_cover[3], band_cover[3],
      pilot[3];
  aligned_buffer<int> transform_rows[3];
  int cell_w[3] = {};
  size_t spatial_scratch_floats = 0;
  // The wide search: the motion fields of the neighbours searched without a
  // predictor, at each level from strong_base_levels up.
  aligned_buffer<motion_vector> field[max_guided][strong_max_levels];
  // The noise's shape over the transform's coefficients, luma and chroma,
  // where it is coloured, for the ratio it was made for (0: not made); in an
  // aligned buffer, as the filter itself is not allocated aligned on every
  // system.
  aligned_buffer<dct8_noise_shape> shape;
  float shape_ratio[2] = {};
  // The searching run's results: each block's links to its neighbours
  // (2 strong_max_radius a block) and how far it has structure.
  aligned_buffer<block_link> links;
  aligned_buffer<float> structure;
};

void strong_filter_free::operator()(strong_filter* f) const { delete f; }

strong_filter_ptr strong_create(int width, int height, int chroma_w, int chroma_h,
                                int chroma_shift_x, int chroma_shift_y) {
  strong_filter_ptr f(new (std::nothrow) strong_filter);
  if (!f) return f;
  f->width = width;
  f->height = height;
  f->shift_x = chroma_shift_x;
  f->shift_y = chroma_shift_y;
  strong_geometry& g = f->g;
  g.round_w = round_up16(width);
  g.round_h = round_up16(height);
  for (int p = 0; p < 3; ++p) {
    const int sx = p ? chroma_shift_x : 0, sy = p ? chroma_shift_y : 0;
    g.w[p] = p ? chroma_w : width;
    g.h[p] = p ? chroma_h : height;
    g.pad_x[p] = strong_pad >> sx;
    g.pad_y[p] = strong_pad >> sy;
    g.pitch[p] = (g.round_w >> sx) + 2 * g.pad_x[p];
    g.rows[p] = (g.round_h >> sy) + 2 * g.pad_y[p];
  }
  plan_search(&g, width, height);
  for (int l = 0; l < g.levels; ++l) {
    g.luma_pitch[l] = (g.round_w + 2 * strong_pad) >> l;
    g.luma_rows[l] = (g.round_h + 2 * strong_pad) >> l;
  }
  bool ok = true;
  for (int s = 0; s < slot_count; ++s) {
    f->slot_picture[s] = -1;
    for (int p = 0; p < 3; ++p)
      ok = ok && f->window[s].plane[p].allocate(size_t(g.pitch[p]) * g.rows[p]);
    for (int l = 0; l < g.levels; ++l)
      ok = ok && f->window[s].luma8[l].allocate(size_t(g.luma_pitch[l]) * g.luma_rows[l]);
  }
  for (int side = 0; side < max_guided; ++side)
    for (int l = strong_base_levels; l < g.levels; ++l)
      ok = ok && f->field[side][l].allocate(size_t(g.field_w[l]) * g.field_h[l]);
  for (int p = 0; p < 3; ++p) {
    ok = ok && f->temporal[p].allocate(size_t(g.w[p]) * g.h[p] + 1);
    ok = ok && f->weight_sum[p].allocate(size_t(g.w[p]) * g.h[p] + 1);
    f->cell_w[p] = (g.w[p] + 3) / 4;
    ok = ok && f->cells[p].allocate(size_t(f->cell_w[p]) * ((g.h[p] + 3) / 4) + 1);
    ok = ok && f->cell_span[p].allocate(2 * size_t((g.h[p] + 3) / 4) + 2);
    ok = ok && f->transform_num[p].allocate(size_t(g.w[p]) * g.h[p] + 1);
    ok = ok && f->transform_den[p].allocate(size_t(g.w[p]) * g.h[p] + 1);
    ok = ok && f->transform_cover[p].allocate(size_t(g.w[p]) * g.h[p] + 1);
    ok = ok && f->band_cover[p].allocate(size_t(g.w[p]) * g.h[p] + 1);
    ok = ok && f->transform_rows[p].allocate(2 * size_t(g.h[p]) + 2);
    ok = ok && f->pilot[p].allocate(size_t(g.w[p]) * g.h[p] + 1);
  }
  ok = ok && f->shape.allocate(2);
  const size_t blocks = size_t(g.round_w / 16) * (g.round_h / 16);
  ok = ok && f->links.allocate(blocks * 2 * strong_max_radius);
  ok = ok && f->structure.allocate(blocks);
  f->spatial_scratch_floats = 2 * size_t(width + 8);
  ok = ok && f->spatial_scratch.allocate(f->spatial_scratch_floats * max_workers);
  if (!ok) f.reset();
  return f;
}

bool strong_holds(const strong_filter* f, int64_t n) {
  return n >= 0 && f->slot_picture[n % slot_count] == n;
}

bool strong_window_of(const strong_filter* f, int64_t n, strong_window_view* view) {
  if (!strong_holds(f, n)) return false;
  const strong_filter::window_slot& w = f->window[n % slot_count];
  for (int p = 0; p < 3; ++p) view->plane[p] = w.plane[p].data();
  for (int l = 0; l < 3; ++l) view->luma8[l] = w.luma8[l].data();
  return true;
}

const strong_geometry& strong_geometry_of(const strong_filter* f) { return f->g; }

void strong_chroma_shift(const strong_filter* f, int* shift_x, int* shift_y) {
  *shift_x = f->shift_x;
  *shift_y = f->shift_y;
}

namespace {

struct push_params {
  strong_filter* f;
  int slot;
  const strong_picture_view* picture;
  int stage;  // 0: float planes and 8-bit luma, l > 0: the pyramid's level l
};

// A run of rows of each plane of the stage.
void push_job(int thread_id, int thread_num, void* param1, void*) {
  const push_params& q = *static_cast<const push_params*>(param1);
  strong_filter& f = *q.f;
  const strong_geometry& g = f.g;
  const int s = q.slot;
  auto share = [&](int rows, int* first, int* end) {
    stage_share(rows, min_rows, thread_id, thread_num, first, end);
  };
  if (q.stage > 0) {
    // Rounded means of 2x2 cells of the level above.
    const int l = q.stage;
    const uint8_t* src = f.window[s].luma8[l - 1].data();
    uint8_t* dst = f.window[s].luma8[l].data();
    const int sp = g.luma_pitch[l - 1];
    int first, end;
    share(g.luma_rows[l], &first, &end);
    for (int y = first; y < end; ++y)
      for (int x = 0; x < g.luma_pitch[l]; ++x) {
        const uint8_t* c = src + size_t(2 * y) * sp + 2 * x;
        dst[size_t(y) * g.luma_pitch[l] + x] = uint8_t((c[0] + c[1] + c[sp] + c[sp + 1] + 2) >> 2);
      }
    return;
  }
  for (int p = 0; p < 3; ++p) {
    float* base = f.window[s].plane[p].data();
    const int w = g.w[p], h = g.h[p], px = g.pad_x[p], py = g.pad_y[p], pitch = g.pitch[p];
    int first, end;
    share(g.rows[p], &first, &end);
    for (int y = first; y < end; ++y) {
      // Rows above and below the picture repeat its first and last; every
      // row is extended left and right with its end samples.
      const int from = y < py ? 0 : y >= py + h ? h - 1 : y - py;
      float* row = base + size_t(y) * pitch;
      const float* src = q.picture->plane[p] + size_t(from) * q.picture->pitch[p];
      if (src != row + px) std::memcpy(row + px, src, sizeof(float) * w);
      for (int x = 0; x < px; ++x) row[x] = src[0];
      for (int x = px + w; x < pitch; ++x) row[x] = src[w - 1];
      // The search picture: each sample's nearest code value.
      if (p == 0)
        strong_kernels.float_to_u8(row, pitch, 1.0f, 255.0f,
                                   f.window[s].luma8[0].data() + size_t(y) * g.luma_pitch[0]);
    }
  }
}

}  // namespace

strong_picture_slot strong_slot_for(strong_filter* f, int64_t n) {
  const int s = int(n % slot_count);
  f->slot_picture[s] = -1;
  strong_picture_slot slot;
  for (int p = 0; p < 3; ++p) {
    slot.pitch[p] = f->g.pitch[p];
    slot.plane[p] = f->window[s].plane[p].data() + size_t(f->g.pad_y[p]) * f->g.pitch[p] +
                    f->g.pad_x[p];
  }
  return slot;
}

void strong_push(strong_filter* f, int64_t n, const strong_picture_view& picture,
                 strong_exec_fn exec) {
  push_params q = {f, int(n % slot_count), &picture, 0};
  f->slot_picture[q.slot] = -1;
  for (q.stage = 0; q.stage < f->g.levels; ++q.stage) exec(push_job, &q, nullptr);
  f->slot_picture[q.slot] = n;
}

namespace {

struct process_params {
  strong_filter* f;
  const strong_params* params;
  int slot;                           // the picture's slot
  int neighbour_count;
  int neighbour_slot[2 * strong_max_radius];  // in order k = 1 (before, after), k = 2, ...
  int neighbour_distance[2 * strong_max_radius];
  int guided[2 * strong_max_radius];  // the neighbour's fields (index into field), or -1
  bool search;  // the searching run (else from the links)
  float neighbour_weight[2 * strong_max_radius];
  float* const* out;
  const int* out_pitch;
};

// The motion fields of one level of the picture in `slot` against each
// neighbour with a field set (side[i] >= 0: the index into field).
struct field_params {
  strong_filter* f;
  int slot;
  int count;
  const int* neighbour_slot;
  const int* side;
  int level;
};

void field_job(int thread_id, int thread_num, void* param1, void*) {
  const field_params& p = *static_cast<const field_params*>(param1);
  strong_filter& f = *p.f;
  const strong_geometry& g = f.g;
  int first, end;
  if (!stage_share(g.field_h[p.level], min_block_rows, thread_id, thread_num, &first, &end))
    return;
  for (int i = 0; i < p.count; ++i) {
    const int side = p.side[i];
    if (side < 0) continue;
    motion_field coarser;
    const bool top = p.level == g.levels - 1;
    if (!top) {
      coarser.v = f.field[side][p.level + 1].data();
      coarser.w = g.field_w[p.level + 1];
      coarser.h = g.field_h[p.level + 1];
    }
    search_field_rows(g, p.level, f.window[p.slot].luma8[p.level].data(),
                      f.window[p.neighbour_slot[i]].luma8[p.level].data(),
                      top ? nullptr : &coarser, first, end, f.field[side][p.level].data());
  }
}

// The fields of every level, from the top, one pass of the workers a level.
void compute_fields(field_params* fp, strong_exec_fn exec) {
  for (fp->level = fp->f->g.levels - 1; fp->level >= strong_base_levels; --fp->level)
    exec(field_job, fp, nullptr);
}

struct spatial_params {
  strong_filter* f;
  const strong_params* params;
  float* const* out;
  const int* out_pitch;
};

// The block transform pass of plane q (no noise: it does not run).
transform_plane transform_plane_of(strong_filter* f, const strong_params& params, int q) {
  const float s = q ? params.sigma_chroma : params.sigma_luma;
  transform_plane t;
  t.t = f->temporal[q].data();
  t.cells = f->cells[q].data();
  t.cell_w = f->cell_w[q];
  t.cell_span = f->cell_span[q].data();
  t.w = f->g.w[q];
  t.h = f->g.h[q];
  t.noise = params.spatial_strength * s * s;
  t.limits = transform_limits_of(params, q);
  t.num = f->transform_num[q].data();
  t.den = f->transform_den[q].data();
  t.cover = f->transform_cover[q].data();
  t.band_cover = f->band_cover[q].data();
  t.row_span = f->transform_rows[q].data();
  t.pilot = f->pilot[q].data();
  const float coloured = q ? params.coloured_chroma : params.coloured_luma;
  if (coloured > 1.0f) t.shape = f->shape.data() + (q ? 1 : 0);
  return t;
}

bool transform_runs(const transform_plane& t) { return t.noise > 0.0f && t.limits.lowest < 1.0f; }

// The local Wiener pass, and the pilot of the block transform pass.
void spatial_job(int thread_id, int thread_num, void* param1, void*) {
  const spatial_params& p = *static_cast<const spatial_params*>(param1);
  const strong_geometry& g = p.f->g;
  // A worker with rows is one of the first max_workers: it has a scratch.
  float* scratch = p.f->spatial_scratch.data() + p.f->spatial_scratch_floats * thread_id;
  for (int q = 0; q < (p.params->planes < 3 ? 1 : 3); ++q) {
    const float s = q ? p.params->sigma_chroma : p.params->sigma_luma;
    int first, end;
    if (!stage_share(g.h[q], min_rows, thread_id, thread_num, &first, &end)) continue;
    spatial_rows(p.f->temporal[q].data(), p.f->weight_sum[q].data(), g.w[q], g.h[q], s * s,
                 p.params->spatial_strength, first, end, scratch, p.out[q], p.out_pitch[q]);
    const transform_plane t = transform_plane_of(p.f, *p.params, q);
    if (transform_runs(t)) transform_pilot_rows(t, first, end);
  }
}

// The block transform pass's Wiener estimate, over the pilot of all rows.
void transform_job(int thread_id, int thread_num, void* param1, void*) {
  const spatial_params& p = *static_cast<const spatial_params*>(param1);
  for (int q = 0; q < (p.params->planes < 3 ? 1 : 3); ++q) {
    int first, end;
    if (!stage_share(p.f->g.h[q], min_rows, thread_id, thread_num, &first, &end)) continue;
    const transform_plane t = transform_plane_of(p.f, *p.params, q);
    if (transform_runs(t)) transform_wiener_rows(t, first, end, p.out[q], p.out_pitch[q]);
  }
}

// What both passes over the blocks read.
strong_block_params block_params_of(const process_params& p) {
  strong_filter& f = *p.f;
  strong_block_params in;
  in.g = &f.g;
  in.params = p.params;
  in.shift_x = f.shift_x;
  in.shift_y = f.shift_y;
  for (int q = 0; q < 3; ++q) in.transform_lowest[q] = transform_limits_of(*p.params, q).lowest;
  for (int q = 0; q < 3; ++q) in.current[q] = f.window[p.slot].plane[q].data();
  for (int l = 0; l < 3; ++l) in.current_luma8[l] = f.window[p.slot].luma8[l].data();
  in.neighbour_count = p.neighbour_count;
  for (int i = 0; i < p.neighbour_count; ++i) {
    const int s = p.neighbour_slot[i];
    for (int q = 0; q < 3; ++q) in.neighbour[i][q] = f.window[s].plane[q].data();
    for (int l = 0; l < 3; ++l) in.neighbour_luma8[i][l] = f.window[s].luma8[l].data();
    in.neighbour_distance[i] = p.neighbour_distance[i];
    in.neighbour_weight[i] = p.neighbour_weight[i];
    if (p.guided[i] >= 0) {
      in.guide[i].v = f.field[p.guided[i]][strong_base_levels].data();
      in.guide[i].w = f.g.field_w[strong_base_levels];
      in.guide[i].h = f.g.field_h[strong_base_levels];
    }
  }
  return in;
}

// The temporal mean of every block: searching (p.search) or from the links.
void process_job(int thread_id, int thread_num, void* param1, void*) {
  const process_params& p = *static_cast<const process_params*>(param1);
  strong_filter& f = *p.f;
  const strong_geometry& g = f.g;
  const int block_w = g.round_w / 16;
  int first, end;
  if (!stage_share(g.round_h / 16, min_block_rows, thread_id, thread_num, &first, &end)) return;
  const strong_block_params in = block_params_of(p);
  float* const temporal[3] = {f.temporal[0].data(), f.temporal[1].data(), f.temporal[2].data()};
  float* const weight_sum[3] = {f.weight_sum[0].data(), f.weight_sum[1].data(),
                                f.weight_sum[2].data()};
  const int pitch[3] = {g.w[0], g.w[1], g.w[2]};
  float* const cells[3] = {f.cells[0].data(), f.cells[1].data(), f.cells[2].data()};
  int* const cell_span[3] = {f.cell_span[0].data(), f.cell_span[1].data(),
                            f.cell_span[2].data()};
  motion_vector row_vectors[2 * strong_max_radius];
  for (int by = first; by < end; ++by)
    for (int bx = 0; bx < block_w; ++bx) {
      const size_t b = size_t(by) * block_w + bx;
      const float structure =
          strong_filter_block(in, bx, by, p.search, f.links.data() + b * 2 * strong_max_radius,
                              row_vectors, temporal, weight_sum, pitch, cells, f.cell_w, cell_span);
      if (p.search) f.structure.data()[b] = structure;
    }
}

// Each neighbour's weight from the searching run (the sums taken in raster
// order: the same on any number of workers); whether any is below 1.
bool weigh_neighbours(const strong_filter& f, const strong_params& params, process_params* p) {
  float matched[2 * strong_max_radius] = {}, structured = 0.0f;
  const size_t blocks = size_t(f.g.round_w / 16) * (f.g.round_h / 16);
  for (size_t b = 0; b < blocks; ++b) {
    const float s = f.structure.data()[b];
    if (!(s > 0.0f)) continue;
    structured += s;
    const block_link* links = f.links.data() + b * 2 * strong_max_radius;
    for (int i = 0; i < p->neighbour_count; ++i) matched[i] += s * links[i].weight;
  }
  bool below = false;
  for (int i = 0; i < p->neighbour_count; ++i) {
    p->neighbour_weight[i] = neighbour_weight_of(matched[i], structured, params);
    below = below || p->neighbour_weight[i] < 1.0f;
  }
  return below;
}

}  // namespace

motion_field strong_field_between(strong_filter* f, int64_t n, int64_t m, strong_exec_fn exec) {
  motion_field field;
  if (f->g.levels == strong_base_levels || !strong_holds(f, n) || !strong_holds(f, m))
    return field;
  const int neighbour = int(m % slot_count), side = 0;
  field_params fp = {f, int(n % slot_count), 1, &neighbour, &side, 0};
  compute_fields(&fp, exec);
  field.v = f->field[0][strong_base_levels].data();
  field.w = f->g.field_w[strong_base_levels];
  field.h = f->g.field_h[strong_base_levels];
  return field;
}

void strong_window_span(int64_t n, int radius, int64_t first, int64_t last, int64_t* lo,
                        int64_t* hi) {
  *lo = n - radius;
  *hi = n + radius;
  if (*lo < first) *hi = std::min(last, *hi + (first - *lo)), *lo = first;
  if (*hi > last) *lo = std::max(first, *lo - (*hi - last)), *hi = last;
}

void strong_process(strong_filter* f, const strong_params& params, int64_t n, int64_t first,
                    int64_t last, float* const out[3], const int out_pitch[3],
                    strong_exec_fn exec) {
  process_params p;
  p.f = f;
  p.params = &params;
  p.slot = int(n % slot_count);
  p.neighbour_count = 0;
  // The first and last pictures have as many neighbours as the others (all
  // on one side); neighbours in order of distance.
  const int radius = std::min(params.radius, strong_max_radius);
  int64_t lo, hi;
  strong_window_span(n, radius, first, last, &lo, &hi);
  for (int k = 1; k <= 2 * radius; ++k)
    for (int side = -1; side <= 1; side += 2) {
      const int64_t m = n + side * k;
      if (m < lo || m > hi || !strong_holds(f, m)) continue;
      p.neighbour_slot[p.neighbour_count] = int(m % slot_count);
      p.neighbour_distance[p.neighbour_count] = side * k;
      ++p.neighbour_count;
    }
  // A neighbour is searched from a predictor when the one a step nearer on
  // its side is held (strong_filter_block); the others, with the wide search,
  // from their motion fields.
  int guided = 0;
  for (int i = 0; i < p.neighbour_count; ++i) {
    const int d = p.neighbour_distance[i], near = d > 0 ? d - 1 : d + 1;
    bool predicted = false;
    for (int j = 0; j < i; ++j) predicted = predicted || (near != 0 && p.neighbour_distance[j] == near);
    p.guided[i] = f->g.levels > strong_base_levels && !predicted && guided < max_guided ? guided++ : -1;
  }
  p.out = out;
  p.out_pitch = out_pitch;
  if (guided) {
    field_params fp = {f, p.slot, p.neighbour_count, p.neighbour_slot, p.guided, 0};
    compute_fields(&fp, exec);
  }
  // Every neighbour weighing 1, then again where one weighs less.
  p.search = true;
  for (int i = 0; i < p.neighbour_count; ++i) p.neighbour_weight[i] = 1.0f;
  exec(process_job, &p, nullptr);
  if (weigh_neighbours(*f, params, &p)) {
    p.search = false;
    exec(process_job, &p, nullptr);
  }
  // The shapes the planes' noise needs, made once for each ratio.
  for (int k = 0; k < 2; ++k) {
    const float coloured = k ? params.coloured_chroma : params.coloured_luma;
    if (coloured > 1.0f && coloured != f->shape_ratio[k]) {
      dct8_noise_shape_for(coloured, f->shape.data() + k);
      f->shape_ratio[k] = coloured;
    }
  }
  spatial_params sp = {f, &params, out, out_pitch};
  exec(spatial_job, &sp, nullptr);
  exec(transform_job, &sp, nullptr);
}
