// Three-component single-precision vectors and matrix-vector products.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once
#include <array>

#include "common/mat3.hpp"
#include "common/vec3.hpp"

namespace talvor {

using common::Mat3;
using Vec3 = std::array<float, 3>;

using common::cross;
using common::dot;

// m v, component i = m(i,1) v1 + m(i,2) v2 + m(i,3) v3.
inline Vec3 Apply(const Mat3& m, const Vec3& v) {
  return {m(1, 1) * v[0] + m(1, 2) * v[1] + m(1, 3) * v[2],
          m(2, 1) * v[0] + m(2, 2) * v[1] + m(2, 3) * v[2],
          m(3, 1) * v[0] + m(3, 2) * v[1] + m(3, 3) * v[2]};
}

// a b, element (i,j) = sum over l of a(i,l) b(l,j).
inline Mat3 Multiply(const Mat3& a, const Mat3& b) {
  Mat3 p;
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j)
      p(i, j) = a(i, 1) * b(1, j) + a(i, 2) * b(2, j) + a(i, 3) * b(3, j);
  return p;
}

inline Mat3 Transpose(const Mat3& a) {
  Mat3 t;
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) t(i, j) = a(j, i);
  return t;
}

}  // namespace talvor
