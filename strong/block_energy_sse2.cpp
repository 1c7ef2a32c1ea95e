// The block energies with SSE2: two blocks at a time, one a double lane,
// each lane's sums in the scalar order. The pair's samples are widened once
// into a buffer of lane pairs.
#include <cstddef>
#include <emmintrin.h>

#include "strong/block_energy.h"

namespace {

constexpr int block = energy_block;

// Grid mask energies of an n x n buffer of lane pairs (n a row).
__m128d grid_energy(const __m128d* p, int n) {
  const __m128d two = _mm_set1_pd(2.0);
  __m128d sum = _mm_setzero_pd();
  for (int y = 1; y < n - 1; ++y) {
    const __m128d* a = p + (y - 1) * n;
    const __m128d* b = a + n;
    const __m128d* c = b + n;
    for (int x = 1; x < n - 1; ++x) {
      const __m128d ra = _mm_add_pd(_mm_sub_pd(a[x - 1], _mm_mul_pd(two, a[x])), a[x + 1]);
      const __m128d rb = _mm_add_pd(_mm_sub_pd(b[x - 1], _mm_mul_pd(two, b[x])), b[x + 1]);
      const __m128d rc = _mm_add_pd(_mm_sub_pd(c[x - 1], _mm_mul_pd(two, c[x])), c[x + 1]);
      const __m128d r = _mm_add_pd(_mm_sub_pd(ra, _mm_mul_pd(two, rb)), rc);
      sum = _mm_add_pd(sum, _mm_mul_pd(r, r));
    }
  }
  return sum;
}

// Means of f x f cells, rounded to float as the scalar cells are.
void cell_means(const __m128d* p, int f, __m128d* cells) {
  const int n = block / f;
  const __m128d area = _mm_set1_pd(double(f * f));
  for (int cy = 0; cy < n; ++cy)
    for (int cx = 0; cx < n; ++cx) {
      __m128d sum = _mm_setzero_pd();
      for (int y = 0; y < f; ++y)
        for (int x = 0; x < f; ++x) sum = _mm_add_pd(sum, p[(cy * f + y) * block + cx * f + x]);
      cells[cy * n + cx] = _mm_cvtps_pd(_mm_cvtpd_ps(_mm_div_pd(sum, area)));
    }
}

__m128d row_energy(const __m128d* p) {
  const __m128d c8 = _mm_set1_pd(8.0), c28 = _mm_set1_pd(28.0), c56 = _mm_set1_pd(56.0),
                c70 = _mm_set1_pd(70.0);
  __m128d sum = _mm_setzero_pd();
  for (int y = 0; y < block; ++y) {
    const __m128d* a = p + y * block;
    for (int x = 4; x < block - 4; ++x) {
      const __m128d r = _mm_add_pd(
          _mm_add_pd(_mm_sub_pd(_mm_add_pd(a[x - 4], a[x + 4]),
                                _mm_mul_pd(c8, _mm_add_pd(a[x - 3], a[x + 3]))),
                     _mm_sub_pd(_mm_mul_pd(c28, _mm_add_pd(a[x - 2], a[x + 2])),
                                _mm_mul_pd(c56, _mm_add_pd(a[x - 1], a[x + 1])))),
          _mm_mul_pd(c70, a[x]));
      sum = _mm_add_pd(sum, _mm_mul_pd(r, r));
    }
  }
  return sum;
}

}  // namespace

void block_energies_sse2(const float* plane, int pitch, int count, int spacing,
                         block_energy_sums* sums) {
  const int pairs = count / 2;
  for (int i = 0; i < pairs; ++i) {
    const float* p0 = plane + std::size_t(2 * i) * spacing;
    const float* p1 = p0 + spacing;
    // Sample (y, x) of the two blocks at lane 0 and 1 of wide[y * 32 + x].
    __m128d wide[block * block];
    for (int y = 0; y < block; ++y)
      for (int x = 0; x < block; x += 4) {
        const __m128 a = _mm_loadu_ps(p0 + y * pitch + x), b = _mm_loadu_ps(p1 + y * pitch + x);
        const __m128 lo = _mm_unpacklo_ps(a, b), hi = _mm_unpackhi_ps(a, b);
        __m128d* to = wide + y * block + x;
        to[0] = _mm_cvtps_pd(lo);
        to[1] = _mm_cvtps_pd(_mm_movehl_ps(lo, lo));
        to[2] = _mm_cvtps_pd(hi);
        to[3] = _mm_cvtps_pd(_mm_movehl_ps(hi, hi));
      }
    __m128d cells2[(block / 2) * (block / 2)], cells4[(block / 4) * (block / 4)];
    cell_means(wide, 2, cells2);
    cell_means(wide, 4, cells4);
    const __m128d grid = grid_energy(wide, block), rows = row_energy(wide),
                  grid2 = grid_energy(cells2, block / 2), grid4 = grid_energy(cells4, block / 4);
    block_energy_sums* s = sums + 2 * i;
    _mm_storel_pd(&s[0].grid, grid);
    _mm_storeh_pd(&s[1].grid, grid);
    _mm_storel_pd(&s[0].rows, rows);
    _mm_storeh_pd(&s[1].rows, rows);
    _mm_storel_pd(&s[0].grid2, grid2);
    _mm_storeh_pd(&s[1].grid2, grid2);
    _mm_storel_pd(&s[0].grid4, grid4);
    _mm_storeh_pd(&s[1].grid4, grid4);
  }
  if (count % 2)
    block_energies_ref(plane + std::size_t(2 * pairs) * spacing, pitch, 1, spacing, sums + 2 * pairs);
}
