// The window of source frames as the strong filter's pictures, the noise
// estimate pooled from it, and a frame's filtering.
#include <memory>
#include <new>

#include "strong/aligned_buffer.h"
#include "strong/strong.h"
#include "strong_window/strong_window.h"
#include "strong_window/strong_window_internal.h"
#include "strong_window/yc48_row.h"

namespace {

constexpr int window_slots = 2 * strong_max_radius + 1;
// Blocks of a plane kind (luma, or both chroma planes) after which further
// pictures add nothing to the estimate: the command line's rule, over the
// window's frames in order.
constexpr size_t estimate_blocks = 4000;
constexpr int max_workers = 64;          // stage_share's cap

// A frame of the window. The estimate's readings of its pictures are taken
// when the estimate first needs them, and kept with it: the blocks of each
// field picture and plane kind, and each field picture against the same
// field of the frame before (which a reading only stands for while that
// frame is held too: a frame number since the last reset is one picture).
struct held_frame {
  int64_t frame = -1;            // frame number held in the slot since the last reset
  strong_picture_view pic[2] = {};  // its field pictures in the filters' windows
  bool spatial[2][2] = {};       // field, kind: its blocks' energies were taken
  bool temporal[2] = {};         // field: its reading against frame - 1 was taken
};

struct window_state {
  int w = 0, h = 0, fields = 0;  // the size the buffers are for
  bool failed = false;           // they could not be had
  int field_h[2] = {0, 0};
  strong_filter_ptr filter[2];
  aligned_buffer<float> out[2][3];
  held_frame held[window_slots];
  noise_energies energies[window_slots][2][2];  // slot, field, kind (luma, chroma)
  noise_energies parts[2 * max_workers];        // per worker and kind, one picture
  noise_energies pooled[2];
};

// The readings of one picture kind: the spatial ones, or the temporal one.
enum reading_kind { spatial_readings, temporal_reading };

std::unique_ptr<window_state> state;
EXFUNC* services = nullptr;  // the editor's, for the filter's worker calls

int exec_on_editor(void (*job)(int, int, void*, void*), void* param1, void* param2) {
  return services->exec_multi_thread_func(job, param1, param2);
}

// The estimate's blocks of one picture and plane kind (0: luma, 1: both
// chroma planes): worker t takes a run of the lattice's block rows of each
// plane into parts[2 t + kind].
struct estimate_params {
  strong_picture_view pic;
  int width, height, kind;
  noise_energies* parts;
};

void estimate_job(int thread_id, int thread_num, void* param1, void*) {
  const estimate_params& e = *static_cast<const estimate_params*>(param1);
  for (int p = e.kind ? 1 : 0; p < (e.kind ? 3 : 1); ++p)
    noise_lattice_energies(e.pic.plane[p], e.pic.pitch[p], e.width, e.height, thread_id,
                           thread_num, &e.parts[2 * thread_id + (p ? 1 : 0)]);
}

void append(const std::vector<float>& from, std::vector<float>* to) {
  to->insert(to->end(), from.begin(), from.end());
}

void append(const noise_energies& from, reading_kind which, noise_energies* to) {
  if (which == temporal_reading) {
    append(from.temporal, &to->temporal);
    append(from.centred, &to->centred);
    append(from.crossed, &to->crossed);
    append(from.crossed_centred, &to->crossed_centred);
    return;
  }
  append(from.grid, &to->grid);
  append(from.rows, &to->rows);
  append(from.grid2, &to->grid2);
  append(from.grid4, &to->grid4);
}

void clear(noise_energies* e, reading_kind which) {
  if (which == temporal_reading) {
    e->temporal.clear();
    e->centred.clear();
    e->crossed.clear();
    e->crossed_centred.clear();
    return;
  }
  e->grid.clear();
  e->rows.clear();
  e->grid2.clear();
  e->grid4.clear();
}

// Room for `blocks` spatial and `temporal` temporal readings, so that the
// frames never allocate; false when it cannot be had.
bool reserve(noise_energies* e, size_t blocks, size_t temporal) {
  try {
    e->grid.reserve(blocks);
    e->rows.reserve(blocks);
    e->grid2.reserve(blocks);
    e->grid4.reserve(blocks);
    e->temporal.reserve(temporal);
    e->centred.reserve(temporal);
    e->crossed.reserve(temporal);
    e->crossed_centred.reserve(temporal);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

// The most items of `count` that worker t of any number gets (stage_share:
// of at least t + 1 workers, runs that differ by at most one).
size_t worker_share(int count, int t) { return size_t(count + t) / size_t(t + 1); }

void forget_frames(window_state* st) {
  for (held_frame& h : st->held) h = held_frame();
}

// Buffers for w x h frames split into `fields` pictures; false when they
// cannot be had (the state then holds none).
bool allocate(window_state* st, int w, int h, int fields) {
  st->w = w;
  st->h = h;
  st->fields = fields;
  forget_frames(st);
  for (int f = 0; f < 2; ++f) {
    st->filter[f].reset();
    for (aligned_buffer<float>& b : st->out[f]) b.release();
  }
  bool ok = true;
  for (int f = 0; f < fields && ok; ++f) {
    const int fh = (h + fields - 1 - f) / fields;
    st->field_h[f] = fh;
    st->filter[f] = strong_create(w, fh, w, fh, 0, 0);
    ok = st->filter[f] != nullptr;
    for (aligned_buffer<float>& b : st->out[f]) ok = ok && b.allocate(size_t(w) * fh);
    // Every picture's readings, kept with it (chroma: two planes).
    const size_t blocks = size_t(w / noise_block_size + 1) * (fh / noise_block_size + 1);
    const size_t temporal = size_t(w / 16) * (fh / 16);
    for (int s = 0; s < window_slots && ok; ++s)
      ok = reserve(&st->energies[s][f][0], blocks, temporal) &&
           reserve(&st->energies[s][f][1], 2 * blocks, 2 * temporal);
  }
  // The workers' parts of a picture (field 0 is the taller).
  const int fh = st->field_h[0];
  for (int t = 0; t < max_workers && ok; ++t) {
    const size_t blocks = worker_share(fh / noise_block_size, t) * size_t(w / noise_block_size);
    const size_t temporal = worker_share(fh / 16, t) * size_t(w / 16);
    ok = reserve(&st->parts[2 * t], blocks, temporal) &&
         reserve(&st->parts[2 * t + 1], 2 * blocks, 2 * temporal);
  }
  // The pool takes whole pictures until it holds estimate_blocks.
  const size_t picture_blocks = size_t(w / noise_block_size + 1) * (h / noise_block_size + 1);
  const size_t picture_temporal = size_t(w / 16) * (h / 16);
  for (int k = 0; k < 2 && ok; ++k)
    ok = reserve(&st->pooled[k], estimate_blocks + 2 * picture_blocks,
                 (k ? 2 : 1) * (estimate_blocks + picture_temporal));
  st->failed = !ok;
  if (!ok)
    for (int f = 0; f < 2; ++f) {
      st->filter[f].reset();
      for (aligned_buffer<float>& b : st->out[f]) b.release();
    }
  return ok;
}

// Makes frame m a picture of the window, fetching it unless it is held
// already. False when the editor has no such frame: the slot then holds
// nothing.
bool hold_frame(window_state* st, FILTER* fp, FILTER_PROC_INFO* fpip, int m) {
  held_frame& held = st->held[m % window_slots];
  if (held.frame == m) return true;
  held = held_frame();
  int fw = 0, fh = 0;
  const PIXEL_YC* src = fp->exfunc->get_ycp_filtering_cache_ex(fp, fpip->editp, m, &fw, &fh);
  frame_to_planes_params c = {src, fpip->max_w, st->w, st->h, st->fields, {}};
  for (int f = 0; f < st->fields; ++f) c.slot[f] = strong_slot_for(st->filter[f].get(), m);
  if (!src || fw != st->w || fh != st->h) return false;
  exec_on_editor(frame_to_planes_job, &c, nullptr);
  for (int f = 0; f < st->fields; ++f) {
    held.pic[f] = strong_view_of(c.slot[f]);
    strong_push(st->filter[f].get(), m, held.pic[f], exec_on_editor);
  }
  held.frame = m;
  return true;
}

// Moves the workers' parts of a reading into the energies of the picture.
void gather(window_state* st, reading_kind which, noise_energies* to) {
  for (int k = 0; k < 2; ++k) clear(&to[k], which);
  for (int i = 0; i < 2 * max_workers; ++i) {
    append(st->parts[i], which, &to[i & 1]);
    clear(&st->parts[i], which);
  }
}

// The blocks of field picture f of held frame m, plane kind k.
const noise_energies& spatial_energies(window_state* st, int m, int f, int k) {
  held_frame& held = st->held[m % window_slots];
  noise_energies* e = st->energies[m % window_slots][f];
  if (!held.spatial[f][k]) {
    estimate_params job = {held.pic[f], st->w, st->field_h[f], k, st->parts};
    exec_on_editor(estimate_job, &job, nullptr);
    clear(&e[k], spatial_readings);
    for (int i = k; i < 2 * max_workers; i += 2) {
      append(st->parts[i], spatial_readings, &e[k]);
      clear(&st->parts[i], spatial_readings);
    }
    held.spatial[f][k] = true;
  }
  return e[k];
}

// The temporal readings of field picture f of held frame m against frame
// m - 1 (held too), both kinds.
const noise_energies* temporal_energies(window_state* st, int m, int f) {
  held_frame& held = st->held[m % window_slots];
  noise_energies* e = st->energies[m % window_slots][f];
  if (!held.temporal[f]) {
    strong_temporal_noise(st->filter[f].get(), m, m - 1, st->parts, exec_on_editor);
    gather(st, temporal_reading, e);
    held.temporal[f] = true;
  }
  return e;
}

// The estimate from frames first .. last, as the command line's from the
// first frames of a clip: picture by picture in frame order (fields in
// turn), a picture's blocks while the pool of their kind holds fewer than
// estimate_blocks, and its reading against the frame before while the luma
// pool of those does.
void pool_estimate(window_state* st, int first, int last) {
  for (int k = 0; k < 2; ++k) {
    clear(&st->pooled[k], spatial_readings);
    clear(&st->pooled[k], temporal_reading);
  }
  for (int m = first; m <= last; ++m) {
    if (st->held[m % window_slots].frame != m) continue;
    const bool before = m > first && st->held[(m - 1) % window_slots].frame == m - 1;
    for (int f = 0; f < st->fields; ++f) {
      for (int k = 0; k < 2; ++k)
        if (st->pooled[k].grid.size() < estimate_blocks)
          append(spatial_energies(st, m, f, k), spatial_readings, &st->pooled[k]);
      if (before && st->pooled[0].temporal.size() < estimate_blocks) {
        const noise_energies* e = temporal_energies(st, m, f);
        for (int k = 0; k < 2; ++k) append(e[k], temporal_reading, &st->pooled[k]);
      }
    }
  }
}

}  // namespace

void strong_window_select_kernels(int level) {
  strong_select_kernels(level);
  yc48_select_kernels(level);
}

void strong_window_reset() {
  if (state) forget_frames(state.get());
}

void strong_window_release() { state.reset(); }

strong_window_result strong_window_frame(FILTER* fp, FILTER_PROC_INFO* fpip,
                                         const strong_window_settings& s) {
  services = fp->exfunc;
  const int w = fpip->w, h = fpip->h, fields = s.by_field ? 2 : 1;
  if (!state) {
    state.reset(new (std::nothrow) window_state);
    if (!state) return strong_window_no_memory;
  }
  window_state* st = state.get();
  if (w != st->w || h != st->h || fields != st->fields) allocate(st, w, h, fields);
  if (st->failed) return strong_window_no_memory;

  const int n = fpip->frame, frame_n = fpip->frame_n;
  const bool estimate = s.noise_tenths == 0;
  const float given = float(s.noise_tenths) / 10.0f;
  strong_params params = strong_params_for(given, given);
  // The frames the picture may draw on: with an estimate the nine around it,
  // else its radius either side; moved inward at the clip's ends (as many
  // inside the clip as there are), as the filter's window is.
  const int span = estimate ? strong_max_radius : (s.radius > 0 ? s.radius : params.radius);
  int64_t from, to;
  strong_window_span(n, span, 0, frame_n - 1, &from, &to);
  const int first = int(from), last = int(to);

  fp->exfunc->set_ycp_filtering_cache_size(fp, fpip->max_w, fpip->max_h, 1, 0);
  bool have_current = false;
  for (int m = first; m <= last; ++m) {
    const bool held = hold_frame(st, fp, fpip, m);
    if (m == n) have_current = held;
  }
  if (!have_current) return strong_window_unchanged;

  // The spatial and temporal readings of the window's pictures: the level
  // when estimated, and the noise's spectrum (its coarse level) either way.
  pool_estimate(st, first, last);
  const noise_reading luma = noise_sigma_from_energies(&st->pooled[0]);
  const noise_reading chroma = noise_sigma_from_energies(&st->pooled[1]);
  if (estimate) {
    // Below half a code value there is nothing to remove, as on the command
    // line.
    const bool nothing = !(luma.sigma >= 0.5f) && !(chroma.sigma >= 0.5f);
    params = strong_params_for(nothing ? 0.0f : luma.sigma, nothing ? 0.0f : chroma.sigma);
  }
  strong_set_coarse(&params, luma, chroma);
  if (s.radius > 0) params.radius = s.radius;
  params.spatial_strength = float(s.spatial_tenths) / 10.0f;
  params.planes = s.chroma ? 3 : 1;  // without chroma the frame keeps its own

  planes_to_frame_params c = {fpip->ycp_edit, fpip->max_w, w, h, st->fields, {}, s.chroma};
  for (int f = 0; f < st->fields; ++f) {
    float* out[3];
    int pitch[3];
    for (int p = 0; p < 3; ++p) {
      out[p] = st->out[f][p].data();
      pitch[p] = w;
      c.plane[f][p] = out[p];
    }
    strong_process(st->filter[f].get(), params, n, 0, frame_n - 1, out, pitch, exec_on_editor);
  }
  exec_on_editor(planes_to_frame_job, &c, nullptr);
  return strong_window_filtered;
}
