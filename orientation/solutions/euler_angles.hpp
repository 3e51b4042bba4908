// Symmetry reduction of an orientation and its Bunge Euler angles.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once
#include "orientation/geometry/vec3.hpp"
#include "orientation/input/orientation_problem.hpp"

namespace talvor {

// Bunge angles in radians: phi1 and phi2 in [0, 2 pi), Phi in [0, pi].
struct EulerAngles {
  float phi1 = 0;
  float Phi = 0;
  float phi2 = 0;
};

// Among S_o g (o over the symmetry operations of `problem`, in order) the
// one with the largest trace, i.e. the equivalent orientation closest to
// the identity; ties keep the earlier operation. Without operations g is
// returned unchanged.
Mat3 ReduceToFundamental(const Mat3& g, const OrientationProblem& problem);
Mat3 ReduceToFundamental(const Mat3& g, const Mat3* symmetry, int count);

// Bunge angles of the orientation matrix g (sample -> crystal). When Phi
// is 0 or pi only phi1 + phi2 (or phi1 - phi2) is defined; phi2 is then 0.
// A tilt below 1e-4 (elements g13, g23, g31, g32) counts as Phi = 0 or pi.
EulerAngles EulerFromMatrix(const Mat3& g);

// The Bunge matrix of (phi1, Phi, phi2), the inverse of EulerFromMatrix.
Mat3 MatrixFromEuler(const EulerAngles& e);

}  // namespace talvor
