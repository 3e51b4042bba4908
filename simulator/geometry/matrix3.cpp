// 3x3 helpers: determinant, inverse, Bunge orientation matrix.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/geometry/matrix3.hpp"

#include <cmath>

namespace velmorant {

using common::Mat3;

float determinant3(const Mat3& m) { return common::determinant(m, common::kSimulatorTerms); }

bool invert3(const Mat3& m, float tolerance, Mat3& inverse) {
  float det;
  return common::invert(m, tolerance, inverse, det, common::kSimulatorTerms);
}

Mat3 bunge_matrix(float phi1, float Phi, float phi2) {
  return common::bunge_matrix(phi1, Phi, phi2);
}

}  // namespace velmorant
