// The planar path of block-noise reduction, written once for the SSE2 and the
// AVX2 versions as templates over a vector of 16-bit lanes V.
//
// A strip of n pixel pairs of each input row is split into six planes: plane
// (par, comp) holds component comp of pixel 2i + par at index i. Per
// direction c of (0,1), (1,-1), (1,0), (1,1) the difference image
// A(q) = |I(q) - I(q + c)| gives the ring differences of candidate c around p
// and of candidate -c around p - c, for every sample alike. Its horizontal
// 3-sums H (and 3-maxima M) then give each ring: sum H(row - 1) + H(row + 1)
// + A(pixel - 1) + A(pixel + 1), maximum alike. Saturating sums of
// non-negative values do not depend on their order, so they equal the
// scalar ring sums; image_row says how the difference limit is folded into
// the sums so that most rings need no maximum.
//
// Rows step by the field step; k counts the rows of one field of the band.
// Input and image rows live in four slots (row k in slot k & 3): the output
// row k needs input rows k - 1 .. k + 1 and image rows k - 2 .. k + 1, and
// image row k + 1 is built from input rows k + 1 and k + 2. The whole
// scratch (about 28 KiB) stays on the stack and in the first-level cache.
//
// V offers: lanes (8 or 16); reg; ld and st (unaligned); set1, zero, add,
// adds, subs, max, cmpgt, bit_and, bit_or, andnot (~a & b), select (mask ?
// yes : no, per lane); mean_offset (see block_nr_sse2.cpp); and the two
// steps that move pixels, split_row<N> (pairs of a row into the six planes
// of a slot) and store_pairs (lanes result pairs from the six planes back
// into pixels), defined after this header since they use its layout.
//
// Include it inside an anonymous namespace, after V and, outside it, the
// instruction set's header, <cstring> and prefilter_internal.h (for
// copy_unfiltered, out of line): every function is then the including file's
// own, so no wider-instruction-set copy can stand in for another file's.
#pragma once

inline int16_t clamp16(int v) {
  return static_cast<int16_t>(v > 32767 ? 32767 : (v < -32768 ? -32768 : v));
}

constexpr int strip_pairs = 46;  // output pairs of a full strip
constexpr int pad = 4;           // room for reads one pair beyond a row
constexpr int row_len = strip_pairs + 2 + 2 * pad;
constexpr int slots = 4;
constexpr int prefetch_rows = 4;  // rows ahead of the strip to fetch
constexpr int dirs = 4;
enum { kind_a = 0, kind_h = 1, kind_m = 2 };

// Per slot: luma A, H, M and chroma A, H (see image_row) of four directions,
// two parities each.
constexpr int img_slot_rows = dirs * 3 * 2 + 2 * dirs * 2 * 2;
constexpr int img_rows_at = slots * 6 * row_len;
constexpr int scratch_len = img_rows_at + slots * img_slot_rows * row_len;

constexpr int in_row(int slot, int par, int comp) {
  return (slot * 6 + par * 3 + comp) * row_len + pad;
}
constexpr int img_row(int slot, int comp, int dir, int kind, int par) {
  return img_rows_at +
         (slot * img_slot_rows +
          (comp == 0 ? (dir * 3 + kind) * 2
                     : dirs * 3 * 2 + (((comp - 1) * dirs + dir) * 2 + kind) * 2) +
          par) *
             row_len +
         pad;
}

// Pixel 2i + v (v = -2 .. 3) lies in plane parity pair_par(v) at index
// i + pair_off(v).
constexpr int pair_par(int v) { return v & 1; }
constexpr int pair_off(int v) { return (v + 2) / 2 - 1; }

constexpr int dir_i[dirs] = {0, 1, 1, 1};
constexpr int dir_j[dirs] = {1, -1, 0, 1};
// The direction serving candidate (ci, cj), as itself or as its opposite.
constexpr int dir_of(int ci, int cj) {
  int d = 0;
  for (int k = 0; k < dirs; ++k)
    if ((dir_i[k] == ci && dir_j[k] == cj) || (dir_i[k] == -ci && dir_j[k] == -cj)) d = k;
  return d;
}

