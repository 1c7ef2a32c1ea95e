// Mosquito-noise reduction, AVX2 version on planar working rows (see
// mosquito_nr_planar.h).
//
// The planar rows hold luma Y, and chroma (biased) of the even pixels and of
// the odd pixels, each as Cb, Cr pairs one pixel after the other. A group of
// four quads (pixels j .. j + 15, j = 2 + 16k) is then one 16-lane luma
// vector and one 16-lane chroma vector (Cb, Cr of pixels j, j + 2, ..), and
// every candidate end is one unaligned load: a horizontal tap of two pixels
// is one pair along the even row, a tap of one pixel the odd row. Quad q of a
// group is luma lanes 4q .. 4q + 3 and chroma lanes 4q .. 4q + 3 alike; a
// strip is as wide as a 1920-pixel row.
// Every function here is local (the search's templates are included inside
// the anonymous namespace), so no AVX2 code can stand in for an inline
// function of another file; from prefilter_internal.h only the candidate
// table and constants are used.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "prefilter/prefilter.h"
#include "prefilter/prefilter_internal.h"

namespace {

using prefilter_detail::mosquito_candidate;
using prefilter_detail::mosquito_candidates;
using prefilter_detail::mosquito_chroma_bias;
using prefilter_detail::mosquito_stage_count;
using prefilter_detail::mosquito_stage_last;
using prefilter_detail::mosquito_stop_cost;
using prefilter_detail::mosquito_tap;

#include "prefilter/mosquito_nr_planar.h"

// Groups of four quads per column strip, at most. A slot holds one more
// 16-pixel chunk than the strip's groups: a group reads two pixels beyond its
// sixteen. Rows are cut into strips of equal size (within one group), as few
// as this allows, since the chunk past each strip is split twice. A strip
// holds a whole 1920-pixel row: the three frames are then read as long
// sequential runs, which the processor fetches ahead by itself, where narrow
// strips (a few hundred pixels) left each frame row a short jump from the
// last one and were a third slower on frames coming from memory. The ring is
// then 174 KiB of stack and lives in the second-level cache.
constexpr int strip_groups = 120;
constexpr int chunk_count = strip_groups + 1;
// Slot layout in shorts: Y, even chroma, odd chroma, chunk_count chunks of 16
// each. Chunk k of the even row holds Cb, Cr of pixels 16k, 16k + 2, ..,
// 16k + 14 of the strip, of the odd row those of pixels 16k + 1, ...
constexpr int slot_y = 0;
constexpr int slot_even = slot_y + 16 * chunk_count;
constexpr int slot_odd = slot_even + 16 * chunk_count;
constexpr int slot_shorts = slot_odd + 16 * chunk_count;

// Offsets of a candidate end in the slots of its frame and row.
constexpr int frame_offset(const mosquito_tap& t) { return t.frame * slot_shorts; }
constexpr int luma_offset(const mosquito_tap& t) { return frame_offset(t) + slot_y + 2 + t.dx; }
// Pixel 2 + 2t + dx of the strip is pair 1 + t + dx / 2 of the even row
// (dx even) or pair t + (dx + 1) / 2 of the odd row (dx odd).
constexpr int chroma_offset(const mosquito_tap& t) {
  return frame_offset(t) + (t.dx % 2 == 0 ? slot_even + 2 + t.dx : slot_odd + 1 + t.dx);
}

inline int16_t clamp16(int v) {
  return static_cast<int16_t>(v > 32767 ? 32767 : (v < -32768 ? -32768 : v));
}

inline __m256i load16(const int16_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
inline __m128i load8(const void* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void store16(int16_t* p, __m256i v) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}

// Eight pixels are 24 shorts in three vectors v0, v1, v2 (shorts 0-7, 8-15,
// 16-23; each 128-bit half works on its own eight pixels). A planar vector
// takes lane t from short src[t]; for Y (3t), even chroma (Cb, Cr of pixels
// 0, 2, 4, 6) and odd chroma the eight shorts sit at eight different
// positions mod 8, so two word blends gather them into one vector and one
// byte shuffle puts them in order.
constexpr int split_y_src[8] = {0, 3, 6, 9, 12, 15, 18, 21};
constexpr int split_even_src[8] = {1, 2, 7, 8, 13, 14, 19, 20};
constexpr int split_odd_src[8] = {4, 5, 10, 11, 16, 17, 22, 23};

// The word-blend mask taking from vector `vec` the shorts of src that lie in it.
constexpr int blend_mask(const int (&src)[8], int vec) {
  int m = 0;
  for (int t = 0; t < 8; ++t)
    if (src[t] / 8 == vec) m |= 1 << (src[t] % 8);
  return m;
}

// The byte shuffles that order the blended shorts, and those that join the
// results again.
struct shuffles {
  __m256i split_y, split_even, split_odd;
  __m256i join_y[3], join_chroma[3];  // per output vector
};

// A shuffle taking lane t from short src[t] of a 24-short run when that short
// lies in vector `vec` (any vector for vec -1), zero otherwise.
__m256i pick_lanes(const int (&src)[8], int vec) {
  int8_t b[32];
  for (int t = 0; t < 8; ++t) {
    const bool here = src[t] >= 0 && (vec < 0 || src[t] / 8 == vec);
    b[2 * t] = here ? int8_t(2 * (src[t] % 8)) : int8_t(-128);
    b[2 * t + 1] = here ? int8_t(2 * (src[t] % 8) + 1) : int8_t(-128);
    b[16 + 2 * t] = b[2 * t];
    b[16 + 2 * t + 1] = b[2 * t + 1];
  }
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b));
}

