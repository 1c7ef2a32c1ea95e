// The 8-point DCT-II (orthonormal) and its inverse as butterflies, over any
// type V with + - * (float for the scalar kernels, an SSE2 vector of four
// columns or an AVX2 one of eight for the SIMD ones): the same operations in
// the same order for all, so that they agree bit for bit. Only dct8_ref.cpp,
// dct8_sse2.cpp and dct8_avx2.cpp include it.
//
// With d_k = x_k - x_(7-k) and s_k = x_k + x_(7-k) (k < 4), and
// c_u = cos(u pi / 16) / 2, a = 1 / sqrt(8) (= c_4):
//   X0 = a (ss0 + ss1), X4 = a (ss0 - ss1), ss0 = s0 + s3, ss1 = s1 + s2,
//   X2 = c2 dd0 + c6 dd1, X6 = c6 dd0 - c2 dd1, dd0 = s0 - s3, dd1 = s1 - s2,
//   (X1, X3, X5, X7) = O (d0, d1, d2, d3) with the symmetric matrix
//   O = [c1 c3 c5 c7; c3 -c7 -c1 -c5; c5 -c1 c7 c3; c7 -c5 c3 -c1];
// the inverse runs the same steps backwards (O is its own transpose).
#pragma once

namespace dct8_butterfly {

constexpr float a = 0.353553385f, c1 = 0.490392625f, c2 = 0.461939752f, c3 = 0.415734798f,
                c5 = 0.277785122f, c6 = 0.191341713f, c7 = 0.0975451618f;

// O applied to (p, q, r, s): four sums of four products, left to right.
template <typename V, typename Splat>
inline void odd(V p, V q, V r, V s, Splat k, V out[4]) {
  out[0] = ((k(c1) * p + k(c3) * q) + k(c5) * r) + k(c7) * s;
  out[1] = ((k(c3) * p - k(c7) * q) - k(c1) * r) - k(c5) * s;
  out[2] = ((k(c5) * p - k(c1) * q) + k(c7) * r) + k(c3) * s;
  out[3] = ((k(c7) * p - k(c5) * q) + k(c3) * r) - k(c1) * s;
}

// x[0..7] to X[0..7].
template <typename V, typename Splat>
inline void forward(const V x[8], Splat k, V out[8]) {
  const V s0 = x[0] + x[7], s1 = x[1] + x[6], s2 = x[2] + x[5], s3 = x[3] + x[4];
  const V d0 = x[0] - x[7], d1 = x[1] - x[6], d2 = x[2] - x[5], d3 = x[3] - x[4];
  const V ss0 = s0 + s3, ss1 = s1 + s2, dd0 = s0 - s3, dd1 = s1 - s2;
  out[0] = k(a) * (ss0 + ss1);
  out[4] = k(a) * (ss0 - ss1);
  out[2] = k(c2) * dd0 + k(c6) * dd1;
  out[6] = k(c6) * dd0 - k(c2) * dd1;
  V o[4];
  odd(d0, d1, d2, d3, k, o);
  out[1] = o[0];
  out[3] = o[1];
  out[5] = o[2];
  out[7] = o[3];
}

// X[0..7] to x[0..7].
template <typename V, typename Splat>
inline void inverse(const V X[8], Splat k, V out[8]) {
  const V p = k(a) * X[0], q = k(a) * X[4];
  const V p0 = p + q, p1 = p - q;
  const V m0 = k(c2) * X[2] + k(c6) * X[6], m1 = k(c6) * X[2] - k(c2) * X[6];
  const V e0 = p0 + m0, e3 = p0 - m0, e1 = p1 + m1, e2 = p1 - m1;
  V o[4];
  odd(X[1], X[3], X[5], X[7], k, o);
  out[0] = e0 + o[0];
  out[7] = e0 - o[0];
  out[1] = e1 + o[1];
  out[6] = e1 - o[1];
  out[2] = e2 + o[2];
  out[5] = e2 - o[2];
  out[3] = e3 + o[3];
  out[4] = e3 - o[3];
}

}  // namespace dct8_butterfly
