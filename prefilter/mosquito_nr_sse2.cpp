// Mosquito-noise reduction, SSE2 version. Frames whose width is a multiple of
// 8 (every frame the driver hands over) are filtered from planar working rows
// (see the planar path below); others one quad (eight samples) per vector,
// gathered from the interleaved pixels.
#include <emmintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "prefilter/prefilter.h"
#include "prefilter/prefilter_internal.h"
#include "prefilter/quad_sse2.h"

using namespace prefilter_detail;

namespace {

inline __m128i select16(__m128i mask, __m128i yes, __m128i no) {
  return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

// Sign-extends lanes 0-3 (lo) or 4-7 (hi) to 32 bits.
inline __m128i widen_lo(__m128i v) { return _mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16); }
inline __m128i widen_hi(__m128i v) { return _mm_srai_epi32(_mm_unpackhi_epi16(v, v), 16); }

// (((2v + v) + c2) + 4) >> 3 - bias in 32 bits, saturated to 16 on packing.
inline __m128i blend32(__m128i v, __m128i c2, __m128i bias) {
  const __m128i four = _mm_set1_epi32(4);
  const __m128i tl = _mm_add_epi32(
      _mm_add_epi32(_mm_add_epi32(_mm_add_epi32(widen_lo(v), widen_lo(v)), widen_lo(v)),
                    widen_lo(c2)),
      four);
  const __m128i th = _mm_add_epi32(
      _mm_add_epi32(_mm_add_epi32(_mm_add_epi32(widen_hi(v), widen_hi(v)), widen_hi(v)),
                    widen_hi(c2)),
      four);
  const __m128i ol = _mm_sub_epi32(_mm_srai_epi32(tl, 3), widen_lo(bias));
  const __m128i oh = _mm_sub_epi32(_mm_srai_epi32(th, 3), widen_hi(bias));
  return _mm_packs_epi32(ol, oh);
}

// ---- Quad path (widths that are not a multiple of 8) ----

void quad_rows(const PIXEL_YC* src, const PIXEL_YC* prev, const PIXEL_YC* next,
               const FILTER_PROC_INFO* fpip, int field_step, int strength, int y_begin,
               int y_end) {
  const int w = fpip->w;
  const int h = fpip->h;
  const int pitch = fpip->max_w;
  const int16_t s = strength_to_int16(strength);
  const __m128i bias = _mm_setr_epi16(0, mosquito_chroma_bias, mosquito_chroma_bias, 0, 0,
                                      mosquito_chroma_bias, mosquito_chroma_bias, 0);
  const __m128i luma_lanes = _mm_setr_epi16(-1, 0, 0, -1, -1, 0, 0, -1);
  const __m128i all_lanes = _mm_set1_epi16(-1);
  const __m128i start_best = _mm_set1_epi16(adds16(s, s));
  const __m128i stop_cost = _mm_set1_epi16(mosquito_stop_cost);
  __m128i lane_mask[mosquito_candidate_count];
  for (int i = 0; i < mosquito_candidate_count; ++i)
    lane_mask[i] = mosquito_candidates[i].luma_only ? luma_lanes : all_lanes;

  copy_unfiltered(src, fpip->ycp_temp, pitch, w, y_begin, y_end, 2, h - 2);
  for (int y = y_begin > 2 ? y_begin : 2; y < y_end && y < h - 2; ++y) {
    const PIXEL_YC* in = src + static_cast<ptrdiff_t>(y) * pitch;
    PIXEL_YC* out = fpip->ycp_temp + static_cast<ptrdiff_t>(y) * pitch;
    mosquito_tap_at taps[mosquito_candidate_count][2];
    mosquito_row_taps(src, prev, next, pitch, field_step, y, taps);
    for (int x = 2; x <= w - 6; x += 4) {
      const __m128i c = _mm_adds_epi16(load_quad(in + x), bias);
      const __m128i c2 = _mm_adds_epi16(c, c);
      __m128i best = start_best;
      __m128i v = c2;
      int cand = 0;
      for (int stage = 0; stage < mosquito_stage_count; ++stage) {
        for (; cand <= mosquito_stage_last[stage]; ++cand) {
          const mosquito_tap_at& ta = taps[cand][0];
          const mosquito_tap_at& tb = taps[cand][1];
          const __m128i a = _mm_adds_epi16(load_quad(ta.frame + (ta.offset + x)), bias);
          const __m128i b = _mm_adds_epi16(load_quad(tb.frame + (tb.offset + x)), bias);
          const __m128i sum = _mm_adds_epi16(a, b);
          const __m128i cost = _mm_adds_epi16(absdiff_sat(sum, c2), absdiff_sat(a, b));
          // cost <= best, in the lanes the candidate applies to
          const __m128i take = _mm_andnot_si128(_mm_cmpgt_epi16(cost, best), lane_mask[cand]);
          v = select16(take, sum, v);
          best = select16(take, cost, best);
        }
        if (_mm_movemask_epi8(_mm_cmpgt_epi16(best, stop_cost)) == 0) break;
      }
      __m128i first, second;
      spread_quad(blend32(v, c2, bias), &first, &second);
      store_pixels4(out + x, first, second);
    }
  }
}

// ---- Planar path ----
//
// The planar rows (see mosquito_nr_planar.h) hold luma Y and chroma (biased)
// in blocks of eight shorts, Cb of four even or odd pixels then their Cr. A
// group of two quads (pixels j .. j + 7, j = 2 + 8k) is then one 8-lane luma
// vector and one 8-lane Cb|Cr vector: the chroma blocks are kept in five
// copies, one per horizontal tap (-2 .. 2), each already shifted so that
// block k lines up with group k (and is 16-byte aligned).

#include "prefilter/mosquito_nr_planar.h"

// Groups of two quads per column strip. A slot holds one more 8-pixel chunk
// than the strip's groups: a group reads two pixels beyond its eight. Wide
// strips (960 pixels) read the frames in long sequential runs, which the
// processor fetches ahead by itself; narrower ones were slower on frames
// coming from memory. The ring is then 173 KiB of stack.
constexpr int strip_groups = 120;
constexpr int chunk_count = strip_groups + 1;
// Slot layout in shorts: Y (chunk_count chunks of 8), then the five chroma
// copies of strip_groups blocks of 8 (Cb 4 | Cr 4). Copy e_m holds even pixels
// one pair to the left (tap -2), o_m odd pixels one pair to the left (tap -1),
// e_0 the even pixels themselves (tap 0, the centre), o_0 odd pixels of the
// same pair (tap 1), e_p even pixels one pair to the right (tap 2).
constexpr int slot_y = 0;
constexpr int copy_shorts = 8 * strip_groups;
constexpr int slot_e_m = slot_y + 8 * chunk_count;
constexpr int slot_o_m = slot_e_m + copy_shorts;
constexpr int slot_e_0 = slot_o_m + copy_shorts;
constexpr int slot_o_0 = slot_e_0 + copy_shorts;
constexpr int slot_e_p = slot_o_0 + copy_shorts;
constexpr int slot_shorts = slot_e_p + copy_shorts;

// Offsets of a candidate end in the slots of its frame and row.
constexpr int frame_offset(const mosquito_tap& t) { return t.frame * slot_shorts; }
constexpr int luma_offset(const mosquito_tap& t) { return frame_offset(t) + slot_y + 2 + t.dx; }
constexpr int chroma_offset(const mosquito_tap& t) {
  return frame_offset(t) + (t.dx == -2   ? slot_e_m
                            : t.dx == -1 ? slot_o_m
                            : t.dx == 0  ? slot_e_0
                            : t.dx == 1  ? slot_o_0
                                         : slot_e_p);
}

inline __m128i load_u(const int16_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline __m128i load_a(const int16_t* p) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(p));
}
inline void store_a(int16_t* p, __m128i v) { _mm_store_si128(reinterpret_cast<__m128i*>(p), v); }

