// 3x3 helpers: determinant, inverse, Bunge orientation matrix.
#include "crystal/matrix3.hpp"

#include <cmath>

namespace velmorant {

using common::Mat3;

float determinant3(const Mat3& m) {
  return m(1, 2) * m(2, 3) * m(3, 1) + m(1, 1) * m(2, 2) * m(3, 3) + m(2, 1) * m(3, 2) * m(1, 3) -
         m(3, 1) * m(2, 2) * m(1, 3) - m(3, 3) * m(1, 2) * m(2, 1) - m(1, 1) * m(2, 3) * m(3, 2);
}

bool invert3(const Mat3& m, float tolerance, Mat3& inverse) {
  const float det = determinant3(m);
  if (std::fabs(det) < tolerance) return true;
  Mat3 r;
  r(1, 1) = (m(2, 2) * m(3, 3) - m(2, 3) * m(3, 2)) / det;
  r(1, 2) = (m(1, 3) * m(3, 2) - m(1, 2) * m(3, 3)) / det;
  r(1, 3) = (m(1, 2) * m(2, 3) - m(1, 3) * m(2, 2)) / det;
  r(2, 1) = (m(2, 3) * m(3, 1) - m(2, 1) * m(3, 3)) / det;
  r(2, 2) = (m(1, 1) * m(3, 3) - m(1, 3) * m(3, 1)) / det;
  r(2, 3) = (m(1, 3) * m(2, 1) - m(1, 1) * m(2, 3)) / det;
  r(3, 1) = (m(2, 1) * m(3, 2) - m(2, 2) * m(3, 1)) / det;
  r(3, 2) = (m(1, 2) * m(3, 1) - m(1, 1) * m(3, 2)) / det;
  r(3, 3) = (m(1, 1) * m(2, 2) - m(1, 2) * m(2, 1)) / det;
  inverse = r;
  return false;
}

Mat3 bunge_matrix(float phi1, float Phi, float phi2) {
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

}  // namespace velmorant
