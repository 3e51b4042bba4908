// Tests of the scaled-and-squared Taylor exponential against closed forms and a double-precision reference.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/engine/matrix_exponential.hpp"

#include <cmath>
#include <limits>
#include <random>

#include <gtest/gtest.h>
#include <unsupported/Eigen/MatrixFunctions>

namespace velmorant {
namespace {

using cf = std::complex<float>;
using ComplexMatrixD = Eigen::Matrix<std::complex<double>, Eigen::Dynamic, Eigen::Dynamic>;

ComplexMatrix exp_of(const ComplexMatrix& a, int limit) {
  ExponentialWorkspace ws(int(a.rows()));
  ws.a = a;
  matrix_exponential(ws, limit);
  return ws.e;
}

TEST(FrobeniusNorm, SumsSquaresOfRealAndImaginaryParts) {
  ComplexMatrix m(2, 2);
  m << cf(3, 4), cf(0, 0), cf(0, -12), cf(0, 0);
  EXPECT_FLOAT_EQ(frobenius_norm(m), 13.0f);
  EXPECT_EQ(frobenius_norm(ComplexMatrix::Zero(3, 3)), 0.0f);
}

struct ScalingCase {
  float norm;
  int s;
};

class ScalingExponent : public ::testing::TestWithParam<ScalingCase> {};

TEST_P(ScalingExponent, SmallestPowerOfTwoNotBelowTheNorm) {
  EXPECT_EQ(scaling_exponent(GetParam().norm), GetParam().s) << "norm " << GetParam().norm;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ScalingExponent,
    ::testing::Values(ScalingCase{0.0f, 0}, ScalingCase{1e-30f, 0},
                      ScalingCase{std::numeric_limits<float>::quiet_NaN(), 0}, ScalingCase{0.5f, 0},
                      ScalingCase{1.0f, 0}, ScalingCase{1.5f, 1}, ScalingCase{2.0f, 1},
                      ScalingCase{2.0001f, 2}, ScalingCase{1000.0f, 10},
                      ScalingCase{1073741824.0f, 30},
                      ScalingCase{4294967296.0f, 32},  // beyond a 32-bit 2^s
                      ScalingCase{34359738368.0f, 35},
                      ScalingCase{std::numeric_limits<float>::infinity(), kMaxScalingExponent}));

TEST(TaylorExponential, NonPositiveLimitGivesIdentity) {
  ComplexMatrix a = ComplexMatrix::Constant(3, 3, cf(0.1f, 0.2f));
  ComplexMatrix e(3, 3), t(3, 3), p(3, 3);
  for (int limit : {0, -4}) {
    EXPECT_EQ(taylor_exponential(a, limit, e, t, p), 0);
    EXPECT_TRUE(e.isIdentity(0.0f));
  }
}

TEST(TaylorExponential, LimitThreeIsTheCubicPolynomial) {
  ComplexMatrix a(2, 2);
  a << cf(0.1f, 0.2f), cf(-0.3f, 0.05f), cf(0.25f, -0.1f), cf(0.0f, 0.4f);
  ComplexMatrix e(2, 2), t(2, 2), p(2, 2);
  EXPECT_EQ(taylor_exponential(a, 3, e, t, p), 3);
  const ComplexMatrix a2 = a * a;
  const ComplexMatrix expected = ComplexMatrix::Identity(2, 2) + a + a2 / 2.0f + (a2 * a) / 6.0f;
  EXPECT_TRUE(e.isApprox(expected, 1e-6f)) << e << "\n" << expected;
}

TEST(TaylorExponential, RatioTestStopsBeforeAddingANegligibleTerm) {
  // Nilpotent: a^2 = 0, so the second term is zero and is not added.
  ComplexMatrix a = ComplexMatrix::Zero(2, 2);
  a(0, 1) = cf(0.5f, 0.0f);
  ComplexMatrix e(2, 2), t(2, 2), p(2, 2);
  EXPECT_EQ(taylor_exponential(a, 1000, e, t, p), 1);
  EXPECT_EQ(e(0, 1), cf(0.5f, 0.0f));
  EXPECT_EQ(e(0, 0), cf(1.0f, 0.0f));
  // The zero matrix: nothing is added at all.
  EXPECT_EQ(taylor_exponential(ComplexMatrix::Zero(2, 2), 1000, e, t, p), 0);
}

TEST(MatrixExponential, OneByOneZeroGivesExactlyOne) {
  const ComplexMatrix e = exp_of(ComplexMatrix::Zero(1, 1), 1000);
  EXPECT_EQ(e(0, 0), cf(1.0f, 0.0f));
}

TEST(MatrixExponential, RotationGeneratorGivesCosineAndSine) {
  // exp([[0, i x], [i x, 0]]) = [[cos x, i sin x], [i sin x, cos x]].
  for (float x : {0.3f, 1.0f, 1.5f, 4.0f, 25.0f}) {
    ComplexMatrix a = ComplexMatrix::Zero(2, 2);
    a(0, 1) = a(1, 0) = cf(0.0f, x);
    const ComplexMatrix e = exp_of(a, 1000);
    const float tol = 2e-6f * (1.0f + x);
    EXPECT_NEAR(e(0, 0).real(), std::cos(double(x)), tol) << x;
    EXPECT_NEAR(e(0, 0).imag(), 0.0, tol) << x;
    EXPECT_NEAR(e(1, 0).imag(), std::sin(double(x)), tol) << x;
    EXPECT_NEAR(e(1, 0).real(), 0.0, tol) << x;
  }
}

TEST(MatrixExponential, NilpotentBeyondThirtyTwoBitScalingIsExact) {
  // |a| = 2^35: a 32-bit 2^s would overflow; the floating-point power of two
  // keeps every step exact, and exp(a) = I + a.
  ComplexMatrix a = ComplexMatrix::Zero(2, 2);
  a(0, 1) = cf(34359738368.0f, 0.0f);
  const ComplexMatrix e = exp_of(a, 1000);
  EXPECT_EQ(e(0, 0), cf(1.0f, 0.0f));
  EXPECT_EQ(e(1, 1), cf(1.0f, 0.0f));
  EXPECT_EQ(e(1, 0), cf(0.0f, 0.0f));
  EXPECT_EQ(e(0, 1), cf(34359738368.0f, 0.0f));
}

TEST(MatrixExponential, StrongDampingBeyondThirtyTwoBitScalingDecaysToZero) {
  ComplexMatrix a = ComplexMatrix::Zero(1, 1);
  a(0, 0) = cf(-1e10f, 0.0f);
  const ComplexMatrix e = exp_of(a, 1000);
  EXPECT_TRUE(std::isfinite(e(0, 0).real()));
  EXPECT_NEAR(std::abs(e(0, 0)), 0.0f, 1e-30f);
}

TEST(MatrixExponential, NotANumberPropagates) {
  ComplexMatrix a = ComplexMatrix::Zero(2, 2);
  a(0, 1) = cf(std::numeric_limits<float>::quiet_NaN(), 0.0f);
  const ComplexMatrix e = exp_of(a, 1000);
  EXPECT_TRUE(std::isnan(e(0, 1).real()) || std::isnan(e(0, 0).real()));
}

// A NaN never meets the series' ratio test: the series must stop on it at
// once instead of running to its limit (a million terms of order 64 here,
// minutes per call), and both the full exponential and the corner are NaN.
TEST(MatrixExponential, NotANumberStopsTheSeriesAtOnce) {
  constexpr int kOrder = 64, kLimit = 1000000;
  for (const cf bad : {cf(std::numeric_limits<float>::quiet_NaN(), 0.0f),
                       cf(0.0f, std::numeric_limits<float>::infinity())}) {
    ComplexMatrix a = ComplexMatrix::Identity(kOrder, kOrder) * cf(0.0f, 0.5f);
    a(3, 7) = bad;
    const ComplexMatrix e = exp_of(a, kLimit);
    EXPECT_FALSE(e.allFinite()) << bad;
    ExponentialWorkspace ws(kOrder);
    ws.a = a;
    const cf corner = exponential_corner(ws, kLimit);
    EXPECT_FALSE(std::isfinite(corner.real()) && std::isfinite(corner.imag()) && ws.e.allFinite())
        << bad;
  }
}

TEST(MatrixExponential, MatchesDoublePrecisionReferenceOnRandomMatrices) {
  std::mt19937 rng(12345);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  for (int order : {1, 3, 8, 17}) {
    for (float scale : {0.05f, 1.0f, 6.0f}) {
      ComplexMatrix a(order, order);
      for (int c = 0; c < order; ++c)
        for (int r = 0; r < order; ++r) a(r, c) = cf(u(rng), u(rng)) * (scale / float(order));
      // Anti-Hermitian part dominates, as in a scattering matrix; add a little damping.
      ComplexMatrix b = (a - a.adjoint()) * 0.5f;
      b.diagonal().array() -= cf(0.01f * scale, 0.0f);
      const ComplexMatrix e = exp_of(b, 1000);
      const ComplexMatrixD ref = b.cast<std::complex<double>>().exp();
      const double err = (e.cast<std::complex<double>>() - ref).norm() / ref.norm();
      EXPECT_LT(err, 2e-6 * (1.0 + scale)) << "order " << order << " scale " << scale;
    }
  }
}

TEST(MatrixExponential, ShortSeriesAfterScalingStaysClose) {
  // The short series of the faster sampling methods: after scaling the norm
  // is at most 1, so three terms miss at most about 1/4! per squaring step.
  ComplexMatrix a = ComplexMatrix::Zero(2, 2);
  a(0, 1) = a(1, 0) = cf(0.0f, 2.5f);
  const ComplexMatrix e7 = exp_of(a, 7);
  const ComplexMatrix e3 = exp_of(a, 3);
  EXPECT_NEAR(e7(0, 0).real(), std::cos(2.5), 1e-4);
  EXPECT_NEAR(e3(0, 0).real(), std::cos(2.5), 0.05);
}

}  // namespace
}  // namespace velmorant