// Eight pixels as Y, even (Cb 4 | Cr 4, biased) and odd (the same).
struct chunk {
  __m128i y, even, odd;
};

// Four pixel pairs are twelve dwords: (y cb), (cr y'), (cb' cr') per pair.
// Three dword streams (one per position in the pair) are gathered with
// shuffles; each dword's two shorts then go apart by masks or by sign
// extension and packing.
inline chunk split_chunk(const PIXEL_YC* px, __m128i bias) {
  const float* p = reinterpret_cast<const float*>(px);
  const __m128 a = _mm_loadu_ps(p), b = _mm_loadu_ps(p + 4), c = _mm_loadu_ps(p + 8);
  // Streams: 0 = a0 a3 b2 c1, 1 = a1 b0 b3 c2, 2 = a2 b1 c0 c3.
  const __m128 b2c1 = _mm_shuffle_ps(b, c, _MM_SHUFFLE(1, 1, 2, 2));
  const __m128 a1b0 = _mm_shuffle_ps(a, b, _MM_SHUFFLE(0, 0, 1, 1));
  const __m128 b3c2 = _mm_shuffle_ps(b, c, _MM_SHUFFLE(2, 2, 3, 3));
  const __m128 a2b1 = _mm_shuffle_ps(a, b, _MM_SHUFFLE(1, 1, 2, 2));
  const __m128i s0 = _mm_castps_si128(_mm_shuffle_ps(a, b2c1, _MM_SHUFFLE(2, 0, 3, 0)));
  const __m128i s1 = _mm_castps_si128(_mm_shuffle_ps(a1b0, b3c2, _MM_SHUFFLE(2, 0, 2, 0)));
  const __m128i s2 = _mm_castps_si128(_mm_shuffle_ps(a2b1, c, _MM_SHUFFLE(3, 0, 2, 0)));
  const __m128i low = _mm_set1_epi32(0xffff);
  chunk ch;
  ch.y = _mm_or_si128(_mm_and_si128(s0, low), _mm_andnot_si128(low, s1));
  ch.even = _mm_adds_epi16(
      _mm_packs_epi32(_mm_srai_epi32(s0, 16), _mm_srai_epi32(_mm_slli_epi32(s1, 16), 16)), bias);
  ch.odd = _mm_adds_epi16(
      _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(s2, 16), 16), _mm_srai_epi32(s2, 16)), bias);
  return ch;
}

