// Mosquito-noise reduction, AVX2 version on planar working rows.
//
// Each input row a candidate may read is split once into planar rows: luma
// Y[j], and chroma by column parity, Cb/Cr of even pixels (E) and of odd
// pixels (O), already biased. A candidate end is then one unaligned load:
// 16 luma lanes for the pixels x .. x + 15 of a group of four quads, and
// 16 chroma lanes holding Cb (low half) and Cr (high half) of its eight even
// pixels. The rows live in a small ring per frame, for one column strip at a
// time, so the scratch stays on the stack.
//
// The early stop stays per quad: every lane keeps searching, but a quad's
// lanes freeze their value at the end of the first stage after which the quad
// is calm (its best costs only fall afterwards, so it stays calm), and the
// search ends when all four quads are calm.
//
// Every function here is local, so no AVX2 code can stand in for an inline
// function of another file; from the shared header only the candidate table
// and constants are used.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "prefilter/prefilter.h"
#include "prefilter/prefilter_internal.h"

namespace {

using prefilter_detail::mosquito_candidate_count;
using prefilter_detail::mosquito_candidates;
using prefilter_detail::mosquito_chroma_bias;
using prefilter_detail::mosquito_stage_count;
using prefilter_detail::mosquito_stage_last;
using prefilter_detail::mosquito_stop_cost;

// Pixels per column strip (a multiple of 16; groups of four quads start at
// 2 + 16k). A row slot holds the strip plus the two pixels of reach on each
// side, rounded up to whole 16-pixel blocks; the last strip may take one
// more group (the one that ends at w - 2).
constexpr int strip_pixels = 256;
constexpr int slot_luma = strip_pixels + 16;
constexpr int slot_half = slot_luma / 2;
// Slot layout in shorts: pad, Y, Cb even, Cb odd, Cr even, Cr odd. The pad
// keeps the pointers of the -1 / -2 taps inside the slot.
constexpr int slot_pad = 16;
constexpr int slot_y = slot_pad;
constexpr int slot_cb_even = slot_y + slot_luma;
constexpr int slot_cb_odd = slot_cb_even + slot_half;
constexpr int slot_cr = slot_luma;  // Cr planes follow the Cb planes at this distance
constexpr int slot_shorts = slot_cb_even + 2 * slot_luma;
constexpr int ring_rows = 8;    // rows y - 2 .. y + 2 live at once; slot = row & 7
constexpr int fetch_ahead = 2;  // rows between fetching and splitting a row

inline int16_t clamp16(int v) {
  return static_cast<int16_t>(v > 32767 ? 32767 : (v < -32768 ? -32768 : v));
}

inline __m256i load16(const int16_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
inline __m128i load8(const void* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
// Eight shorts at p (low half) and eight at p + slot_cr (high half).
inline __m256i load_chroma(const int16_t* p) {
  return _mm256_inserti128_si256(_mm256_castsi128_si256(load8(p)), load8(p + slot_cr), 1);
}

// The byte shuffles that split eight pixels (24 shorts in three vectors) into
// planar lanes and join them again; each 128-bit half works on its own eight
// pixels.
struct shuffles {
  __m256i split_y[3], split_even[3], split_odd[3];  // per input vector
  __m256i join_y[3], join_chroma[3];                // per output vector
};

// A shuffle taking lane t from short src[t] of a 24-short run when that short
// lies in vector `vec`, zero otherwise.
__m256i pick_lanes(const int (&src)[8], int vec) {
  int8_t b[32];
  for (int t = 0; t < 8; ++t) {
    const bool here = src[t] >= 0 && src[t] / 8 == vec;
    b[2 * t] = here ? int8_t(2 * (src[t] % 8)) : int8_t(-128);
    b[2 * t + 1] = here ? int8_t(2 * (src[t] % 8) + 1) : int8_t(-128);
    b[16 + 2 * t] = b[2 * t];
    b[16 + 2 * t + 1] = b[2 * t + 1];
  }
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b));
}

void make_shuffles(shuffles* s) {
  // Pixel k of the run has y, cb, cr at shorts 3k, 3k + 1, 3k + 2.
  int y[8], even[8], odd[8];
  for (int k = 0; k < 4; ++k) {
    even[k] = 3 * (2 * k) + 1, even[4 + k] = 3 * (2 * k) + 2;
    odd[k] = 3 * (2 * k + 1) + 1, odd[4 + k] = 3 * (2 * k + 1) + 2;
  }
  for (int k = 0; k < 8; ++k) y[k] = 3 * k;
  for (int v = 0; v < 3; ++v) {
    s->split_y[v] = pick_lanes(y, v);
    s->split_even[v] = pick_lanes(even, v);
    s->split_odd[v] = pick_lanes(odd, v);
    // Output short 8v + t: luma of pixel p from Y lane p; Cb / Cr of pixel p
    // from lane p / 2 / 4 + p / 2 of the (cb0..3, cr0..3) vector.
    int from_y[8], from_chroma[8];
    for (int t = 0; t < 8; ++t) {
      const int j = 8 * v + t, p = j / 3, comp = j % 3;
      from_y[t] = comp == 0 ? 8 * v + p : -1;
      from_chroma[t] = comp == 0 ? -1 : 8 * v + (comp == 1 ? p / 2 : 4 + p / 2);
    }
    s->join_y[v] = pick_lanes(from_y, v);
    s->join_chroma[v] = pick_lanes(from_chroma, v);
  }
}

// Splits pixels px[0 .. count) (count a multiple of 16) into a slot.
void split_row(const PIXEL_YC* px, int count, const shuffles& s, int16_t* slot) {
  const __m256i bias = _mm256_set1_epi16(mosquito_chroma_bias);
  const short* in = reinterpret_cast<const short*>(px);
  for (int i = 0; i < count; i += 16) {
    const short* p = in + 3 * i;
    // Shorts 8k .. 8k + 7 of pixels 0 .. 7 (low half) and 8 .. 15 (high half).
    const __m256i v0 = _mm256_inserti128_si256(_mm256_castsi128_si256(load8(p)), load8(p + 24), 1);
    const __m256i v1 =
        _mm256_inserti128_si256(_mm256_castsi128_si256(load8(p + 8)), load8(p + 32), 1);
    const __m256i v2 =
        _mm256_inserti128_si256(_mm256_castsi128_si256(load8(p + 16)), load8(p + 40), 1);
    const __m256i y = _mm256_or_si256(
        _mm256_or_si256(_mm256_shuffle_epi8(v0, s.split_y[0]), _mm256_shuffle_epi8(v1, s.split_y[1])),
        _mm256_shuffle_epi8(v2, s.split_y[2]));
    __m256i even = _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(v0, s.split_even[0]),
                                                   _mm256_shuffle_epi8(v1, s.split_even[1])),
                                   _mm256_shuffle_epi8(v2, s.split_even[2]));
    __m256i odd = _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(v0, s.split_odd[0]),
                                                  _mm256_shuffle_epi8(v1, s.split_odd[1])),
                                  _mm256_shuffle_epi8(v2, s.split_odd[2]));
    // Per half (cb 4, cr 4) to (cb 8 | cr 8) across the halves.
    even = _mm256_adds_epi16(_mm256_permute4x64_epi64(even, _MM_SHUFFLE(3, 1, 2, 0)), bias);
    odd = _mm256_adds_epi16(_mm256_permute4x64_epi64(odd, _MM_SHUFFLE(3, 1, 2, 0)), bias);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(slot + slot_y + i), y);
    int16_t* e = slot + slot_cb_even + i / 2;
    int16_t* o = slot + slot_cb_odd + i / 2;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(e), _mm256_castsi256_si128(even));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(e + slot_cr), _mm256_extracti128_si256(even, 1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm256_castsi256_si128(odd));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o + slot_cr), _mm256_extracti128_si256(odd, 1));
  }
}

