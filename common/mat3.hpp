// 3x3 float matrix (column by column): cofactor determinant and inverse, Bunge orientation matrix.
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

// Determinant, expanded term by term in a fixed order so that every program
// rounds it the same way.
inline float cofactor_determinant(const Mat3& A) {
  return A(2, 3) * A(1, 2) * A(3, 1) + A(3, 3) * A(1, 1) * A(2, 2) + A(1, 3) * A(2, 1) * A(3, 2) -
         A(3, 1) * A(2, 2) * A(1, 3) - A(3, 3) * A(1, 2) * A(2, 1) - A(1, 1) * A(2, 3) * A(3, 2);
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