// Splits the strip's pixels px[0 .. 8 * groups + 8) into a slot; with `pad`,
// the last chunk lies past the row end and is zeros. Returns whether every
// sample stored lies in the fast search's range.
bool split_row(const PIXEL_YC* px, int groups, bool pad, int16_t* slot) {
  const __m128i bias = _mm_set1_epi16(mosquito_chroma_bias);
  __m128i lo = _mm_setzero_si128(), hi = lo;
  // Chunk k, its luma stored and its range noted.
  auto fetch = [&](int k) {
    chunk c;
    if (pad && k == groups) {
      c.y = c.even = c.odd = _mm_setzero_si128();
    } else {
      c = split_chunk(px + 8 * k, bias);
    }
    lo = _mm_min_epi16(lo, _mm_min_epi16(_mm_min_epi16(c.y, c.even), c.odd));
    hi = _mm_max_epi16(hi, _mm_max_epi16(_mm_max_epi16(c.y, c.even), c.odd));
    store_a(slot + slot_y + 8 * k, c.y);
    return c;
  };
  // Block k of a copy shifted by o pairs: lanes o .. o + 3 of chunks k, k + 1,
  // per 64-bit half (Cb, Cr).
  auto blocks = [&](int k, const chunk& cur, const chunk& nxt) {
    store_a(slot + slot_e_m + 8 * k, cur.even);
    store_a(slot + slot_e_0 + 8 * k,
            _mm_or_si128(_mm_srli_epi64(cur.even, 16), _mm_slli_epi64(nxt.even, 48)));
    store_a(slot + slot_e_p + 8 * k,
            _mm_or_si128(_mm_srli_epi64(cur.even, 32), _mm_slli_epi64(nxt.even, 32)));
    store_a(slot + slot_o_m + 8 * k, cur.odd);
    store_a(slot + slot_o_0 + 8 * k,
            _mm_or_si128(_mm_srli_epi64(cur.odd, 16), _mm_slli_epi64(nxt.odd, 48)));
  };
  chunk a = fetch(0);
  for (int k = 0; k < groups; k += 2) {  // two at a time, so that no chunk is copied
    const chunk b = fetch(k + 1);
    blocks(k, a, b);
    if (k + 1 == groups) break;
    a = fetch(k + 2);
    blocks(k + 1, b, a);
  }
  const __m128i out = _mm_or_si128(_mm_cmpgt_epi16(hi, _mm_set1_epi16(fast_limit - 1)),
                                   _mm_cmpgt_epi16(_mm_set1_epi16(-fast_limit), lo));
  return _mm_movemask_epi8(out) == 0;
}

