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
  inverse = common::cofactor_inverse(m, det);
  return false;
}

Mat3 bunge_matrix(float phi1, float Phi, float phi2) { return common::bunge_matrix(phi1, Phi, phi2); }

}  // namespace velmorant
