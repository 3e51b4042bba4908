// Tests of the 3x3 helpers.
#include "crystal/matrix3.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace velmorant {
namespace {

using common::Mat3;

TEST(Matrix3, DeterminantOfAGeneralMatrix) {
  const float rows[3][3] = {{2, 1, 0}, {1, 3, 1}, {0, 1, 4}};
  EXPECT_FLOAT_EQ(determinant3(Mat3::from_rows(rows)), 2 * 11 - 1 * 4);
}

TEST(Matrix3, InverseTimesMatrixIsIdentity) {
  const float rows[3][3] = {{5.4309f, 0.1f, 0}, {0.2f, 5.4309f, 0.3f}, {0, 0.4f, 5.4309f}};
  const Mat3 m = Mat3::from_rows(rows);
  Mat3 inv;
  ASSERT_FALSE(invert3(m, 1.1920929e-7f, inv));
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
  EXPECT_TRUE(invert3(m, 1.1920929e-7f, out));
  EXPECT_EQ(out(2, 3), 42.0f);
  EXPECT_EQ(out(1, 1), 0.0f);
}

TEST(Matrix3, DeterminantOfExactlyTheToleranceIsAccepted) {
  Mat3 m = Mat3::identity();
  m(1, 1) = 1.1920929e-7f;  // 2^-23
  ASSERT_EQ(determinant3(m), 1.1920929e-7f);
  Mat3 out;
  EXPECT_FALSE(invert3(m, 1.1920929e-7f, out));
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