// One candidate on 8 lanes: take the pair where its cost is not above best.
// Without an absolute value instruction, the fast search's m is
// max(max(a, b) - c, c - min(a, b)).
template <bool fast>
MOSQUITO_INLINE void try_pair(__m128i a, __m128i b, __m128i centre, __m128i* v, __m128i* best) {
  __m128i sum, cost;
  if (fast) {
    sum = _mm_add_epi16(a, b);
    cost = _mm_max_epi16(_mm_sub_epi16(_mm_max_epi16(a, b), centre),
                         _mm_sub_epi16(centre, _mm_min_epi16(a, b)));
  } else {
    sum = _mm_adds_epi16(a, b);
    cost = _mm_adds_epi16(absdiff_sat(sum, centre), absdiff_sat(a, b));
  }
  // v = worse ? v : sum, as sum ^ (worse & (sum ^ v)): no register copies.
  const __m128i worse = _mm_cmpgt_epi16(cost, *best);
  *v = _mm_xor_si128(sum, _mm_and_si128(worse, _mm_xor_si128(sum, *v)));
  *best = _mm_min_epi16(cost, *best);
  // Pin v and best in registers here: otherwise the compiler interleaves
  // several candidates and, with eight vector registers (i686), spills.
  __asm__("" : "+x"(*v), "+x"(*best));
}

struct vec_sse2 {
  typedef __m128i reg;
  static reg set1(int16_t v) { return _mm_set1_epi16(v); }
  static reg zero() { return _mm_setzero_si128(); }
  static reg add(reg a, reg b) { return _mm_add_epi16(a, b); }
  static reg adds(reg a, reg b) { return _mm_adds_epi16(a, b); }
  static reg sub(reg a, reg b) { return _mm_sub_epi16(a, b); }
  template <int n>
  static reg srai(reg v) {
    return _mm_srai_epi16(v, n);
  }
  static reg blend32(reg v, reg c2, int16_t bias) { return ::blend32(v, c2, _mm_set1_epi16(bias)); }

  // Candidate `cand` on the luma lanes or the chroma lanes. The two kinds of
  // lanes are independent, so a stage runs all its luma candidates first:
  // with eight vector registers (i686) one search state at a time fits.
  template <int field_step, bool fast, int part, int cand>
  static MOSQUITO_INLINE void try_candidate(const row_set& rows, ptrdiff_t k8,
                                            search<vec_sse2>* s) {
    constexpr mosquito_candidate c = mosquito_candidates[cand];
    const int16_t* ra = rows.r[row_index(c.a, field_step)] + k8;
    const int16_t* rb = rows.r[row_index(c.b, field_step)] + k8;
    if constexpr (part == part_luma)
      try_pair<fast>(load_u(ra + luma_offset(c.a)), load_u(rb + luma_offset(c.b)), s->centre_l,
                     &s->v_l, &s->best_l);
    else if constexpr (!c.luma_only)
      try_pair<fast>(load_a(ra + chroma_offset(c.a)), load_a(rb + chroma_offset(c.b)),
                     s->centre_c, &s->v_c, &s->best_c);
  }