// Calls f(i) for i = from, from + V::lanes, ..., the last call moved back to
// end at to (to - from >= V::lanes); overlapping calls give the same values.
template <class V, class F>
inline void for_vectors(int from, int to, F f) {
  constexpr int lanes = V::lanes;
  if ((to - from) % lanes == 0) {  // the full strips: a plain loop to unroll
#pragma GCC unroll 4
    for (int i = from; i < to; i += lanes) f(i);
    return;
  }
  for (int i = from;; i += lanes) {
    if (i > to - lanes) i = to - lanes;
    f(i);
    if (i == to - lanes) break;
  }
}

// |a - b| saturated to 32767.
template <class V>
inline typename V::reg absdiff_sat(typename V::reg a, typename V::reg b) {
  return V::max(V::subs(a, b), V::subs(b, a));
}

template <class V>
struct limit_vectors {
  typename V::reg luma_d, luma_s, skin_d, skin_s, chroma_d, chroma_s, skin_on;
  typename V::reg flag;  // added to middle luma differences, see image_row
};

// The A vectors of component comp at pairs i .. i + lanes - 1, direction by
// direction; the eight share their input vectors, loaded once each.
template <class V, bool F, int comp>
__attribute__((always_inline)) inline void diff_vectors(int16_t* base, const int16_t* in,
                                                        const int16_t* in_next, int i,
                                                        typename V::reg luma_d,
                                                        typename V::reg skin_d,
                                                        typename V::reg chroma_d,
                                                        typename V::reg flag) {
  using R = typename V::reg;
  const R big = V::set1(32767);
  const auto put = [&](int d, int par, R a, R b) __attribute__((always_inline)) {
    const R v = absdiff_sat<V>(a, b);
    int16_t* diff = base + img_row(0, comp, d, kind_a, par) + i;
    if (comp != 0) {
      V::st(diff, V::select(V::cmpgt(chroma_d, v), v, big));
    } else if (F) {
      const R medium = V::andnot(V::cmpgt(skin_d, v), flag);
      V::st(diff, V::select(V::cmpgt(luma_d, v), V::adds(v, medium), big));
    } else {
      V::st(diff, v);
    }
  };
  const int16_t* row0 = in + in_row(0, 0, comp) + i;  // pixel 2i, this row
  const int16_t* row1 = in + in_row(0, 1, comp) + i;  // pixel 2i + 1
  const int16_t* next0 = in_next + in_row(0, 0, comp) + i;
  const int16_t* next1 = in_next + in_row(0, 1, comp) + i;
  const R a0 = V::ld(row0), a1 = V::ld(row1);
  put(0, 0, a0, a1);  // (0, 1)
  put(0, 1, a1, V::ld(row0 + 1));
  const R b0 = V::ld(next0), b1 = V::ld(next1);
  put(2, 0, a0, b0);  // (1, 0)
  put(2, 1, a1, b1);
  put(1, 0, a0, V::ld(next1 - 1));  // (1, -1)
  put(1, 1, a1, b0);
  put(3, 0, a0, b1);  // (1, 1)
  put(3, 1, a1, V::ld(next0 + 1));
}

