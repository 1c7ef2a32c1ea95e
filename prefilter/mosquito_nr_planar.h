// The search of the planar mosquito-noise path, written once for the SSE2 and
// the AVX2 versions as templates over a vector of 16-bit lanes V.
//
// Each input row a candidate may read is split once into planar rows, for one
// column strip at a time (each version has its own slot layout): a group of
// quads is then one luma vector and one chroma vector, and every candidate
// end is one load at a constant offset from its row's slot. The rows live in
// a ring of five slots per frame, on the stack. The groups cover pixels
// 2 .. w + 1: the last group's last quad lies past the row end, reads the
// zeros that pad the last strip and is never stored.
//
// The early stop stays per quad: once a quad is calm after a stage, its lanes'
// best cost is set to -1, which no later candidate (cost >= 0) can reach, so
// its value stays as it was at that stage; the search ends when all quads of
// the group are calm.
//
// Rows whose samples all lie in [-8192, 8191] (after the chroma bias) take a
// faster search, exact on that range. With x = sum - 2c = (a - c) + (b - c)
// and y = a - b = (a - c) - (b - c), |x| + |y| = max(|x + y|, |x - y|)
// = 2 * max(|a - c|, |b - c|) = 2m. On that range no step saturates: a + b
// and 2c fit, |x| <= 32766 and |y| <= 16383, and the cost 2m <= 32766 does
// not reach the saturation bound either. So cost = 2m exactly, and the search
// keeps m_best with best = 2 * m_best:
//  - start: best = B = sat(2 * strength); cost <= B is 2m <= B, which is
//    m <= B >> 1 for any B (for B < 0 both sides reject every m >= 0, and
//    B >> 1 < 0), so m_best starts at B >> 1 (16383 for B = 32767);
//  - later: cost <= best is 2m <= 2 m_best, i.e. m <= m_best;
//  - stop: best <= 15 is m_best <= 7, both when best is still B (B <= 15 is
//    B >> 1 <= 7) and when best = 2 m_best.
// The final blend of those rows fits in 16 bits as well (see blend16).
//
// V offers: reg; set1, zero, add, adds, sub (16-bit lanes), srai<n>;
// blend32(v, c2, bias), the exact 32-bit blend; and the two steps that read
// its slot layout, try_candidate<field_step, fast, part, cand>(rows, k, s)
// (the candidate's pair, on the luma or chroma lanes or both as `part` says)
// and run_stage<field_step, fast, stage>(rows, k, s) (a stage and its early
// stop; true when the search is over).
//
// Include it inside an anonymous namespace, after the instruction set's
// header, <utility> and prefilter_internal.h (its candidate table only):
// every function is then the including file's own, so no wider-instruction-
// set copy can stand in for another file's.
#pragma once

constexpr int ring_rows = 5;    // rows y - 2 .. y + 2
constexpr int fetch_ahead = 2;  // rows between fetching and splitting a row
// Samples in [-fast_limit, fast_limit - 1] take the faster search.
constexpr int fast_limit = 8192;

// The search is one straight run of code per group; keep the compiler from
// splitting it into calls that spill the search state.
#define MOSQUITO_INLINE inline __attribute__((always_inline))

// The row of a candidate end as an index into a row_set (0 is row y - 2).
constexpr int row_index(const prefilter_detail::mosquito_tap& t, int field_step) {
  return t.row_f * field_step + t.row_1 + 2;
}

constexpr int stage_first(int stage) {
  return stage == 0 ? 0 : prefilter_detail::mosquito_stage_last[stage - 1] + 1;
}

constexpr bool same_end(const prefilter_detail::mosquito_tap& x,
                        const prefilter_detail::mosquito_tap& y, int field_step) {
  return x.frame == y.frame && x.dx == y.dx && row_index(x, field_step) == row_index(y, field_step);
}
constexpr bool same_reads(int i, int j, int field_step) {
  using prefilter_detail::mosquito_candidates;
  return same_end(mosquito_candidates[i].a, mosquito_candidates[j].a, field_step) &&
         same_end(mosquito_candidates[i].b, mosquito_candidates[j].b, field_step) &&
         mosquito_candidates[i].luma_only == mosquito_candidates[j].luma_only;
}
// Whether candidate `cand` of a stage can be left out: it belongs to a pair
// (p, p + 1), counted from the stage's first candidate, that reads exactly as
// the pair before it (with a row step of 1, the vertical mirror pairs repeat
// the adjacent-row pairs). Trying a pair of candidates X, Y twice in a row
// changes nothing the second time: after X, Y the best is at most both
// costs; X again is taken only at a cost equal to that best, and then Y is
// taken again exactly when it was taken the first time (its cost equals the
// best), so the value ends where it was.
constexpr bool repeats_pair(int cand, int stage, int field_step) {
  const int first = stage_first(stage), last = prefilter_detail::mosquito_stage_last[stage];
  const int p = first + (cand - first) / 2 * 2;
  return p >= first + 2 && p + 1 <= last && same_reads(p, p - 2, field_step) &&
         same_reads(p + 1, p - 1, field_step);
}