  // Runs a stage; returns whether the search is over (both quads calm, or the
  // last stage done). Quads found calm get best -1.
  template <int field_step, bool fast, int stage>
  static MOSQUITO_INLINE bool run_stage(const row_set& rows, ptrdiff_t k8, search<vec_sse2>* s) {
    constexpr int first = stage_first(stage);
    using seq = std::make_integer_sequence<int, mosquito_stage_last[stage] - first + 1>;
    try_candidates<vec_sse2, field_step, fast, part_luma, stage, first>(rows, k8, s, seq());
    try_candidates<vec_sse2, field_step, fast, part_chroma, stage, first>(rows, k8, s, seq());
    if (stage == mosquito_stage_count - 1) return true;
    const __m128i limit = _mm_set1_epi16(fast ? mosquito_stop_cost / 2 : mosquito_stop_cost);
    // Quad q is luma lanes 4q .. 4q + 3 and chroma lanes 2q, 2q + 1 (Cb) and
    // 4 + 2q, 5 + 2q (Cr): fold Cr onto Cb, then each chroma lane onto the two
    // luma lanes of its pixel pair.
    const __m128i busy_c = _mm_cmpgt_epi16(s->best_c, limit);
    const __m128i busy_pair = _mm_or_si128(busy_c, _mm_srli_si128(busy_c, 8));
    const __m128i busy = _mm_or_si128(_mm_cmpgt_epi16(s->best_l, limit),
                                      _mm_unpacklo_epi16(busy_pair, busy_pair));
    if (_mm_movemask_epi8(busy) == 0) return true;
    // Per quad all ones where none of its four dwords is busy.
    const __m128i idle = _mm_cmpeq_epi32(busy, _mm_setzero_si128());
    const __m128i calm_l = _mm_and_si128(idle, _mm_shuffle_epi32(idle, _MM_SHUFFLE(2, 3, 0, 1)));
    // Dwords (q0, q1, q0, q1): Cb and Cr lanes of each quad.
    const __m128i calm_c = _mm_shuffle_epi32(calm_l, _MM_SHUFFLE(2, 0, 2, 0));
    s->best_l = _mm_or_si128(s->best_l, calm_l);
    s->best_c = _mm_or_si128(s->best_c, calm_c);
    return false;
  }
};

// Luma of pixels 0 .. 7 and Cb | Cr of pixels 0, 2, 4, 6 to the 24 shorts of
// the eight pixels, odd pixels repeating the chroma of the even pixel to their
// left: per pair i the dwords d0 = (y, cb), d1 = (cr, y'), d2 = (cb, cr). Only
// the first four pixels are stored when `half`.
inline void store_group(PIXEL_YC* out, __m128i ol, __m128i oc, bool half) {
  const __m128i low = _mm_set1_epi32(0xffff);
  const __m128i cbcr = _mm_unpacklo_epi16(oc, _mm_srli_si128(oc, 8));
  const __m128 d0 =
      _mm_castsi128_ps(_mm_or_si128(_mm_and_si128(ol, low), _mm_slli_epi32(cbcr, 16)));
  const __m128 d1 =
      _mm_castsi128_ps(_mm_or_si128(_mm_srli_epi32(cbcr, 16), _mm_andnot_si128(low, ol)));
  const __m128 d2 = _mm_castsi128_ps(cbcr);
  // Output dwords: d0_0 d1_0 d2_0 d0_1 | d1_1 d2_1 d0_2 d1_2 | d2_2 d0_3 d1_3 d2_3.
  const __m128 d01_lo = _mm_unpacklo_ps(d0, d1), d01_hi = _mm_unpackhi_ps(d0, d1);
  const __m128 d20_lo = _mm_unpacklo_ps(d2, d0), d12_lo = _mm_unpacklo_ps(d1, d2);
  float* p = reinterpret_cast<float*>(out);
  _mm_storeu_ps(p, _mm_shuffle_ps(d01_lo, d20_lo, _MM_SHUFFLE(3, 0, 1, 0)));
  const __m128 second = _mm_shuffle_ps(d12_lo, d01_hi, _MM_SHUFFLE(1, 0, 3, 2));
  if (half) {
    _mm_storel_pi(reinterpret_cast<__m64*>(p + 4), second);
    return;
  }
  _mm_storeu_ps(p + 4, second);
  const __m128 d20_hi = _mm_unpackhi_ps(d2, d0), d12_hi = _mm_unpackhi_ps(d1, d2);
  _mm_storeu_ps(p + 8, _mm_shuffle_ps(d20_hi, d12_hi, _MM_SHUFFLE(3, 2, 3, 0)));
}

