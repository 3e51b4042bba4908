// 3x3 float matrix (column by column): determinant, cofactor inverse, Bunge orientation matrix.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once
#include <array>
#include <cmath>

namespace common {

// Nine floats, element (i, j) (1-based) at index (i-1) + 3 (j-1).
struct Mat3 {
  std::array<float, 9> a{};
  float& operator()(int i, int j) { return a[(i - 1) + 3 * (j - 1)]; }
  float operator()(int i, int j) const { return a[(i - 1) + 3 * (j - 1)]; }
  // Matrix whose row i is rows[i] (the way basis vectors are written down).
  static Mat3 from_rows(const float rows[3][3]) {
    Mat3 m;
    for (int i = 1; i <= 3; ++i)
      for (int j = 1; j <= 3; ++j) m(i, j) = rows[i - 1][j - 1];
    return m;
  }
  static Mat3 identity() {
    Mat3 m;
    m(1, 1) = m(2, 2) = m(3, 3) = 1.0f;
    return m;
  }
};

// The six products of the determinant's expansion, each evaluated as
// (first * second) * third; the first three are added and the last three
// subtracted, left to right. Single-precision rounding depends on this order,
// and two orders are in use: each program keeps the one its results were
// computed with, so that they stay the same bit for bit.
struct DeterminantTerms {
  struct Element {
    int row, col;  // 1-based
  };
  std::array<std::array<Element, 3>, 6> product;
};

// Talvor2 and hklconv.
inline constexpr DeterminantTerms kOrientationTerms = {{{
    {{{2, 3}, {1, 2}, {3, 1}}},
    {{{3, 3}, {1, 1}, {2, 2}}},
    {{{1, 3}, {2, 1}, {3, 2}}},
    {{{3, 1}, {2, 2}, {1, 3}}},
    {{{3, 3}, {1, 2}, {2, 1}}},
    {{{1, 1}, {2, 3}, {3, 2}}},
}}};

// Velmorant: the same products; the second and third associate differently.
inline constexpr DeterminantTerms kSimulatorTerms = {{{
    {{{1, 2}, {2, 3}, {3, 1}}},
    {{{1, 1}, {2, 2}, {3, 3}}},
    {{{2, 1}, {3, 2}, {1, 3}}},
    {{{3, 1}, {2, 2}, {1, 3}}},
    {{{3, 3}, {1, 2}, {2, 1}}},
    {{{1, 1}, {2, 3}, {3, 2}}},
}}};

// Determinant of A, summed in the order `terms` gives.
inline float determinant(const Mat3& A, const DeterminantTerms& terms = kOrientationTerms) {
  float p[6];
  for (int t = 0; t < 6; ++t) {
    const auto& f = terms.product[t];
    p[t] = (A(f[0].row, f[0].col) * A(f[1].row, f[1].col)) * A(f[2].row, f[2].col);
  }
  return p[0] + p[1] + p[2] - p[3] - p[4] - p[5];
}

// Inverse as the transposed cofactor matrix divided by det (det != 0).
inline Mat3 cofactor_inverse(const Mat3& A, float det) {
  Mat3 R;
  R(1, 1) = (A(2, 2) * A(3, 3) - A(2, 3) * A(3, 2)) / det;
  R(1, 2) = (A(1, 3) * A(3, 2) - A(1, 2) * A(3, 3)) / det;
  R(1, 3) = (A(1, 2) * A(2, 3) - A(1, 3) * A(2, 2)) / det;
  R(2, 1) = (A(2, 3) * A(3, 1) - A(2, 1) * A(3, 3)) / det;
  R(2, 2) = (A(1, 1) * A(3, 3) - A(1, 3) * A(3, 1)) / det;
  R(2, 3) = (A(1, 3) * A(2, 1) - A(1, 1) * A(2, 3)) / det;
  R(3, 1) = (A(2, 1) * A(3, 2) - A(2, 2) * A(3, 1)) / det;
  R(3, 2) = (A(1, 2) * A(3, 1) - A(1, 1) * A(3, 2)) / det;
  R(3, 3) = (A(1, 1) * A(2, 2) - A(1, 2) * A(2, 1)) / det;
  return R;
}

// The one 3x3 inversion of the suite. Returns true on success, with the
// inverse written; false when |det A| < tolerance (or det is not a number),
// with `inverse` untouched. `det` receives the determinant either way.
inline bool invert(const Mat3& A, float tolerance, Mat3& inverse, float& det,
                   const DeterminantTerms& terms = kOrientationTerms) {
  det = determinant(A, terms);
  if (!(std::fabs(det) >= tolerance)) return false;
  inverse = cofactor_inverse(A, det);
  return true;
}

// Orientation matrix from Bunge Euler angles (radians; rotations about z,
// x', z''): g maps sample-frame vectors to crystal-frame vectors.
inline Mat3 bunge_matrix(float phi1, float Phi, float phi2) {
  const float c1 = std::cos(phi1), s1 = std::sin(phi1);
  const float c = std::cos(Phi), s = std::sin(Phi);
  const float c2 = std::cos(phi2), s2 = std::sin(phi2);
  Mat3 g;
  g(1, 1) = c1 * c2 - s1 * s2 * c;
  g(1, 2) = s1 * c2 + c1 * s2 * c;
  g(1, 3) = s2 * s;
  g(2, 1) = -c1 * s2 - s1 * c2 * c;
  g(2, 2) = -s1 * s2 + c1 * c2 * c;
  g(2, 3) = c2 * s;
  g(3, 1) = s1 * s;
  g(3, 2) = -c1 * s;
  g(3, 3) = c;
  return g;
}

}  // namespace common
