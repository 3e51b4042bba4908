// Fundamental-zone reduction and the Bunge Euler angles of an orientation matrix.
// SPDX-License-Identifier: BSD-3-Clause
#include "orientation/solutions/euler_angles.hpp"

#include <cmath>

#include "common/mat3.hpp"
#include "orientation/geometry/crystal_geometry.hpp"

namespace talvor {

Mat3 ReduceToFundamental(const Mat3& g, const OrientationProblem& problem) {
  return ReduceToFundamental(g, problem.symmetry.data(), problem.symmetryCount);
}

Mat3 ReduceToFundamental(const Mat3& g, const Mat3* symmetry, int count) {
  // The trace of a rotation is at least -1, so the first operation always
  // beats the start value; a matrix that is no rotation (or holds NaN)
  // falls back to g itself.
  float best = -1.1f;
  Mat3 result = g;
  for (int o = 0; o < count; ++o) {
    const Mat3 p = Multiply(symmetry[o], g);
    const float t = p(1, 1) + p(2, 2) + p(3, 3);
    if (t > best) {
      best = t;
      result = p;
    }
  }
  return result;
}

namespace {

// Angle in [0, 2 pi): atan2 gives (-pi, pi]; a negative value is lifted by
// 2 pi, and one so close to 0 that the sum rounds to 2 pi becomes 0.
float WrapAngle(float a) {
  if (a < 0.0f) {
    a += kTwoPi;
    if (a >= kTwoPi) a = 0.0f;
  }
  return a;
}

}  // namespace

// Tilt below which Phi counts as 0 or pi. A refined orientation carries
// rounding noise of a few 1e-7 in every element; with a tilt of that size
// the third row and column are noise, and phi1 and phi2 taken from them
// are arbitrary, so that even their sum (the actual turn about the beam)
// comes out wrong by many degrees. Below 1e-4 (0.006 degrees) the turn is
// taken from the upper 2 x 2 block instead, which is well conditioned; the
// orientation then differs from the exact one by at most twice the tilt,
// about 0.01 degrees, the resolution of the printed angles.
constexpr float kEulerTiltLimit = 1.0e-4f;

EulerAngles EulerFromMatrix(const Mat3& g) {
  const float eps = kEulerTiltLimit;
  EulerAngles e;
  const bool tilted = (std::fabs(g(3, 1)) > eps || std::fabs(g(3, 2)) > eps) &&
                      (std::fabs(g(1, 3)) > eps || std::fabs(g(2, 3)) > eps);
  if (tilted) {
    e.phi1 = std::atan2(g(3, 1), -g(3, 2));
    e.phi2 = std::atan2(g(1, 3), g(2, 3));
  } else {
    // Phi at 0 or pi: the two in-plane rotations add up; phi2 takes none.
    e.phi1 = std::atan2(g(1, 2), g(1, 1));
    e.phi2 = 0.0f;
  }
  e.Phi = AngleFromCosine(g(3, 3));
  e.phi1 = WrapAngle(e.phi1);
  e.phi2 = WrapAngle(e.phi2);
  return e;
}

Mat3 MatrixFromEuler(const EulerAngles& e) { return common::bunge_matrix(e.phi1, e.Phi, e.phi2); }

}  // namespace talvor