void make_shuffles(shuffles* s) {
  s->split_y = pick_lanes(split_y_src, -1);
  s->split_even = pick_lanes(split_even_src, -1);
  s->split_odd = pick_lanes(split_odd_src, -1);
  for (int v = 0; v < 3; ++v) {
    // Output short 8v + t: luma of pixel p from Y lane p; Cb / Cr of pixel p
    // from lane p / 2 * 2 / p / 2 * 2 + 1 of the chroma vector.
    int from_y[8], from_chroma[8];
    for (int t = 0; t < 8; ++t) {
      const int j = 8 * v + t, p = j / 3, comp = j % 3;
      from_y[t] = comp == 0 ? 8 * v + p : -1;
      from_chroma[t] = comp == 0 ? -1 : 8 * v + p / 2 * 2 + comp - 1;
    }
    s->join_y[v] = pick_lanes(from_y, v);
    s->join_chroma[v] = pick_lanes(from_chroma, v);
  }
}

// Sixteen pixels as Y, even (Cb, Cr pairs, biased) and odd (the same).
struct chunk {
  __m256i y, even, odd;
};

template <const int (&src)[8]>
inline __m256i gather_lanes(__m256i v0, __m256i v1, __m256i v2, __m256i order) {
  const __m256i b =
      _mm256_blend_epi16(_mm256_blend_epi16(v0, v1, blend_mask(src, 1)), v2, blend_mask(src, 2));
  return _mm256_shuffle_epi8(b, order);
}

inline chunk split_chunk(const PIXEL_YC* px, const shuffles& s, __m256i bias) {
  const short* p = reinterpret_cast<const short*>(px);
  // Shorts 8k .. 8k + 7 of pixels 0 .. 7 (low half) and 8 .. 15 (high half).
  const __m256i v0 = _mm256_inserti128_si256(_mm256_castsi128_si256(load8(p)), load8(p + 24), 1);
  const __m256i v1 =
      _mm256_inserti128_si256(_mm256_castsi128_si256(load8(p + 8)), load8(p + 32), 1);
  const __m256i v2 =
      _mm256_inserti128_si256(_mm256_castsi128_si256(load8(p + 16)), load8(p + 40), 1);
  chunk c;
  c.y = gather_lanes<split_y_src>(v0, v1, v2, s.split_y);
  c.even = _mm256_adds_epi16(gather_lanes<split_even_src>(v0, v1, v2, s.split_even), bias);
  c.odd = _mm256_adds_epi16(gather_lanes<split_odd_src>(v0, v1, v2, s.split_odd), bias);
  return c;
}