// Difference images of the row in a slot (input rows in that slot and the
// next): all A first, then H and M from A at pixels x - 1, x, x + 1, so that
// no load waits for a store it straddles. Chroma has one difference limit,
// so its A carries the limit test as a penalty instead of a maximum: A
// itself when below the limit, else 32767, which no ring sum below the sum
// limit survives (see candidate). With flags (F, for luma limits D <= 256
// and L <= 2047) luma needs no M either: A below D / 4 stays, A from D / 4
// to D - 1 gets 2048 added, A of D or more becomes 32767. A ring sum then
// holds the sum of its A below D in bits 0-10 (at most 8 * 255), the count
// of middle ones above, and saturates when one reached D.
template <class V, int N, bool F>
void image_row(int16_t* s, int slot, int n, const limit_vectors<V>& lim) {
  using R = typename V::reg;
  const int len = N ? N : n;
  int16_t* base = s + slot * (img_row(1, 0, 0, 0, 0) - img_row(0, 0, 0, 0, 0));
  const int16_t* in = s + slot * (in_row(1, 0, 0) - in_row(0, 0, 0));
  const int16_t* in_next = s + ((slot + 1) & 3) * (in_row(1, 0, 0) - in_row(0, 0, 0));
  // Limits as values: the compiler cannot keep them in registers through the
  // stores otherwise.
  const R luma_d = lim.luma_d, skin_d = lim.skin_d, chroma_d = lim.chroma_d, flag = lim.flag;
  for_vectors<V>(0, len, [&](int i) __attribute__((always_inline)) {
    diff_vectors<V, F, 0>(base, in, in_next, i, luma_d, skin_d, chroma_d, flag);
  });
  for_vectors<V>(0, len, [&](int i) __attribute__((always_inline)) {
    diff_vectors<V, F, 1>(base, in, in_next, i, luma_d, skin_d, chroma_d, flag);
  });
  for_vectors<V>(0, len, [&](int i) __attribute__((always_inline)) {
    diff_vectors<V, F, 2>(base, in, in_next, i, luma_d, skin_d, chroma_d, flag);
  });
  // Saturating sums (and maxima) of non-negative values do not depend on
  // their order: both parities share the sum of their two middle terms.
  constexpr int odd = img_row(0, 0, 0, 0, 1) - img_row(0, 0, 0, 0, 0);
#pragma GCC unroll 3
  for (int comp = 0; comp < 3; ++comp)
#pragma GCC unroll 4
    for (int d = 0; d < dirs; ++d) {
      const int16_t* a0 = base + img_row(0, comp, d, kind_a, 0);
      const int16_t* a1 = base + img_row(0, comp, d, kind_a, 1);
      int16_t* sum = base + img_row(0, comp, d, kind_h, 0);
      int16_t* peak = base + img_row(0, comp, d, kind_m, 0);
      // Chroma's even samples never read the odd sums of the vertical
      // direction.
      const bool odd_sums = comp == 0 || d != 2;
      for_vectors<V>(0, len, [&](int i) {
        const R v0 = V::ld(a0 + i), v1 = V::ld(a1 + i);
        const R vl = V::ld(a1 + i - 1), vr = V::ld(a0 + i + 1);
        const R mid = V::adds(v0, v1);
        V::st(sum + i, V::adds(mid, vl));
        if (odd_sums) V::st(sum + odd + i, V::adds(mid, vr));
        if (comp == 0 && !F) {
          const R top = V::max(v0, v1);
          V::st(peak + i, V::max(top, vl));
          V::st(peak + odd + i, V::max(top, vr));
        }
      });
    }
  if (!F) return;
  // Flagged luma needs no M: its M rows take the ring sums of the row above,
  // whose sums of the rows above and below it are complete now. Every ring
  // sum serves two candidates, c and -c.
  constexpr int stride = img_row(1, 0, 0, 0, 0) - img_row(0, 0, 0, 0, 0);
  int16_t* up = s + ((slot + 3) & 3) * stride;
  const int16_t* up2 = s + ((slot + 2) & 3) * stride;
#pragma GCC unroll 4
  for (int d = 0; d < dirs; ++d) {
    const int16_t* h_above = up2 + img_row(0, 0, d, kind_h, 0);
    const int16_t* h_below = base + img_row(0, 0, d, kind_h, 0);
    const int16_t* a0 = up + img_row(0, 0, d, kind_a, 0);
    const int16_t* a1 = up + img_row(0, 0, d, kind_a, 1);
    int16_t* ring = up + img_row(0, 0, d, kind_m, 0);
    for_vectors<V>(0, len, [&](int i) {
      V::st(ring + i, V::adds(V::adds(V::ld(h_above + i), V::ld(h_below + i)),
                              V::adds(V::ld(a1 + i - 1), V::ld(a1 + i))));
      V::st(ring + odd + i, V::adds(V::adds(V::ld(h_above + odd + i), V::ld(h_below + odd + i)),
                                    V::adds(V::ld(a0 + i), V::ld(a0 + i + 1))));
    });
  }
}