inline __m256i absdiff_sat(__m256i a, __m256i b) {
  return _mm256_max_epi16(_mm256_subs_epi16(a, b), _mm256_subs_epi16(b, a));
}

// One candidate on 16 lanes: take the pair where its cost is not above best.
inline void try_pair(__m256i a, __m256i b, __m256i c2, __m256i* v, __m256i* best) {
  const __m256i sum = _mm256_adds_epi16(a, b);
  const __m256i cost = _mm256_adds_epi16(absdiff_sat(sum, c2), absdiff_sat(a, b));
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

// Where each candidate end reads in the ring for the current row: luma lane
// of pixel j of the strip is luma[c][e][j], chroma lane of even pixel 2i is
// chroma[c][e][i] (Cr at + slot_cr).
struct row_taps {
  const int16_t* luma[mosquito_candidate_count][2];
  const int16_t* chroma[mosquito_candidate_count][2];
};

// Chroma of pixel 2i + dx in the planar rows: even plane for even dx, odd
// plane for odd dx, shifted by the pixel pairs crossed.
inline int chroma_tap(int dx) {
  switch (dx) {
    case -2: return slot_cb_even - 1;
    case -1: return slot_cb_odd - 1;
    case 1: return slot_cb_odd;
    case 2: return slot_cb_even + 1;
    default: return slot_cb_even;
  }
}

struct group_params {
  const row_taps* taps;
  const int16_t* centre;  // slot of the current src row
  __m256i start_best;
  __m256i chroma_bias32;
  __m256i calm_chroma_index;
  __m256i stop_cost;
};

// Filters the four quads of pixels j .. j + 15 of the strip (j even) and
// stores the sixteen pixels at out.
void filter_group(const group_params& g, const shuffles& s, int j, PIXEL_YC* out) {
  const row_taps& t = *g.taps;
  const int i = j / 2;
  const __m256i cl = load16(g.centre + slot_y + j);
  const __m256i cc = load_chroma(g.centre + slot_cb_even + i);
  const __m256i c2l = _mm256_adds_epi16(cl, cl), c2c = _mm256_adds_epi16(cc, cc);
  __m256i vl = c2l, vc = c2c, best_l = g.start_best, best_c = g.start_best;
  __m256i keep_l = vl, keep_c = vc;
  __m256i frozen_l = _mm256_setzero_si256(), frozen_c = frozen_l;
  int cand = 0;
#pragma GCC unroll 6
  for (int stage = 0; stage < mosquito_stage_count; ++stage) {
#pragma GCC unroll 19
    for (; cand <= mosquito_stage_last[stage]; ++cand) {
      try_pair(load16(t.luma[cand][0] + j), load16(t.luma[cand][1] + j), c2l, &vl, &best_l);
      if (!mosquito_candidates[cand].luma_only)
        try_pair(load_chroma(t.chroma[cand][0] + i), load_chroma(t.chroma[cand][1] + i), c2c, &vc,
                 &best_c);
    }
    if (stage == mosquito_stage_count - 1) break;
    // Quad q is luma lanes 4q .. 4q + 3 (64-bit lane q) and chroma lanes 2q,
    // 2q + 1 (Cb) and 8 + 2q, 9 + 2q (Cr): fold chroma onto the luma layout.
    const __m256i busy_c = _mm256_cmpgt_epi16(best_c, g.stop_cost);
    const __m128i busy_c8 =
        _mm_or_si128(_mm256_castsi256_si128(busy_c), _mm256_extracti128_si256(busy_c, 1));
    const __m256i busy = _mm256_or_si256(_mm256_cmpgt_epi16(best_l, g.stop_cost),
                                         _mm256_cvtepi16_epi32(busy_c8));
    const __m256i calm_l = _mm256_cmpeq_epi64(busy, _mm256_setzero_si256());
    const __m256i calm_c = _mm256_permutevar8x32_epi32(calm_l, g.calm_chroma_index);
    // Quads calm before keep their value; the others take the current one.
    keep_l = _mm256_blendv_epi8(vl, keep_l, frozen_l);
    keep_c = _mm256_blendv_epi8(vc, keep_c, frozen_c);
    frozen_l = calm_l;
    frozen_c = calm_c;
    if (_mm256_movemask_pd(_mm256_castsi256_pd(calm_l)) == 15) break;
  }
  vl = _mm256_blendv_epi8(vl, keep_l, frozen_l);
  vc = _mm256_blendv_epi8(vc, keep_c, frozen_c);

  const __m256i ol = blend32(vl, c2l, _mm256_setzero_si256());
  // (cb 8 | cr 8) to (cb0..3, cr0..3 | cb4..7, cr4..7), the pairs of each half.
  const __m256i oc = _mm256_permute4x64_epi64(blend32(vc, c2c, g.chroma_bias32),
                                              _MM_SHUFFLE(3, 1, 2, 0));
  const __m256i o0 = _mm256_or_si256(_mm256_shuffle_epi8(ol, s.join_y[0]),
                                     _mm256_shuffle_epi8(oc, s.join_chroma[0]));
  const __m256i o1 = _mm256_or_si256(_mm256_shuffle_epi8(ol, s.join_y[1]),
                                     _mm256_shuffle_epi8(oc, s.join_chroma[1]));
  const __m256i o2 = _mm256_or_si256(_mm256_shuffle_epi8(ol, s.join_y[2]),
                                     _mm256_shuffle_epi8(oc, s.join_chroma[2]));
  __m256i* dst = reinterpret_cast<__m256i*>(out);
  _mm256_storeu_si256(dst, _mm256_permute2x128_si256(o0, o1, 0x20));
  _mm256_storeu_si256(dst + 1, _mm256_permute2x128_si256(o2, o0, 0x30));
  _mm256_storeu_si256(dst + 2, _mm256_permute2x128_si256(o1, o2, 0x31));
}

}  // namespace