// Splits the strip's pixels px[0 .. 16 * groups + 16) into a slot; with
// `pad`, the last chunk lies past the row end and is zeros. Returns whether
// every sample stored lies in the fast search's range. On frames wider than
// a strip, a strip reads only part of each row, which the hardware does not
// foresee: the same part of the row a few rows below, at `ahead`, is fetched
// meanwhile.
bool split_row(const PIXEL_YC* px, int groups, bool pad, const shuffles& s, const char* ahead,
               int16_t* slot) {
  const __m256i bias = _mm256_set1_epi16(mosquito_chroma_bias);
  // A sample s lies in the range when s + fast_limit, wrapping, has neither
  // of its top two bits set; `seen` gathers those bits.
  const __m256i shift = _mm256_set1_epi16(fast_limit);
  __m256i seen = _mm256_setzero_si256();
  auto put = [&](int k) {
    const chunk c = split_chunk(px + 16 * k, s, bias);
    seen = _mm256_or_si256(
        seen, _mm256_or_si256(_mm256_or_si256(_mm256_add_epi16(c.y, shift),
                                              _mm256_add_epi16(c.even, shift)),
                              _mm256_add_epi16(c.odd, shift)));
    store16(slot + slot_y + 16 * k, c.y);
    store16(slot + slot_even + 16 * k, c.even);
    store16(slot + slot_odd + 16 * k, c.odd);
  };
  const int chunks = pad ? groups : groups + 1;
  int k = 0;
  for (; k + 1 < chunks; k += 2) {  // 192 bytes, three cache lines, per two chunks
    _mm_prefetch(ahead + 96 * k, _MM_HINT_T0);
    _mm_prefetch(ahead + 96 * k + 64, _MM_HINT_T0);
    _mm_prefetch(ahead + 96 * k + 128, _MM_HINT_T0);
    put(k);
    put(k + 1);
  }
  if (k < chunks) {
    _mm_prefetch(ahead + 96 * k, _MM_HINT_T0);
    _mm_prefetch(ahead + 96 * k + 64, _MM_HINT_T0);
    put(k);
  }
  if (pad) {
    const __m256i zero = _mm256_setzero_si256();
    store16(slot + slot_y + 16 * groups, zero);
    store16(slot + slot_even + 16 * groups, zero);
    store16(slot + slot_odd + 16 * groups, zero);
  }
  return _mm256_testz_si256(seen, _mm256_set1_epi16(int16_t(0xc000))) != 0;
}

inline __m256i absdiff_sat(__m256i a, __m256i b) {
  return _mm256_max_epi16(_mm256_subs_epi16(a, b), _mm256_subs_epi16(b, a));
}


// One candidate on 16 lanes: take the pair where its cost is not above best.
template <bool fast>
MOSQUITO_INLINE void try_pair(__m256i a, __m256i b, __m256i centre, __m256i* v, __m256i* best) {
  __m256i sum, cost;
  if (fast) {
    // c - a rather than a - c: the same absolute value, and the loads of a
    // and b can then be operands of the subtractions.
    sum = _mm256_add_epi16(a, b);
    cost = _mm256_max_epi16(_mm256_abs_epi16(_mm256_sub_epi16(centre, a)),
                            _mm256_abs_epi16(_mm256_sub_epi16(centre, b)));
  } else {
    sum = _mm256_adds_epi16(a, b);
    cost = _mm256_adds_epi16(absdiff_sat(sum, centre), absdiff_sat(a, b));
  }
  *v = _mm256_blendv_epi8(sum, *v, _mm256_cmpgt_epi16(cost, *best));
  *best = _mm256_min_epi16(cost, *best);
}


inline __m256i widen_lo(__m256i v) { return _mm256_srai_epi32(_mm256_unpacklo_epi16(v, v), 16); }
inline __m256i widen_hi(__m256i v) { return _mm256_srai_epi32(_mm256_unpackhi_epi16(v, v), 16); }

// (((2v + v) + c2) + 4) >> 3 - bias in 32 bits, saturated to 16 on packing
// (unpacking and packing both per 128-bit half, so lanes stay in order).
inline __m256i blend32(__m256i v, __m256i c2, __m256i bias) {
  const __m256i four = _mm256_set1_epi32(4);
  const __m256i vl = widen_lo(v), vh = widen_hi(v);
  const __m256i tl = _mm256_add_epi32(
      _mm256_add_epi32(_mm256_add_epi32(_mm256_add_epi32(vl, vl), vl), widen_lo(c2)), four);
  const __m256i th = _mm256_add_epi32(
      _mm256_add_epi32(_mm256_add_epi32(_mm256_add_epi32(vh, vh), vh), widen_hi(c2)), four);
  return _mm256_packs_epi32(_mm256_sub_epi32(_mm256_srai_epi32(tl, 3), bias),
                            _mm256_sub_epi32(_mm256_srai_epi32(th, 3), bias));
}