// Candidate (ci, cj) of the plane (par, comp) samples at pairs i .. i +
// lanes - 1 of row k (slot K): the ring test and, when accepted, W(c) -
// W(0, 0) into acc. Chroma's penalised differences make the ring sum reach
// the sum limit as soon as one difference reaches the difference limit, so
// the sum test alone decides (a sum limit of 0 or less rejects every ring
// either way).
template <class V, bool F, int K, int comp, int par, int ci, int cj>
__attribute__((always_inline)) inline void candidate(
    const int16_t* s, int i, typename V::reg centre, typename V::reg diff_limit,
    typename V::reg sum_limit, typename V::reg sum_mask, typename V::reg& acc,
    typename V::reg& count) {
  using R = typename V::reg;
  constexpr int d = dir_of(ci, cj);
  constexpr bool forward = dir_i[d] == ci && dir_j[d] == cj;
  // The ring's centre: p for c itself, p + c for the opposite direction.
  constexpr int qi = forward ? 0 : ci, qj = forward ? 0 : cj;
  constexpr int above = (K + qi + 3) & 3, mid = (K + qi + 4) & 3, below = (K + qi + 5) & 3;
  constexpr int hm = img_row(0, comp, d, kind_m, 0) - img_row(0, comp, d, kind_h, 0);
  const int16_t* h_above =
      s + img_row(above, comp, d, kind_h, pair_par(par + qj)) + pair_off(par + qj) + i;
  const int16_t* h_below =
      s + img_row(below, comp, d, kind_h, pair_par(par + qj)) + pair_off(par + qj) + i;
  const R a_left = V::ld(s + img_row(mid, comp, d, kind_a, pair_par(par + qj - 1)) +
                         pair_off(par + qj - 1) + i);
  const R a_right = V::ld(s + img_row(mid, comp, d, kind_a, pair_par(par + qj + 1)) +
                          pair_off(par + qj + 1) + i);
  R ok;
  if (comp == 0 && F) {  // ring sums ready in the M rows (see image_row)
    const R sum =
        V::ld(s + img_row(mid, 0, d, kind_m, pair_par(par + qj)) + pair_off(par + qj) + i);
    ok = V::cmpgt(sum_limit, V::bit_and(sum, sum_mask));
  } else {
    const R sum = V::adds(V::adds(V::ld(h_above), V::ld(h_below)), V::adds(a_left, a_right));
    ok = V::cmpgt(sum_limit, sum);
  }
  if (comp == 0 && !F) {
    const R peak =
        V::max(V::max(V::ld(h_above + hm), V::ld(h_below + hm)), V::max(a_left, a_right));
    ok = V::bit_and(ok, V::cmpgt(diff_limit, peak));
  }
  const R w =
      V::ld(s + in_row((K + ci + 4) & 3, pair_par(par + cj), comp) + pair_off(par + cj) + i);
  acc = V::adds(acc, V::bit_and(ok, V::subs(w, centre)));
  count = V::add(count, ok);
}

// Corrections of the plane (par, comp) samples at pairs i .. i + lanes - 1
// of row k.
template <class V, bool F, int K, int comp, int par>
__attribute__((always_inline)) inline typename V::reg plane_delta(const int16_t* s, int i,
                                                                  typename V::reg diff_limit,
                                                                  typename V::reg sum_limit,
                                                                  typename V::reg sum_mask) {
  using R = typename V::reg;
  const R centre = V::ld(s + in_row(K, par, comp) + i);
  // count holds -n: each accepted candidate adds its all-ones mask. The
  // centre counts always: when its limits reject it they reject every ring,
  // A stays 0 and so does A / 1.
  R count = V::set1(-1);
  R acc = V::zero();
  candidate<V, F, K, comp, par, -1, -1>(s, i, centre, diff_limit, sum_limit, sum_mask, acc,
                                        count);
  candidate<V, F, K, comp, par, -1, 0>(s, i, centre, diff_limit, sum_limit, sum_mask, acc, count);
  candidate<V, F, K, comp, par, -1, 1>(s, i, centre, diff_limit, sum_limit, sum_mask, acc, count);
  candidate<V, F, K, comp, par, 0, -1>(s, i, centre, diff_limit, sum_limit, sum_mask, acc, count);
  candidate<V, F, K, comp, par, 0, 1>(s, i, centre, diff_limit, sum_limit, sum_mask, acc, count);
  candidate<V, F, K, comp, par, 1, -1>(s, i, centre, diff_limit, sum_limit, sum_mask, acc, count);
  candidate<V, F, K, comp, par, 1, 0>(s, i, centre, diff_limit, sum_limit, sum_mask, acc, count);
  candidate<V, F, K, comp, par, 1, 1>(s, i, centre, diff_limit, sum_limit, sum_mask, acc, count);
  return V::mean_offset(acc, count);
}

