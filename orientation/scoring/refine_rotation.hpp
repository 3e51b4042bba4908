// Least-squares rotation between matched direction sets by the quaternion method.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once
#include "orientation/geometry/vec3.hpp"
#include "orientation/scoring/symmetric_eigen4.hpp"

namespace talvor {

// Rotation R maximising sum_k (R x_k) . y_k for the correlation matrix
// H(r, q) = sum_k y_k(r) x_k(q) (x_k sample-frame, y_k crystal-frame unit
// vectors), so that R maps the sample frame to the crystal frame like an
// orientation matrix. R is built from the eigenvector of the largest
// eigenvalue of the symmetric 4x4 quaternion matrix of H. When the
// eigen-solver does not converge within iterationLimit sweeps per
// eigenvalue, R is the identity.
Mat3 RefineRotation(const Mat3& H, int iterationLimit = kEigenIterationLimit);

// The symmetric 4x4 matrix whose largest eigenvector is the optimal
// quaternion (q0 scalar first) for the correlation matrix H.
Matrix4 QuaternionMatrix(const Mat3& H);

// Rotation matrix of the unit quaternion (q0 scalar, q1, q2, q3).
Mat3 RotationFromQuaternion(float q0, float q1, float q2, float q3);

}  // namespace talvor
