// The block energies with AVX2: four blocks at a time, one a double lane,
// each lane's sums in the scalar order (the SSE2 version's steps, twice as
// wide). The four blocks' samples are widened once into a buffer of lane
// quadruples.
#include <cstddef>
#include <immintrin.h>

#include "strong/block_energy.h"

namespace {

constexpr int block = energy_block;

// Grid mask energies of an n x n buffer of lane quadruples (n a row).
__m256d grid_energy(const __m256d* p, int n) {
  const __m256d two = _mm256_set1_pd(2.0);
  __m256d sum = _mm256_setzero_pd();
  for (int y = 1; y < n - 1; ++y) {
    const __m256d* a = p + (y - 1) * n;
    const __m256d* b = a + n;
    const __m256d* c = b + n;
    for (int x = 1; x < n - 1; ++x) {
      const __m256d ra = _mm256_add_pd(_mm256_sub_pd(a[x - 1], _mm256_mul_pd(two, a[x])), a[x + 1]);
      const __m256d rb = _mm256_add_pd(_mm256_sub_pd(b[x - 1], _mm256_mul_pd(two, b[x])), b[x + 1]);
      const __m256d rc = _mm256_add_pd(_mm256_sub_pd(c[x - 1], _mm256_mul_pd(two, c[x])), c[x + 1]);
      const __m256d r = _mm256_add_pd(_mm256_sub_pd(ra, _mm256_mul_pd(two, rb)), rc);
      sum = _mm256_add_pd(sum, _mm256_mul_pd(r, r));
    }
  }
  return sum;
}

// Means of f x f cells, rounded to float as the scalar cells are.
void cell_means(const __m256d* p, int f, __m256d* cells) {
  const int n = block / f;
  const __m256d area = _mm256_set1_pd(double(f * f));
  for (int cy = 0; cy < n; ++cy)
    for (int cx = 0; cx < n; ++cx) {
      __m256d sum = _mm256_setzero_pd();
      for (int y = 0; y < f; ++y)
        for (int x = 0; x < f; ++x) sum = _mm256_add_pd(sum, p[(cy * f + y) * block + cx * f + x]);
      cells[cy * n + cx] = _mm256_cvtps_pd(_mm256_cvtpd_ps(_mm256_div_pd(sum, area)));
    }
}

__m256d row_energy(const __m256d* p) {
  const __m256d c8 = _mm256_set1_pd(8.0), c28 = _mm256_set1_pd(28.0), c56 = _mm256_set1_pd(56.0),
                c70 = _mm256_set1_pd(70.0);
  __m256d sum = _mm256_setzero_pd();
  for (int y = 0; y < block; ++y) {
    const __m256d* a = p + y * block;
    for (int x = 4; x < block - 4; ++x) {
      const __m256d r = _mm256_add_pd(
          _mm256_add_pd(_mm256_sub_pd(_mm256_add_pd(a[x - 4], a[x + 4]),
                                _mm256_mul_pd(c8, _mm256_add_pd(a[x - 3], a[x + 3]))),
                     _mm256_sub_pd(_mm256_mul_pd(c28, _mm256_add_pd(a[x - 2], a[x + 2])),
                                _mm256_mul_pd(c56, _mm256_add_pd(a[x - 1], a[x + 1])))),
          _mm256_mul_pd(c70, a[x]));
      sum = _mm256_add_pd(sum, _mm256_mul_pd(r, r));
    }
  }
  return sum;
}

}  // namespace

void block_energies_avx2(const float* plane, int pitch, int count, int spacing,
                         block_energy_sums* sums) {
  const int quads = count / 4;
  for (int i = 0; i < quads; ++i) {
    const float* p = plane + std::size_t(4 * i) * spacing;
    // Sample (y, x) of the four blocks at lanes 0 to 3 of wide[y * 32 + x].
    __m256d wide[block * block];
    for (int y = 0; y < block; ++y)
      for (int x = 0; x < block; x += 4) {
        const float* at = p + y * pitch + x;
        __m128 a = _mm_loadu_ps(at), b = _mm_loadu_ps(at + spacing),
               c = _mm_loadu_ps(at + 2 * spacing), d = _mm_loadu_ps(at + 3 * spacing);
        _MM_TRANSPOSE4_PS(a, b, c, d);  // a: column x of the four blocks, b: x + 1, ...
        __m256d* to = wide + y * block + x;
        to[0] = _mm256_cvtps_pd(a);
        to[1] = _mm256_cvtps_pd(b);
        to[2] = _mm256_cvtps_pd(c);
        to[3] = _mm256_cvtps_pd(d);
      }
    __m256d cells2[(block / 2) * (block / 2)], cells4[(block / 4) * (block / 4)];
    cell_means(wide, 2, cells2);
    cell_means(wide, 4, cells4);
    const __m256d part[4] = {grid_energy(wide, block), row_energy(wide),
                             grid_energy(cells2, block / 2), grid_energy(cells4, block / 4)};
    alignas(32) double lane[4][4];  // mask, block
    for (int m = 0; m < 4; ++m) _mm256_store_pd(lane[m], part[m]);
    for (int j = 0; j < 4; ++j) {
      block_energy_sums& s = sums[4 * i + j];
      s.grid = lane[0][j];
      s.rows = lane[1][j];
      s.grid2 = lane[2][j];
      s.grid4 = lane[3][j];
    }
  }
  // The last blocks two and one at a time.
  block_energies_sse2(plane + std::size_t(4 * quads) * spacing, pitch, count % 4, spacing,
                      sums + 4 * quads);
}