// The slots of rows y - 2 .. y + 2 (frame src first, prev and next follow).
struct row_set {
  const int16_t* r[5];
};

// The lanes a try_candidate call works on.
enum search_part { part_luma, part_chroma, part_both };

// The search state of one group: centre (fast: c, else 2c), value and best
// (fast: m_best), for the luma and the chroma lanes.
template <class V>
struct search {
  typename V::reg centre_l, centre_c, v_l, v_c, best_l, best_c;
};

// The candidates of a stage on the lanes of `part`, those that repeat the
// pair before them left out.
template <class V, int field_step, bool fast, int part, int stage, int first, int... i>
MOSQUITO_INLINE void try_candidates(const row_set& rows, ptrdiff_t k, search<V>* s,
                                    std::integer_sequence<int, i...>) {
  ((repeats_pair(first + i, stage, field_step)
        ? void()
        : V::template try_candidate<field_step, fast, part, first + i>(rows, k, s)),
   ...);
}

template <class V, int field_step, bool fast, int... stage>
MOSQUITO_INLINE void run_stages(const row_set& rows, ptrdiff_t k, search<V>* s,
                                std::integer_sequence<int, stage...>) {
  (V::template run_stage<field_step, fast, stage>(rows, k, s) || ...);
}

// The blend (before the bias) for v and c from the faster search's range, in
// 16 bits: with v = 2q + r (r 0 or 1), 3v + 2c + 4 = 2X + r for
// X = v + c + q + 2, and as 2X + r is never a multiple of 8 above 2X,
// (2X + r) >> 3 = X >> 2. X lies in [-32766, 32766] there.
template <class V>
inline typename V::reg blend16(typename V::reg v, typename V::reg c) {
  const typename V::reg x = V::add(V::add(v, c), V::template srai<1>(v));
  return V::template srai<2>(V::add(x, V::set1(2)));
}

// The whole search of the group at k (in shorts from the slots' start) whose
// centres are cl (luma) and cc (chroma, biased), and its blended results: ol
// the luma, oc the chroma without the bias.
template <class V, int field_step, bool fast>
MOSQUITO_INLINE void search_group(const row_set& rows, ptrdiff_t k, typename V::reg cl,
                                  typename V::reg cc, typename V::reg start_best,
                                  typename V::reg* ol, typename V::reg* oc) {
  using prefilter_detail::mosquito_chroma_bias;
  const typename V::reg c2l = V::adds(cl, cl), c2c = V::adds(cc, cc);
  search<V> s;
  s.centre_l = fast ? cl : c2l;
  s.centre_c = fast ? cc : c2c;
  s.v_l = c2l;
  s.v_c = c2c;
  s.best_l = s.best_c = start_best;
  run_stages<V, field_step, fast>(
      rows, k, &s, std::make_integer_sequence<int, prefilter_detail::mosquito_stage_count>());
  if (fast) {
    *ol = blend16<V>(s.v_l, cl);
    *oc = V::sub(blend16<V>(s.v_c, cc), V::set1(mosquito_chroma_bias));
  } else {
    *ol = V::blend32(s.v_l, c2l, 0);
    *oc = V::blend32(s.v_c, c2c, mosquito_chroma_bias);
  }
}

// The slots of the rows around y in a ring of ring_rows rows (slots of
// slot_shorts shorts per frame), and in *fast whether every row the search
// reads (y - field_step .. y + field_step) lies in the fast search's range.
template <int slot_shorts>
inline row_set rows_around(const int16_t (*ring)[3][slot_shorts],
                           const bool (*in_range)[3], int y, int field_step, bool* fast) {
  row_set rows;
  *fast = true;
  for (int d = -2; d <= 2; ++d) {
    const int slot = (y + d) % ring_rows;
    rows.r[d + 2] = ring[slot][0];
    if (d >= -field_step && d <= field_step)
      *fast = *fast && in_range[slot][0] && in_range[slot][1] && in_range[slot][2];
  }
  return rows;
}
