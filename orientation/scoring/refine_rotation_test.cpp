// Tests of the 4x4 eigen-solver and the quaternion least-squares rotation.
// SPDX-License-Identifier: BSD-3-Clause
#include "orientation/scoring/refine_rotation.hpp"
#include "common/angles.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace talvor {
namespace {

// Random unit quaternion -> rotation, and random unit vectors.
struct RandomRotations {
  std::mt19937 rng{20261210};
  std::normal_distribution<float> normal{0.0f, 1.0f};
  Vec3 UnitVector() {
    Vec3 v{normal(rng), normal(rng), normal(rng)};
    const float len = std::sqrt(dot(v, v));
    return {v[0] / len, v[1] / len, v[2] / len};
  }
  Mat3 Rotation() {
    float q[4] = {normal(rng), normal(rng), normal(rng), normal(rng)};
    const float len = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    return RotationFromQuaternion(q[0] / len, q[1] / len, q[2] / len, q[3] / len);
  }
};

// Rotation angle of A B^T in degrees.
double AngleBetween(const Mat3& A, const Mat3& B) {
  const Mat3 D = Multiply(A, Transpose(B));
  const double c = (D(1, 1) + D(2, 2) + D(3, 3) - 1.0) / 2.0;
  return common::degrees(std::acos(std::fmax(-1.0, std::fmin(1.0, c))));
}

Mat3 Correlation(const std::vector<Vec3>& x, const std::vector<Vec3>& y) {
  Mat3 H;
  for (size_t k = 0; k < x.size(); ++k)
    for (int r = 1; r <= 3; ++r)
      for (int q = 1; q <= 3; ++q) H(r, q) += y[k][r - 1] * x[k][q - 1];
  return H;
}

void ExpectRotation(const Mat3& R) {
  const Mat3 P = Multiply(Transpose(R), R);
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) EXPECT_NEAR(P(i, j), i == j ? 1.0f : 0.0f, 5e-6f);
  EXPECT_NEAR(common::determinant(R), 1.0f, 5e-6f);
}

TEST(SymmetricEigen4, DecomposesRandomSymmetricMatrices) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> value(-3.0f, 3.0f);
  for (int trial = 0; trial < 200; ++trial) {
    Matrix4 a;
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c <= r; ++c) a[r][c] = a[c][r] = value(rng);
    Eigen4 eigen;
    ASSERT_TRUE(SymmetricEigen4(a, eigen));
    for (int k = 0; k < 4; ++k) {
      if (k > 0) {
        EXPECT_LE(eigen.values[k - 1], eigen.values[k]);
      }
      for (int r = 0; r < 4; ++r) {
        float av = 0.0f;
        for (int c = 0; c < 4; ++c) av += a[r][c] * eigen.vectors[c][k];
        EXPECT_NEAR(av, eigen.values[k] * eigen.vectors[r][k], 2e-5f);
      }
      for (int j = 0; j < 4; ++j) {
        float dot = 0.0f;
        for (int r = 0; r < 4; ++r) dot += eigen.vectors[r][k] * eigen.vectors[r][j];
        EXPECT_NEAR(dot, k == j ? 1.0f : 0.0f, 1e-5f);
      }
    }
  }
}

TEST(SymmetricEigen4, DiagonalAndZeroMatricesNeedNoIteration) {
  Matrix4 diagonal{};
  diagonal[0][0] = 3.0f;
  diagonal[1][1] = -1.0f;
  diagonal[2][2] = 2.0f;
  diagonal[3][3] = 0.5f;
  Eigen4 eigen;
  ASSERT_TRUE(SymmetricEigen4(diagonal, eigen, 0));
  EXPECT_EQ(eigen.values, (std::array<float, 4>{-1.0f, 0.5f, 2.0f, 3.0f}));
  EXPECT_EQ(eigen.vectors[0][3], 1.0f);  // the largest value keeps its axis

  // All values equal: nothing moves, the last vector is the fourth axis.
  ASSERT_TRUE(SymmetricEigen4(Matrix4{}, eigen, 0));
  EXPECT_EQ(eigen.values, (std::array<float, 4>{0.0f, 0.0f, 0.0f, 0.0f}));
  EXPECT_EQ(eigen.vectors[3][3], 1.0f);
}

