// The suite's 3x3 determinant and inversion: rounding order, success convention, untouched output.
// SPDX-License-Identifier: BSD-3-Clause
#include "common/mat3.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace common {
namespace {

Mat3 Random(std::mt19937& rng) {
  std::uniform_real_distribution<float> u(-10.0f, 10.0f);
  Mat3 m;
  for (float& x : m.a) x = u(rng);
  return m;
}

TEST(Determinant, EachTermOrderRoundsAsItsWrittenFormula) {
  // Talvor2's and hklconv's results hang on the rounding of this sum.
  std::mt19937 rng(7);
  int orders_differ = 0;
  for (int trial = 0; trial < 5000; ++trial) {
    const Mat3 A = Random(rng);
    const float orientation = A(2, 3) * A(1, 2) * A(3, 1) + A(3, 3) * A(1, 1) * A(2, 2) +
                              A(1, 3) * A(2, 1) * A(3, 2) - A(3, 1) * A(2, 2) * A(1, 3) -
                              A(3, 3) * A(1, 2) * A(2, 1) - A(1, 1) * A(2, 3) * A(3, 2);
    const float simulator = A(1, 2) * A(2, 3) * A(3, 1) + A(1, 1) * A(2, 2) * A(3, 3) +
                            A(2, 1) * A(3, 2) * A(1, 3) - A(3, 1) * A(2, 2) * A(1, 3) -
                            A(3, 3) * A(1, 2) * A(2, 1) - A(1, 1) * A(2, 3) * A(3, 2);
    ASSERT_EQ(determinant(A), orientation) << "trial " << trial;
    ASSERT_EQ(determinant(A, kSimulatorTerms), simulator) << "trial " << trial;
    orders_differ += determinant(A) != determinant(A, kSimulatorTerms);
  }
  // The two orders are not interchangeable: merging them would change results.
  EXPECT_GT(orders_differ, 0);
}

TEST(Determinant, KnownValues) {
  const float rows[3][3] = {{2, 1, 0}, {1, 3, 1}, {0, 1, 4}};
  for (const auto* terms : {&kOrientationTerms, &kSimulatorTerms}) {
    EXPECT_EQ(determinant(Mat3::from_rows(rows), *terms), 18.0f);
    EXPECT_EQ(determinant(Mat3::identity(), *terms), 1.0f);
  }
}

TEST(Invert, SuccessIsTrueAndTheInverseIsTheInverse) {
  std::mt19937 rng(11);
  for (int trial = 0; trial < 100; ++trial) {
    const Mat3 A = Random(rng);
    Mat3 inv;
    float det;
    ASSERT_TRUE(invert(A, 1e-3f, inv, det));
    EXPECT_EQ(det, determinant(A));
    for (int r = 1; r <= 3; ++r)
      for (int c = 1; c <= 3; ++c) {
        double sum = 0;
        for (int k = 1; k <= 3; ++k) sum += double(A(r, k)) * inv(k, c);
        EXPECT_NEAR(sum, r == c ? 1.0 : 0.0, 2e-4 * std::max(1.0f, std::fabs(1.0f / det)));
      }
  }
}

TEST(Invert, FailureIsFalseAndLeavesTheOutput) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const struct {
    float a33;
    float tolerance;
    bool ok;
  } cases[] = {
      {1e-6f, 1e-5f, false},                                    // below the tolerance
      {1e-5f, 1e-5f, true},                                     // exactly the tolerance is accepted
      {0.0f, std::numeric_limits<float>::denorm_min(), false},  // the "det is 0" test
      {nan, 1e-5f, false},                                      // not a number never passes
  };
  for (const auto& c : cases) {
    Mat3 A = Mat3::identity();
    A(3, 3) = c.a33;
    Mat3 out;
    out(2, 3) = 42.0f;
    float det;
    EXPECT_EQ(invert(A, c.tolerance, out, det), c.ok) << c.a33 << " " << c.tolerance;
    if (!c.ok) {
      EXPECT_EQ(out(2, 3), 42.0f);
    }
  }
}

}  // namespace
}  // namespace common
