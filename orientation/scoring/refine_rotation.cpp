// Quaternion matrix of a correlation matrix and the rotation of its leading eigenvector.
// SPDX-License-Identifier: BSD-3-Clause
#include "orientation/scoring/refine_rotation.hpp"

namespace talvor {

Matrix4 QuaternionMatrix(const Mat3& H) {
  Matrix4 N{};
  const float trace = H(1, 1) + H(2, 2) + H(3, 3);
  N[0][0] = trace;
  N[0][1] = N[1][0] = H(3, 2) - H(2, 3);
  N[0][2] = N[2][0] = H(1, 3) - H(3, 1);
  N[0][3] = N[3][0] = H(2, 1) - H(1, 2);
  for (int a = 1; a <= 3; ++a)
    for (int b = 1; b <= 3; ++b) N[a][b] = H(a, b) + H(b, a);
  for (int a = 1; a <= 3; ++a) N[a][a] -= trace;
  return N;
}

Mat3 RotationFromQuaternion(float q0, float q1, float q2, float q3) {
  Mat3 R;
  const float t = q0 * q0 - (q1 * q1 + q2 * q2 + q3 * q3);
  R(1, 1) = t + 2.0f * q1 * q1;
  R(2, 2) = t + 2.0f * q2 * q2;
  R(3, 3) = t + 2.0f * q3 * q3;
  R(1, 2) = 2.0f * (q1 * q2 - q0 * q3);
  R(2, 1) = 2.0f * (q1 * q2 + q0 * q3);
  R(1, 3) = 2.0f * (q1 * q3 + q0 * q2);
  R(3, 1) = 2.0f * (q1 * q3 - q0 * q2);
  R(2, 3) = 2.0f * (q2 * q3 - q0 * q1);
  R(3, 2) = 2.0f * (q2 * q3 + q0 * q1);
  return R;
}

Mat3 RefineRotation(const Mat3& H, int iterationLimit) {
  Eigen4 eigen;
  if (!SymmetricEigen4(QuaternionMatrix(H), eigen, iterationLimit)) return Mat3::identity();
  // Values are ascending: the last column belongs to the largest one.
  const auto& v = eigen.vectors;
  return RotationFromQuaternion(v[0][3], v[1][3], v[2][3], v[3][3]);
}

}  // namespace talvor