TEST(SymmetricEigen4, ReportsNonConvergence) {
  Matrix4 a{};
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) a[r][c] = 1.0f / static_cast<float>(r + c + 1);
  Eigen4 eigen;
  EXPECT_FALSE(SymmetricEigen4(a, eigen, 0));
  EXPECT_FALSE(SymmetricEigen4(a, eigen, 1));
  EXPECT_TRUE(SymmetricEigen4(a, eigen));
}

TEST(RefineRotation, KnownRotationIsExact) {
  RandomRotations random;
  for (int trial = 0; trial < 100; ++trial) {
    const Mat3 truth = random.Rotation();
    std::vector<Vec3> x, y;
    for (int k = 0; k < 3 + trial % 10; ++k) {
      x.push_back(random.UnitVector());
      y.push_back(Apply(truth, x.back()));
    }
    const Mat3 R = RefineRotation(Correlation(x, y));
    ExpectRotation(R);
    for (int i = 1; i <= 3; ++i)
      for (int j = 1; j <= 3; ++j) EXPECT_NEAR(R(i, j), truth(i, j), 2e-5f);
  }
}

TEST(RefineRotation, TwoVectorsAndAHalfTurnAreEnough) {
  // A half turn about z: the quaternion's scalar part is zero.
  Mat3 half_turn;
  half_turn(1, 1) = half_turn(2, 2) = -1.0f;
  half_turn(3, 3) = 1.0f;
  const std::vector<Vec3> x = {{1, 0, 0}, {0, 0.6f, 0.8f}};
  const std::vector<Vec3> y = {Apply(half_turn, x[0]), Apply(half_turn, x[1])};
  const Mat3 R = RefineRotation(Correlation(x, y));
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) EXPECT_NEAR(R(i, j), half_turn(i, j), 1e-6f);
}

TEST(RefineRotation, NoisySetIsRecovered) {
  RandomRotations random;
  std::normal_distribution<float> noise(0.0f, common::radians(0.3f));
  for (int trial = 0; trial < 100; ++trial) {
    const Mat3 truth = random.Rotation();
    std::vector<Vec3> x, y;
    for (int k = 0; k < 12; ++k) {
      x.push_back(random.UnitVector());
      Vec3 t = Apply(truth, x.back());
      for (float& c : t) c += noise(random.rng);
      const float len = std::sqrt(dot(t, t));
      y.push_back({t[0] / len, t[1] / len, t[2] / len});
    }
    const Mat3 R = RefineRotation(Correlation(x, y));
    ExpectRotation(R);
    EXPECT_LT(AngleBetween(R, truth), 0.6);
    // The refined rotation fits at least as well as the true one.
    float fit_refined = 0.0f, fit_truth = 0.0f;
    for (size_t k = 0; k < x.size(); ++k) {
      fit_refined += dot(Apply(R, x[k]), y[k]);
      fit_truth += dot(Apply(truth, x[k]), y[k]);
    }
    EXPECT_GE(fit_refined, fit_truth - 1e-5f);
  }
}

TEST(RefineRotation, NonConvergenceGivesTheIdentity) {
  RandomRotations random;
  const Mat3 truth = random.Rotation();
  std::vector<Vec3> x, y;
  for (int k = 0; k < 5; ++k) {
    x.push_back(random.UnitVector());
    y.push_back(Apply(truth, x.back()));
  }
  const Mat3 H = Correlation(x, y);
  const Mat3 R = RefineRotation(H, 0);
  EXPECT_EQ(R.a, Mat3::identity().a);
  EXPECT_GT(AngleBetween(RefineRotation(H), Mat3::identity()), 1.0);
}

TEST(RefineRotation, QuaternionMatrixLayout) {
  Mat3 H;
  for (int i = 0; i < 9; ++i) H.a[i] = static_cast<float>(i + 1);  // H(r,q) = r + 3(q-1)
  const Matrix4 N = QuaternionMatrix(H);
  const float trace = 1 + 5 + 9;
  EXPECT_EQ(N[0][0], trace);
  EXPECT_EQ(N[0][1], H(3, 2) - H(2, 3));
  EXPECT_EQ(N[0][2], H(1, 3) - H(3, 1));
  EXPECT_EQ(N[0][3], H(2, 1) - H(1, 2));
  EXPECT_EQ(N[2][1], H(2, 1) + H(1, 2));
  EXPECT_EQ(N[3][3], 2 * H(3, 3) - trace);
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_EQ(N[r][c], N[c][r]);
}

}  // namespace
}  // namespace talvor