void mosquito_nr_rows_avx2(const PIXEL_YC* src, const PIXEL_YC* prev, const PIXEL_YC* next,
                           const FILTER_PROC_INFO* fpip, int field_step, int strength,
                           int y_begin, int y_end) {
  const int w = fpip->w;
  const int h = fpip->h;
  const ptrdiff_t pitch = fpip->max_w;
  // Groups of four quads need w >= 20; the strips need whole 16-pixel blocks.
  if (w < 32 || w % 16 != 0 || field_step < 1 || field_step > 2) {
    mosquito_nr_rows_sse2(src, prev, next, fpip, field_step, strength, y_begin, y_end);
    return;
  }
  for (int y = y_begin; y < y_end; ++y) {
    const PIXEL_YC* in = src + y * pitch;
    PIXEL_YC* out = fpip->ycp_temp + y * pitch;
    if (y < 2 || y > h - 3) {
      std::memcpy(out, in, sizeof(PIXEL_YC) * static_cast<size_t>(w));
    } else {
      std::memcpy(out, in, sizeof(PIXEL_YC) * 2);
      std::memcpy(out + w - 2, in + w - 2, sizeof(PIXEL_YC) * 2);
    }
  }
  const int ya = y_begin > 2 ? y_begin : 2;
  const int yb = y_end < h - 2 ? y_end : h - 2;
  if (ya >= yb) return;

  shuffles s;
  make_shuffles(&s);
  group_params g;
  g.start_best = _mm256_set1_epi16(clamp16(2 * clamp16(strength)));
  g.chroma_bias32 = _mm256_set1_epi32(mosquito_chroma_bias);
  g.calm_chroma_index = _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6);
  g.stop_cost = _mm256_set1_epi16(mosquito_stop_cost);
  row_taps taps;
  g.taps = &taps;
  alignas(32) int16_t ring[3][ring_rows][slot_shorts];
  const PIXEL_YC* frames[3] = {src, prev, next};
  // Candidate ends as frame, row offset and offsets of the luma and chroma
  // taps in a slot.
  struct tap_plan {
    int frame, row, luma, chroma;
  } plan[mosquito_candidate_count][2];
  for (int c = 0; c < mosquito_candidate_count; ++c) {
    const prefilter_detail::mosquito_tap ends[2] = {mosquito_candidates[c].a,
                                                    mosquito_candidates[c].b};
    for (int e = 0; e < 2; ++e)
      plan[c][e] = {ends[e].frame, ends[e].row_f * field_step + ends[e].row_1,
                    slot_y + ends[e].dx, chroma_tap(ends[e].dx)};
  }
  const int reach = field_step;  // rows y - reach .. y + reach are read

  // Groups start at 2 + 16k for k < full, then one more at w - 18 (the quad
  // count is odd, so that group redoes the quad at w - 18: same result).
  const int full = (w - 4) / 16;
  const int strip_groups = strip_pixels / 16;
  for (int k0 = 0; k0 < full; k0 += strip_groups) {
    const bool last = k0 + strip_groups >= full;
    const int k1 = last ? full : k0 + strip_groups;
    const int base = 16 * k0;  // pixel of strip column 0
    const int count = last ? w - base : 16 * (k1 - k0) + 16;
    auto split = [&](int row) {
      for (int f = 0; f < 3; ++f)
        split_row(frames[f] + row * pitch + base, count, s, ring[f][row & (ring_rows - 1)]);
    };
    for (int row = ya - reach; row < ya + reach; ++row) split(row);
    for (int y = ya; y < yb; ++y) {
      split(y + reach);
      for (int c = 0; c < mosquito_candidate_count; ++c)
        for (int e = 0; e < 2; ++e) {
          const tap_plan& tp = plan[c][e];
          const int16_t* slot = ring[tp.frame][(y + tp.row) & (ring_rows - 1)];
          taps.luma[c][e] = slot + tp.luma;
          taps.chroma[c][e] = slot + tp.chroma;
        }
      g.centre = ring[0][y & (ring_rows - 1)];
      PIXEL_YC* out = fpip->ycp_temp + y * pitch + base;
      // A strip reads only part of each row, which the hardware does not
      // foresee: fetch the part of a row split a few rows later, a little
      // with each group.
      const int fetch_row = y + reach + fetch_ahead < h ? y + reach + fetch_ahead : h - 1;
      const char* fetch[3];
      for (int f = 0; f < 3; ++f)
        fetch[f] = reinterpret_cast<const char*>(frames[f] + fetch_row * pitch + base);
      for (int k = k0; k < k1; ++k) {
        for (int f = 0; f < 3; ++f) {
          _mm_prefetch(fetch[f] + 96 * (k - k0), _MM_HINT_T0);
          _mm_prefetch(fetch[f] + 96 * (k - k0) + 64, _MM_HINT_T0);
        }
        filter_group(g, s, 2 + 16 * (k - k0), out + 2 + 16 * (k - k0));
      }
      if (last) filter_group(g, s, w - 18 - base, out + (w - 18 - base));
    }
  }
}
