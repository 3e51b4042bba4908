// Eigenvalues and eigenvectors of a symmetric 4x4 matrix in single precision (Householder, then QL).
// SPDX-License-Identifier: BSD-3-Clause
#pragma once
#include <array>

namespace talvor {

// Most QL iterations spent on one eigenvalue before the solver gives up.
constexpr int kEigenIterationLimit = 30;

// a[r][c], r and c from 0 to 3 (row 0 / column 0 belongs to the scalar
// part of a quaternion when the matrix comes from RefineRotation).
using Matrix4 = std::array<std::array<float, 4>, 4>;

struct Eigen4 {
  std::array<float, 4> values{};  // ascending
  Matrix4 vectors{};              // vectors[r][k]: component r of the unit eigenvector of values[k]
};

// Eigen-decomposition of the symmetric matrix a. Returns false when some eigenvalue needs more than iterationLimit
// QL iterations; `out` is then unspecified. Equal eigenvalues keep the order
// in which the QL sweep delivered them (a value moves only past a strictly
// larger one).
bool SymmetricEigen4(const Matrix4& a, Eigen4& out, int iterationLimit = kEigenIterationLimit);

}  // namespace talvor
