// Tests of the fundamental-zone reduction and the Bunge Euler angles.
// SPDX-License-Identifier: BSD-3-Clause
#include "orientation/solutions/euler_angles.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>
#include <numbers>

#include "orientation/geometry/crystal_geometry.hpp"

namespace talvor {
namespace {

constexpr double kDeg = 180.0 / std::numbers::pi;

// The 24 proper rotations of the cube: signed permutation matrices with
// determinant +1 (the order does not matter for these tests).
std::vector<Mat3> CubeRotations() {
  std::vector<Mat3> ops;
  const int perms[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
  for (const auto& p : perms)
    for (int signs = 0; signs < 8; ++signs) {
      Mat3 m;
      for (int r = 0; r < 3; ++r) m(r + 1, p[r] + 1) = (signs >> r & 1) ? -1.0f : 1.0f;
      if (common::determinant(m) > 0.0f) ops.push_back(m);
    }
  return ops;
}

double RotationAngleDegrees(const Mat3& g) {
  const double c = (g(1, 1) + g(2, 2) + g(3, 3) - 1.0) / 2.0;
  return std::acos(std::fmax(-1.0, std::fmin(1.0, c))) * kDeg;
}

EulerAngles RandomEuler(std::mt19937& rng) {
  std::uniform_real_distribution<float> turn(0.0f, kTwoPi);
  std::uniform_real_distribution<float> cosine(-1.0f, 1.0f);
  EulerAngles e;
  e.phi1 = turn(rng);
  e.Phi = std::acos(cosine(rng));
  e.phi2 = turn(rng);
  return e;
}

TEST(ReduceToFundamental, CubicRotationsStayWithin62Point8Degrees) {
  const std::vector<Mat3> ops = CubeRotations();
  ASSERT_EQ(ops.size(), 24u);
  std::mt19937 rng(62);
  double largest = 0.0;
  for (int trial = 0; trial < 20000; ++trial) {
    const Mat3 g = MatrixFromEuler(RandomEuler(rng));
    const Mat3 reduced = ReduceToFundamental(g, ops.data(), 24);
    largest = std::fmax(largest, RotationAngleDegrees(reduced));
    // The result is an equivalent of g: g reduced^T is a cube rotation.
    const Mat3 s = Multiply(reduced, Transpose(g));
    for (float v : s.a) EXPECT_NEAR(std::fabs(v) * (1.0f - std::fabs(v)), 0.0f, 1e-5f);
  }
  EXPECT_LE(largest, 62.8);
  EXPECT_GT(largest, 55.0);  // the sampling reaches the corners of the zone
}

TEST(ReduceToFundamental, TiesKeepTheEarlierOperation) {
  // Turns of +45 and -45 degrees about z have the same trace.
  const float c = std::sqrt(0.5f);
  Mat3 g;
  g(1, 1) = c;
  g(1, 2) = -c;
  g(2, 1) = c;
  g(2, 2) = c;
  g(3, 3) = 1;
  Mat3 quarter;  // exact quarter turn about z
  quarter(1, 2) = 1;
  quarter(2, 1) = -1;
  quarter(3, 3) = 1;
  const Mat3 turned = Multiply(quarter, g);
  ASSERT_EQ(turned(1, 1) + turned(2, 2) + turned(3, 3), g(1, 1) + g(2, 2) + g(3, 3));

  const Mat3 identity_first[2] = {Mat3::identity(), quarter};
  EXPECT_EQ(ReduceToFundamental(g, identity_first, 2).a, g.a);
  const Mat3 quarter_first[2] = {quarter, Mat3::identity()};
  EXPECT_EQ(ReduceToFundamental(g, quarter_first, 2).a, turned.a);
}

TEST(ReduceToFundamental, NoOperationsLeaveTheMatrixAlone) {
  Mat3 g = MatrixFromEuler({1.0f, 2.0f, 3.0f});
  EXPECT_EQ(ReduceToFundamental(g, nullptr, 0).a, g.a);
  OrientationProblem problem;
  problem.symmetryCount = 0;
  EXPECT_EQ(ReduceToFundamental(g, problem).a, g.a);
}

TEST(EulerFromMatrix, RoundTripsBungeMatrices) {
  std::mt19937 rng(1);
  for (int trial = 0; trial < 5000; ++trial) {
    const EulerAngles e = RandomEuler(rng);
    if (e.Phi < 1e-3f || e.Phi > kPi - 1e-3f) continue;  // near the special case
    const EulerAngles back = EulerFromMatrix(MatrixFromEuler(e));
    auto circular = [](float a, float b) {
      const double d = std::fabs(a - b);
      return std::fmin(d, 2 * std::numbers::pi - d);
    };
    EXPECT_LT(circular(back.phi1, e.phi1), 2e-3) << e.phi1 << " " << e.Phi << " " << e.phi2;
    EXPECT_LT(circular(back.phi2, e.phi2), 2e-3);
    EXPECT_NEAR(back.Phi, e.Phi, 2e-3);
    // And the matrix of the angles found is the matrix we started from.
    const Mat3 a = MatrixFromEuler(e), b = MatrixFromEuler(back);
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(a.a[i], b.a[i], 2e-6f);
    for (float angle : {back.phi1, back.phi2}) {
      EXPECT_GE(angle, 0.0f);
      EXPECT_LT(angle, kTwoPi);
    }
  }
}

TEST(EulerFromMatrix, IdentityIsAllZero) {
  const EulerAngles e = EulerFromMatrix(Mat3::identity());
  EXPECT_EQ(e.phi1, 0.0f);
  EXPECT_EQ(e.Phi, 0.0f);
  EXPECT_EQ(e.phi2, 0.0f);
}

TEST(EulerFromMatrix, SpecialCasesPutTheTurnIntoPhi1) {
  struct Case {
    float phi1, Phi, phi2;  // radians in
    float expect_phi1;      // out, phi2 is then 0
  };
  const Case cases[] = {
      {0.5f, 0.0f, 0.25f, 0.75f},  // Phi = 0: phi1 + phi2
      {4.0f, 0.0f, 3.0f, 7.0f - kTwoPi},
      {0.5f, kPi, 0.0f, 0.5f},  // Phi = pi with phi2 = 0
      {5.0f, kPi, 0.0f, 5.0f},
  };
  for (const Case& c : cases) {
    Mat3 g = MatrixFromEuler({c.phi1, c.Phi, c.phi2});
    // Exact zeros, as a matrix of Phi = 0 or pi has them.
    g(1, 3) = g(2, 3) = g(3, 1) = g(3, 2) = 0.0f;
    g(3, 3) = c.Phi == 0.0f ? 1.0f : -1.0f;
    const EulerAngles e = EulerFromMatrix(g);
    EXPECT_NEAR(e.phi1, c.expect_phi1, 1e-5f);
    EXPECT_EQ(e.phi2, 0.0f);
    EXPECT_EQ(e.Phi, c.Phi == 0.0f ? 0.0f : kPi);
  }
}

TEST(EulerFromMatrix, NoisyNearIdentityKeepsTheTurnAboutTheBeam) {
  // A refined orientation of three exact cube axes: the identity with
  // rounding noise of a few 1e-7 off the diagonal. Taken from the noise,
  // phi1 and phi2 would add up to a turn of degrees about the beam.
  struct Case {
    float turn;
    float n13, n23, n31, n32;
  };
  const Case cases[] = {
      {0.0f, 3e-7f, -2e-7f, -4e-7f, 1e-7f},
      {0.0f, -5e-7f, 4e-7f, 2e-7f, 6e-7f},
      {0.3f, 2e-7f, 3e-7f, -3e-7f, -2e-7f},
  };
  for (const Case& c : cases) {
    Mat3 g = MatrixFromEuler({c.turn, 0.0f, 0.0f});
    g(1, 3) += c.n13;
    g(2, 3) += c.n23;
    g(3, 1) += c.n31;
    g(3, 2) += c.n32;
    const EulerAngles e = EulerFromMatrix(g);
    const float turn = std::fmod(e.phi1 + e.phi2, kTwoPi);
    EXPECT_NEAR(std::min(turn, kTwoPi - turn), c.turn, 1e-5f) << c.n13;
    EXPECT_LT(e.Phi, 1e-5f);
  }
  // A genuine small tilt above the limit is still resolved into its angles.
  const EulerAngles t = EulerFromMatrix(MatrixFromEuler({1.0f, 2e-3f, 2.0f}));
  EXPECT_NEAR(t.phi1, 1.0f, 1e-3f);
  EXPECT_NEAR(t.phi2, 2.0f, 1e-3f);
}

TEST(EulerFromMatrix, TinyNegativeAnglesWrapToZeroNotTwoPi) {
  // phi1 = -1e-7: adding 2 pi in single precision rounds to 2 pi itself.
  const Mat3 g = MatrixFromEuler({-1e-7f, 0.5f, -1e-7f});
  const EulerAngles e = EulerFromMatrix(g);
  EXPECT_EQ(e.phi1, 0.0f);
  EXPECT_EQ(e.phi2, 0.0f);
  // A larger negative angle is lifted by 2 pi as usual.
  const EulerAngles f = EulerFromMatrix(MatrixFromEuler({-0.5f, 0.5f, -1.0f}));
  EXPECT_NEAR(f.phi1, kTwoPi - 0.5f, 1e-5f);
  EXPECT_NEAR(f.phi2, kTwoPi - 1.0f, 1e-5f);
}

}  // namespace
}  // namespace talvor