// Filters row k (slot K) of the strip into the output row (at pair 0 of
// the strip).
template <class V, int N, bool F, int K>
void filter_row(const int16_t* s, int n, const limit_vectors<V>& lim_ref,
                PIXEL_YC* out) {
  using R = typename V::reg;
  const limit_vectors<V> lim = lim_ref;  // in registers through the stores
  for_vectors<V>(1, (N ? N : n) - 1, [&](int i) __attribute__((always_inline)) {
    const R y = V::ld(s + in_row(K, 0, 0) + i), cb = V::ld(s + in_row(K, 0, 1) + i),
            cr = V::ld(s + in_row(K, 0, 2) + i);
    // Skin tone of the pair's first pixel: 1400 < y < 3000, -50 < cr < 600,
    // -680 < cb < 280.
    const R skin_y = V::bit_and(V::cmpgt(y, V::set1(1400)), V::cmpgt(V::set1(3000), y));
    const R skin_cr = V::bit_and(V::cmpgt(cr, V::set1(-50)), V::cmpgt(V::set1(600), cr));
    const R skin_cb = V::bit_and(V::cmpgt(cb, V::set1(-680)), V::cmpgt(V::set1(280), cb));
    const R skin = V::bit_and(V::bit_and(skin_y, lim.skin_on), V::bit_and(skin_cr, skin_cb));
    const R luma_d = V::select(skin, lim.skin_d, lim.luma_d);
    const R luma_s = V::select(skin, lim.skin_s, lim.luma_s);
    // Flagged ring sums: skin lanes compare them whole (any middle
    // difference rejects), the others only their bits 0-10.
    const R mask = V::bit_or(skin, V::set1(2047));
    R res[6];
    res[0] = V::adds(y, plane_delta<V, F, K, 0, 0>(s, i, luma_d, luma_s, mask));
    res[3] = V::adds(V::ld(s + in_row(K, 1, 0) + i),
                     plane_delta<V, F, K, 0, 1>(s, i, luma_d, luma_s, mask));
    // The odd pixel's chroma takes the even pixel's correction.
    const R d_cb = plane_delta<V, F, K, 1, 0>(s, i, lim.chroma_d, lim.chroma_s, mask);
    res[1] = V::adds(cb, d_cb);
    res[4] = V::adds(V::ld(s + in_row(K, 1, 1) + i), d_cb);
    const R d_cr = plane_delta<V, F, K, 2, 0>(s, i, lim.chroma_d, lim.chroma_s, mask);
    res[2] = V::adds(cr, d_cr);
    res[5] = V::adds(V::ld(s + in_row(K, 1, 2) + i), d_cr);
    V::store_pairs(out + 2 * i, res);
  });
}