// Filters the groups 0 .. groups - 1 of the strip row whose slots are `rows`
// and stores them at out (pixel 2 of the strip); the last group stores only
// its first quad when `short_tail`. Fetches the row part at `fetch`.
template <int field_step, bool fast>
void filter_row(const row_set rows, int groups, bool short_tail, __m128i start_best,
                const char* const fetch[3], PIXEL_YC* out) {
  for (int k = 0; k < groups; ++k) {
    // On frames wider than a strip, a strip reads only part of each row,
    // which the hardware does not foresee: fetch the part of a row split a
    // few rows later, a little with each group.
    for (int f = 0; f < 3; ++f) _mm_prefetch(fetch[f] + 48 * k, _MM_HINT_T0);
    const ptrdiff_t k8 = 8 * static_cast<ptrdiff_t>(k);
    const __m128i cl = load_u(rows.r[2] + k8 + slot_y + 2);
    const __m128i cc = load_a(rows.r[2] + k8 + slot_e_0);
    __m128i ol, oc;
    search_group<vec_sse2, field_step, fast>(rows, k8, cl, cc, start_best, &ol, &oc);
    store_group(out + 8 * k, ol, oc, short_tail && k + 1 == groups);
  }
}

typedef void (*filter_row_fn)(const row_set, int, bool, __m128i, const char* const[3], PIXEL_YC*);

void planar_rows(const PIXEL_YC* src, const PIXEL_YC* prev, const PIXEL_YC* next,
                 const FILTER_PROC_INFO* fpip, int field_step, int strength, int y_begin,
                 int y_end) {
  const int w = fpip->w;
  const int h = fpip->h;
  const ptrdiff_t pitch = fpip->max_w;
  copy_unfiltered(src, fpip->ycp_temp, pitch, w, y_begin, y_end, 2, h - 2);
  const int ya = y_begin > 2 ? y_begin : 2;
  const int yb = y_end < h - 2 ? y_end : h - 2;
  if (ya >= yb) return;

  const int16_t s = strength_to_int16(strength);
  const int16_t best = adds16(s, s);
  const __m128i start_best[2] = {_mm_set1_epi16(best), _mm_set1_epi16(int16_t(best >> 1))};
  const filter_row_fn row_fns[2][2] = {{filter_row<1, false>, filter_row<1, true>},
                                       {filter_row<2, false>, filter_row<2, true>}};
  alignas(16) int16_t ring[ring_rows][3][slot_shorts];
  bool in_range[ring_rows][3];
  const PIXEL_YC* frames[3] = {src, prev, next};
  const int reach = field_step;  // rows y - reach .. y + reach are read

  // Groups start at 2 + 8k, k < w / 8; the last one ends past the row.
  const int total_groups = w / 8;
  for (int k0 = 0; k0 < total_groups; k0 += strip_groups) {
    const bool last = k0 + strip_groups >= total_groups;
    const int groups = last ? total_groups - k0 : strip_groups;
    const int base = 8 * k0;  // pixel of strip column 0
    auto split = [&](int row) {
      for (int f = 0; f < 3; ++f)
        in_range[row % ring_rows][f] =
            split_row(frames[f] + row * pitch + base, groups, last, ring[row % ring_rows][f]);
    };
    for (int row = ya - reach; row < ya + reach; ++row) split(row);
    for (int y = ya; y < yb; ++y) {
      split(y + reach);
      bool fast;
      const row_set rows = rows_around<slot_shorts>(ring, in_range, y, reach, &fast);
      const int fetch_row = y + reach + fetch_ahead < h ? y + reach + fetch_ahead : h - 1;
      const char* fetch[3];
      for (int f = 0; f < 3; ++f)
        fetch[f] = reinterpret_cast<const char*>(frames[f] + fetch_row * pitch + base);
      row_fns[field_step - 1][fast](rows, groups, last, start_best[fast], fetch,
                                    fpip->ycp_temp + y * pitch + base + 2);
    }
  }
}

}  // namespace

void mosquito_nr_rows_sse2(const PIXEL_YC* src, const PIXEL_YC* prev, const PIXEL_YC* next,
                           const FILTER_PROC_INFO* fpip, int field_step, int strength,
                           int y_begin, int y_end) {
  if (fpip->w >= 8 && fpip->w % 8 == 0 && field_step >= 1 && field_step <= 2)
    planar_rows(src, prev, next, fpip, field_step, strength, y_begin, y_end);
  else
    quad_rows(src, prev, next, fpip, field_step, strength, y_begin, y_end);
}
