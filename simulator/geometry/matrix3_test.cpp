// Tests of the 3x3 helpers.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/geometry/matrix3.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace velmorant {
namespace {

using common::Mat3;

TEST(Matrix3, DeterminantOfAGeneralMatrix) {
  const float rows[3][3] = {{2, 1, 0}, {1, 3, 1}, {0, 1, 4}};
  EXPECT_FLOAT_EQ(determinant3(Mat3::from_rows(rows)), 2 * 11 - 1 * 4);
}

TEST(Matrix3, DeterminantRoundsExactlyAsItsWrittenFormula) {
  // The simulator's results depend on the rounding of this sum: it must be
  // the written expression, term by term, for any matrix.
  std::mt19937 rng(12345);
  std::uniform_real_distribution<float> u(-10.0f, 10.0f);
  for (int trial = 0; trial < 2000; ++trial) {
    Mat3 m;
    for (float& x : m.a) x = u(rng);
    const float written = m(1, 2) * m(2, 3) * m(3, 1) + m(1, 1) * m(2, 2) * m(3, 3) +
                          m(2, 1) * m(3, 2) * m(1, 3) - m(3, 1) * m(2, 2) * m(1, 3) -
                          m(3, 3) * m(1, 2) * m(2, 1) - m(1, 1) * m(2, 3) * m(3, 2);
    ASSERT_EQ(determinant3(m), written) << "trial " << trial;
  }
}

TEST(Matrix3, InverseTimesMatrixIsIdentity) {
  const float rows[3][3] = {{5.4309f, 0.1f, 0}, {0.2f, 5.4309f, 0.3f}, {0, 0.4f, 5.4309f}};
  const Mat3 m = Mat3::from_rows(rows);
  Mat3 inv;
  ASSERT_TRUE(invert3(m, 1.1920929e-7f, inv));
  for (int r = 1; r <= 3; ++r)
    for (int c = 1; c <= 3; ++c) {
      float sum = 0;
      for (int k = 1; k <= 3; ++k) sum += m(r, k) * inv(k, c);
      EXPECT_NEAR(sum, r == c ? 1.0f : 0.0f, 1e-6f);
    }
}

TEST(Matrix3, DeterminantBelowToleranceLeavesOutputAndReportsSingular) {
  Mat3 m = Mat3::identity();
  m(1, 1) = 1e-8f;
  Mat3 out;
  out(2, 3) = 42.0f;
  EXPECT_FALSE(invert3(m, 1.1920929e-7f, out));
  EXPECT_EQ(out(2, 3), 42.0f);
  EXPECT_EQ(out(1, 1), 0.0f);
}

TEST(Matrix3, DeterminantOfExactlyTheToleranceIsAccepted) {
  Mat3 m = Mat3::identity();
  m(1, 1) = 1.1920929e-7f;  // 2^-23
  ASSERT_EQ(determinant3(m), 1.1920929e-7f);
  Mat3 out;
  EXPECT_TRUE(invert3(m, 1.1920929e-7f, out));
  EXPECT_FLOAT_EQ(out(1, 1), 8388608.0f);
}

TEST(Matrix3, BungeOfZeroAnglesIsIdentity) {
  const Mat3 g = bunge_matrix(0, 0, 0);
  for (int r = 1; r <= 3; ++r)
    for (int c = 1; c <= 3; ++c) EXPECT_EQ(g(r, c), r == c ? 1.0f : 0.0f);
}

TEST(Matrix3, BungeOfPhi1AloneIsARotationAboutTheThirdAxis) {
  const float phi1 = 0.3f;
  const Mat3 g = bunge_matrix(phi1, 0, 0);
  EXPECT_FLOAT_EQ(g(1, 2), std::sin(phi1));
  EXPECT_FLOAT_EQ(g(2, 1), -std::sin(phi1));
  EXPECT_FLOAT_EQ(g(1, 1), std::cos(phi1));
  EXPECT_FLOAT_EQ(g(3, 3), 1.0f);
  EXPECT_FLOAT_EQ(g(1, 3), 0.0f);
}

TEST(Matrix3, BungeMatrixElementsAtGeneralAngles) {
  // Every element of the Bunge matrix (rotations about z, x', z'') at angles
  // where no two of φ1, Φ, φ2 are interchangeable, against the closed forms
  // in double precision.
  const double angles[][3] = {
      {0.3, 0.0, 0.0}, {0.0, 0.0, 0.7}, {0.4, 1.1, -0.7}, {2.5, 0.2, 1.3}, {-1.0, 2.8, 0.1}};
  for (const auto& a : angles) {
    const double c1 = std::cos(a[0]), s1 = std::sin(a[0]), c = std::cos(a[1]), s = std::sin(a[1]);
    const double c2 = std::cos(a[2]), s2 = std::sin(a[2]);
    const double expected[3][3] = {{c1 * c2 - s1 * s2 * c, s1 * c2 + c1 * s2 * c, s2 * s},
                                   {-c1 * s2 - s1 * c2 * c, -s1 * s2 + c1 * c2 * c, c2 * s},
                                   {s1 * s, -c1 * s, c}};
    const Mat3 g = bunge_matrix(float(a[0]), float(a[1]), float(a[2]));
    for (int r = 1; r <= 3; ++r)
      for (int col = 1; col <= 3; ++col)
        EXPECT_NEAR(g(r, col), expected[r - 1][col - 1], 1e-6)
            << a[0] << " " << a[1] << " " << a[2] << " element (" << r << "," << col << ")";
  }
}

TEST(Matrix3, BungeMatrixIsOrthogonal) {
  const Mat3 g = bunge_matrix(0.4f, 1.1f, -0.7f);
  for (int r = 1; r <= 3; ++r)
    for (int c = 1; c <= 3; ++c) {
      float sum = 0;
      for (int k = 1; k <= 3; ++k) sum += g(r, k) * g(c, k);
      EXPECT_NEAR(sum, r == c ? 1.0f : 0.0f, 1e-6f);
    }
  // Third column: the sample z axis in crystal coordinates (s2 s, c2 s, c).
  EXPECT_FLOAT_EQ(g(3, 3), std::cos(1.1f));
}

}  // namespace
}  // namespace velmorant