// Rows [lo, hi) of the strip whose n input pairs start at in0 (output at
// out0), field by field; N is n when known at compile time, else 0.
template <class V, int N, bool F>
void filter_strip(int16_t* s, int n, const PIXEL_YC* in0, PIXEL_YC* out0, ptrdiff_t pitch,
                  int field_step, int lo, int hi, const limit_vectors<V>& lim) {
  for (int phase = 0; phase < field_step && lo + phase < hi; ++phase) {
    const auto row = [&](int k) {
      return static_cast<ptrdiff_t>(lo + phase + k * field_step) * pitch;
    };
    // Input rows -2 .. 2 and image rows -2 .. 0 first; then per row k the
    // image row k + 1, the output row k and the input row k + 3 (so that no
    // row is read right after it was written).
    for (int k = -2; k <= 2; ++k) {
      V::template split_row<N>(s, (k + 4) & 3, in0 + row(k), n);
      if (k >= -1 && k <= 1) image_row<V, N, F>(s, (k + 3) & 3, n, lim);
    }
    for (int k = 0;; ++k) {
      image_row<V, N, F>(s, (k + 1) & 3, n, lim);
      switch (k & 3) {
        case 0:
          filter_row<V, N, F, 0>(s, n, lim, out0 + row(k));
          break;
        case 1:
          filter_row<V, N, F, 1>(s, n, lim, out0 + row(k));
          break;
        case 2:
          filter_row<V, N, F, 2>(s, n, lim, out0 + row(k));
          break;
        default:
          filter_row<V, N, F, 3>(s, n, lim, out0 + row(k));
          break;
      }
      if (lo + phase + (k + 1) * field_step >= hi) break;
      // A strip walks down the frame: fetch its input and output lines a few
      // rows ahead, which the processor does not guess by itself.
      const int ahead = k + 1 + prefetch_rows;
      if (lo + phase + ahead * field_step < hi) {
        const char* next_in = reinterpret_cast<const char*>(in0 + row(ahead + 2));
        const char* next_out = reinterpret_cast<const char*>(out0 + row(ahead));
#pragma GCC unroll 10
        for (int b = 0; b < (N ? N : n) * 12; b += 64) {
          _mm_prefetch(next_in + b, _MM_HINT_T0);
          _mm_prefetch(next_out + b, _MM_HINT_T0);
        }
      }
      V::template split_row<N>(s, (k + 3) & 3, in0 + row(k + 3), n);
    }
  }
}

// The planar path for frames at least 48 pixels wide (a strip and its two
// neighbouring pairs).
template <class V>
void planar_rows(const FILTER_PROC_INFO* fpip, const PIXEL_YC* src, int field_step, int diff_limit,
                 int sum_limit, int y_begin, int y_end, uint8_t anime) {
  const int w = fpip->w;
  const ptrdiff_t pitch = fpip->max_w;
  const int first = 2 * field_step, end = fpip->h - 2 * field_step;
  copy_unfiltered(src, fpip->ycp_edit, pitch, w, y_begin, y_end, first, end);
  const int lo = y_begin > first ? y_begin : first, hi = y_end < end ? y_end : end;
  if (lo >= hi) return;

  const int16_t d = clamp16(diff_limit), l = clamp16(sum_limit);
  limit_vectors<V> lim;
  lim.luma_d = V::set1(d);
  lim.luma_s = V::set1(l);
  lim.skin_d = V::set1(static_cast<int16_t>(d / 4));
  lim.skin_s = V::set1(static_cast<int16_t>(l / 4));
  lim.chroma_d = V::set1(static_cast<int16_t>(d / 2));
  lim.chroma_s = V::set1(static_cast<int16_t>(l / 2));
  lim.skin_on = V::set1(anime != 1 ? -1 : 0);
  lim.flag = V::set1(2048);
  const bool flags = d <= 256 && l <= 2047;

  alignas(32) int16_t s[scratch_len];
  std::memset(s, 0, sizeof s);
  // Strips of pairs 1 .. w / 2 - 2 (pixels 2 .. w - 3), the last one moved
  // back to end at the row's end; a strip reads one pair on either side.
  const int pairs = w / 2;
  const int strip = pairs - 2 < strip_pairs ? pairs - 2 : strip_pairs, n = strip + 2;
  for (int p0 = 1;; p0 += strip) {
    if (p0 > pairs - 1 - strip) p0 = pairs - 1 - strip;
    const PIXEL_YC* in0 = src + 2 * (p0 - 1);
    PIXEL_YC* out0 = fpip->ycp_edit + 2 * (p0 - 1);
    if (strip == strip_pairs && flags)
      filter_strip<V, strip_pairs + 2, true>(s, n, in0, out0, pitch, field_step, lo, hi, lim);
    else if (strip == strip_pairs)
      filter_strip<V, strip_pairs + 2, false>(s, n, in0, out0, pitch, field_step, lo, hi, lim);
    else
      filter_strip<V, 0, false>(s, n, in0, out0, pitch, field_step, lo, hi, lim);
    if (p0 == pairs - 1 - strip) break;
  }
}