struct vec_avx2 {
  typedef __m256i reg;
  static reg set1(int16_t v) { return _mm256_set1_epi16(v); }
  static reg zero() { return _mm256_setzero_si256(); }
  static reg add(reg a, reg b) { return _mm256_add_epi16(a, b); }
  static reg adds(reg a, reg b) { return _mm256_adds_epi16(a, b); }
  static reg sub(reg a, reg b) { return _mm256_sub_epi16(a, b); }
  template <int n>
  static reg srai(reg v) {
    return _mm256_srai_epi16(v, n);
  }
  static reg blend32(reg v, reg c2, int16_t bias) {
    return ::blend32(v, c2, _mm256_set1_epi32(bias));
  }

  // One candidate on all 16 luma and chroma lanes.
  template <int field_step, bool fast, int part, int cand>
  static MOSQUITO_INLINE void try_candidate(const row_set& rows, ptrdiff_t k16,
                                            search<vec_avx2>* s) {
    static_assert(part == part_both, "luma and chroma together");
    constexpr mosquito_candidate c = mosquito_candidates[cand];
    const int16_t* ra = rows.r[row_index(c.a, field_step)] + k16;
    const int16_t* rb = rows.r[row_index(c.b, field_step)] + k16;
    try_pair<fast>(load16(ra + luma_offset(c.a)), load16(rb + luma_offset(c.b)), s->centre_l,
                   &s->v_l, &s->best_l);
    if (!c.luma_only)
      try_pair<fast>(load16(ra + chroma_offset(c.a)), load16(rb + chroma_offset(c.b)),
                     s->centre_c, &s->v_c, &s->best_c);
  }

  // Runs a stage; returns whether the search is over (all four quads calm,
  // or the last stage done). Quads found calm get best -1.
  template <int field_step, bool fast, int stage>
  static MOSQUITO_INLINE bool run_stage(const row_set& rows, ptrdiff_t k16, search<vec_avx2>* s) {
    constexpr int first = stage_first(stage);
    try_candidates<vec_avx2, field_step, fast, part_both, stage, first>(
        rows, k16, s, std::make_integer_sequence<int, mosquito_stage_last[stage] - first + 1>());
    if (stage == mosquito_stage_count - 1) return true;
    const __m256i limit = _mm256_set1_epi16(fast ? mosquito_stop_cost / 2 : mosquito_stop_cost);
    // Quad q is 64-bit lane q of both vectors.
    const __m256i busy = _mm256_or_si256(_mm256_cmpgt_epi16(s->best_l, limit),
                                         _mm256_cmpgt_epi16(s->best_c, limit));
    if (_mm256_testz_si256(busy, busy)) return true;
    const __m256i calm = _mm256_cmpeq_epi64(busy, _mm256_setzero_si256());
    s->best_l = _mm256_or_si256(s->best_l, calm);
    s->best_c = _mm256_or_si256(s->best_c, calm);
    return false;
  }
};

// Filters the groups 0 .. groups - 1 of the strip row whose slots are `rows`
// and stores them at out (pixel 2 of the strip); the last group stores only
// its first three quads when `short_tail`.
template <int field_step, bool fast>
void filter_row(const row_set rows, int groups, bool short_tail, const shuffles& sh,
                __m256i start_best, PIXEL_YC* out) {
  for (int k = 0; k < groups; ++k) {
    const ptrdiff_t k16 = 16 * static_cast<ptrdiff_t>(k);
    const __m256i cl = load16(rows.r[2] + k16 + slot_y + 2);
    const __m256i cc = load16(rows.r[2] + k16 + slot_even + 2);
    __m256i ol, oc;
    search_group<vec_avx2, field_step, fast>(rows, k16, cl, cc, start_best, &ol, &oc);
    const __m256i o0 = _mm256_or_si256(_mm256_shuffle_epi8(ol, sh.join_y[0]),
                                       _mm256_shuffle_epi8(oc, sh.join_chroma[0]));
    const __m256i o1 = _mm256_or_si256(_mm256_shuffle_epi8(ol, sh.join_y[1]),
                                       _mm256_shuffle_epi8(oc, sh.join_chroma[1]));
    const __m256i o2 = _mm256_or_si256(_mm256_shuffle_epi8(ol, sh.join_y[2]),
                                       _mm256_shuffle_epi8(oc, sh.join_chroma[2]));
    __m256i* dst = reinterpret_cast<__m256i*>(out + 16 * k);
    _mm256_storeu_si256(dst, _mm256_permute2x128_si256(o0, o1, 0x20));
    _mm256_storeu_si256(dst + 1, _mm256_permute2x128_si256(o2, o0, 0x30));
    const __m256i last = _mm256_permute2x128_si256(o1, o2, 0x31);
    if (short_tail && k + 1 == groups)  // pixels 12 .. 15 lie past the row end
      _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + 2), _mm256_castsi256_si128(last));
    else
      _mm256_storeu_si256(dst + 2, last);
  }
}

typedef void (*filter_row_fn)(const row_set, int, bool, const shuffles&, __m256i, PIXEL_YC*);

}  // namespace

void mosquito_nr_rows_avx2(const PIXEL_YC* src, const PIXEL_YC* prev, const PIXEL_YC* next,
                           const FILTER_PROC_INFO* fpip, int field_step, int strength, int y_begin,
                           int y_end) {
  const int w = fpip->w;
  const int h = fpip->h;
  const ptrdiff_t pitch = fpip->max_w;
  if (w < 16 || w % 16 != 0 || field_step < 1 || field_step > 2) {
    mosquito_nr_rows_sse2(src, prev, next, fpip, field_step, strength, y_begin, y_end);
    return;
  }
  copy_unfiltered(src, fpip->ycp_temp, pitch, w, y_begin, y_end, 2, h - 2);
  const int ya = y_begin > 2 ? y_begin : 2;
  const int yb = y_end < h - 2 ? y_end : h - 2;
  if (ya >= yb) return;

  shuffles sh;
  make_shuffles(&sh);
  const int16_t best = clamp16(2 * clamp16(strength));
  const __m256i start_best[2] = {_mm256_set1_epi16(best), _mm256_set1_epi16(int16_t(best >> 1))};
  const filter_row_fn row_fns[2][2] = {{filter_row<1, false>, filter_row<1, true>},
                                       {filter_row<2, false>, filter_row<2, true>}};
  alignas(32) int16_t ring[ring_rows][3][slot_shorts];
  bool in_range[ring_rows][3];
  const PIXEL_YC* frames[3] = {src, prev, next};
  const int reach = field_step;  // rows y - reach .. y + reach are read

  // Groups start at 2 + 16k, k < w / 16; the last one ends past the row.
  const int total_groups = w / 16;
  const int strips = (total_groups + strip_groups - 1) / strip_groups;
  for (int strip = 0; strip < strips; ++strip) {
    const int k0 = strip * total_groups / strips;
    const bool last = strip == strips - 1;
    const int groups = (strip + 1) * total_groups / strips - k0;
    const int base = 16 * k0;  // pixel of strip column 0
    auto split = [&](int row) {
      const int ahead = row + fetch_ahead < h ? row + fetch_ahead : h - 1;
      for (int f = 0; f < 3; ++f)
        in_range[row % ring_rows][f] = split_row(
            frames[f] + row * pitch + base, groups, last, sh,
            reinterpret_cast<const char*>(frames[f] + ahead * pitch + base),
            ring[row % ring_rows][f]);
    };
    for (int row = ya - reach; row < ya + reach; ++row) split(row);
    for (int y = ya; y < yb; ++y) {
      split(y + reach);
      bool fast;
      const row_set rows = rows_around<slot_shorts>(ring, in_range, y, reach, &fast);
      row_fns[field_step - 1][fast](rows, groups, last, sh, start_best[fast],
                                    fpip->ycp_temp + y * pitch + base + 2);
    }
  }
}
