// Tests of the coupling and exponent matrices and of the transmitted intensity: two-beam theory, N = 0, conservation.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/engine/scattering_matrix.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>
#include <numbers>

#include <gtest/gtest.h>

namespace velmorant {
namespace {

using cf = std::complex<float>;

StructureFactorFn constant_factor(cf f) {
  return [f](const std::array<std::int32_t, 3>&) { return f; };
}

TEST(CouplingMatrix, DiagonalAndOffDiagonalElements) {
  BeamList beams;
  beams.count = 2;
  beams.miller[1] = {1, 0, 0};
  beams.miller[2] = {0, 2, -1};
  // The structure factor records the index difference it was asked for.
  auto f = [](const std::array<std::int32_t, 3>& h) {
    return cf(float(100 * h[0] + 10 * h[1] + h[2]), 0.5f);
  };
  int rows = 0;
  ComplexMatrix w;
  const float t = 200.0f, k = 0.01f;
  build_coupling_matrix(
      beams, t, k, f, [&rows] { ++rows; }, w);
  ASSERT_EQ(w.rows(), 3);
  EXPECT_EQ(rows, 3);
  const float c0 = kTwoPi * t;
  for (int r = 0; r < 3; ++r) EXPECT_EQ(w(r, r), cf(0.0f, c0));
  // W(r, c) = F(h_r - h_c) * i c0 K = (-c0 K Im F, c0 K Re F)
  const float c0k = c0 * k;
  EXPECT_EQ(w(1, 0), cf(-0.5f * c0k, 100.0f * c0k));
  EXPECT_EQ(w(0, 1), cf(-0.5f * c0k, -100.0f * c0k));
  EXPECT_EQ(w(2, 1), cf(-0.5f * c0k, float(-100 + 20 - 1) * c0k));
}

// Two beams at the exact Bragg condition: k = (0, 0, 5), k + g = (3, 0, 4),
// |k + g|^2 = |k|^2 = 25 exactly in single precision. With a real symmetric
// structure factor F the coupling a = K F / (2 sqrt(n0 n1)) and the
// transmitted intensity is cos^2(2 pi t a) (Pendellösung).
class TwoBeamBragg : public ::testing::TestWithParam<float> {};

TEST_P(TwoBeamBragg, IntensityIsCosineSquared) {
  const float t = GetParam();
  BeamList beams;
  beams.count = 1;
  beams.miller[1] = {1, 0, 0};
  beams.lab_vector[1] = {3.0f, 0.0f, -1.0f};
  const float potential = 0.02f, f = 1.5f;
  ComplexMatrix w;
  build_coupling_matrix(beams, t, potential, constant_factor(cf(f, 0.0f)), {}, w);
  ExponentialWorkspace ws(2);
  const float intensity = transmitted_intensity({0.0f, 0.0f, 5.0f}, w, beams, 1000, ws);
  const double a = double(potential) * f / (2.0 * std::sqrt(20.0));
  const double expected = std::pow(std::cos(2.0 * std::numbers::pi * t * a), 2);
  const double phase = 2.0 * std::numbers::pi * t * a;
  EXPECT_NEAR(intensity, expected, 3e-7 * (4.0 + phase)) << "t = " << t << ", 2 pi t a = " << phase;
  // The exponent matrix is symmetric with a zero diagonal at the Bragg condition.
  EXPECT_EQ(ws.e(0, 1), ws.e(1, 0));
  // Both beams from one exponential: the transmitted one bit for bit as
  // above, the diffracted one sin^2(2 pi t a) (pi t / xi with the extinction
  // distance xi = 1 / (2 a)); together they hold every electron.
  float both[2] = {-1.0f, -1.0f};
  ExponentialWorkspace ws2(2);
  const float returned = beam_intensities({0.0f, 0.0f, 5.0f}, w, beams, 1000, ws2, both, 1);
  EXPECT_EQ(returned, intensity);
  EXPECT_EQ(both[0], intensity);
  EXPECT_NEAR(both[1], std::pow(std::sin(phase), 2), 3e-7 * (4.0 + phase)) << "t = " << t;
  EXPECT_NEAR(double(both[0]) + both[1], 1.0, 3e-7 * (4.0 + phase)) << "t = " << t;
}

INSTANTIATE_TEST_SUITE_P(Thicknesses, TwoBeamBragg,
                         ::testing::Values(10.0f, 73.0f, 150.0f, 333.0f, 1000.0f, 2500.0f));

TEST(TransmittedIntensity, NoDiffractedBeamGivesExactlyOne) {
  BeamList beams;  // count 0
  ComplexMatrix w;
  build_coupling_matrix(beams, 1234.0f, 0.05f, constant_factor(cf(1, 1)), {}, w);
  ExponentialWorkspace ws(1);
  for (int limit : {1000, 7, 3})
    for (float kx : {0.0f, 0.3f, -1.7f})
      EXPECT_EQ(transmitted_intensity({kx, 0.2f, 39.8f}, w, beams, limit, ws), 1.0f);
}

TEST(TransmittedIntensity, ZeroThicknessGivesExactlyOne) {
  BeamList beams;
  beams.count = 1;
  beams.miller[1] = {1, 1, 1};
  beams.lab_vector[1] = {0.3f, 0.1f, -0.002f};
  ComplexMatrix w;
  build_coupling_matrix(beams, 0.0f, 0.05f, constant_factor(cf(2, 0)), {}, w);
  ExponentialWorkspace ws(2);
  EXPECT_EQ(transmitted_intensity({0.0f, 0.0f, 40.0f}, w, beams, 1000, ws), 1.0f);
}

// Without absorption (real, symmetric structure factors) the structure matrix
// is Hermitian, E is unitary and the beams share the incident intensity.
TEST(TransmittedIntensity, ManyBeamsWithoutAbsorptionConserveIntensity) {
  BeamList beams;
  beams.count = 6;
  for (int r = 1; r <= 6; ++r) {
    beams.miller[r] = {r, -r, 2 * r};
    beams.lab_vector[r] = {0.11f * r - 0.3f, 0.07f * (r % 3) - 0.05f, -0.004f * r};
  }
  auto f = [](const std::array<std::int32_t, 3>& h) {  // real and even in h
    return cf(2.0f / float(1 + h[0] * h[0] + h[1] * h[1]), 0.0f);
  };
  ComplexMatrix w;
  build_coupling_matrix(beams, 800.0f, 0.01f, f, {}, w);
  ExponentialWorkspace ws(7);
  for (float kx : {0.0f, 0.05f, 0.2f}) {
    const float i0 = transmitted_intensity({kx, -0.03f, 39.9f}, w, beams, 1000, ws);
    EXPECT_GT(i0, 0.0f);
    EXPECT_LE(i0, 1.0f + 1e-5f);
    double sum = 0;
    for (int r = 0; r < 7; ++r) sum += std::norm(std::complex<double>(ws.e(r, 0)));
    EXPECT_NEAR(sum, 1.0, 2e-5) << "kx " << kx;
  }
}

TEST(ExponentMatrix, ElementsFollowTheGeometryOfEachBeam) {
  // k = (0, 0, 5); beam 1 at the Bragg condition (n1 = 4), beam 2 off it
  // (k + g2 = (0, 1, 4.5), n2 = 4.5). A complex structure factor with
  // F(h) = F(-h) gives a symmetric (not Hermitian) matrix.
  BeamList beams;
  beams.count = 2;
  beams.miller[1] = {1, 0, 0};
  beams.miller[2] = {0, 1, 0};
  beams.lab_vector[1] = {3.0f, 0.0f, -1.0f};
  beams.lab_vector[2] = {0.0f, 1.0f, -0.5f};
  ComplexMatrix w;
  build_coupling_matrix(beams, 100.0f, 0.02f, constant_factor(cf(1.5f, 0.1f)), {}, w);
  ComplexMatrix a(3, 3);
  build_exponent_matrix({0.0f, 0.0f, 5.0f}, w, beams, a);
  EXPECT_EQ(a(0, 0), cf(0.0f, 0.0f));  // transmitted beam: no excitation error
  EXPECT_EQ(a(1, 1), cf(0.0f, 0.0f));  // exact Bragg condition
  // |k|^2 - |k + g2|^2 = 25 - 21.25 = 3.75; A(2,2) = i c0 3.75 / (2 * 4.5)
  const float c0 = kTwoPi * 100.0f;
  EXPECT_NEAR(a(2, 2).imag(), c0 * 3.75f / 9.0f, 1e-3f);
  EXPECT_EQ(a(2, 2).real(), 0.0f);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) EXPECT_EQ(a(r, c), a(c, r)) << r << "," << c;
  const float u01 = 2.0f * std::sqrt(5.0f * 4.0f);
  EXPECT_EQ(a(0, 1), cf(w(0, 1).real() / u01, w(0, 1).imag() / u01));
}

TEST(TransmittedIntensity, BeamRunningBackwardsGivesNotANumber) {
  BeamList beams;
  beams.count = 1;
  beams.miller[1] = {1, 0, 0};
  beams.lab_vector[1] = {0.0f, 0.0f, -50.0f};
  ComplexMatrix w;
  build_coupling_matrix(beams, 100.0f, 0.02f, constant_factor(cf(1, 0)), {}, w);
  ExponentialWorkspace ws(2);
  EXPECT_TRUE(std::isnan(transmitted_intensity({0.0f, 0.0f, 40.0f}, w, beams, 1000, ws)));
}

TEST(TransmittedIntensity, WorkspaceOfAnotherOrderIsRefused) {
  BeamList beams;
  beams.count = 1;
  ComplexMatrix w;
  build_coupling_matrix(beams, 100.0f, 0.02f, constant_factor(cf(1, 0)), {}, w);
  ExponentialWorkspace ws(3);
  EXPECT_THROW(transmitted_intensity({0.0f, 0.0f, 40.0f}, w, beams, 1000, ws),
               std::invalid_argument);
}

// --- The corner-only kernel against the straightforward one ---

// A random crystal: N beams with reciprocal vectors of up to ~1 per Å
// (slightly negative normal components, as for beams in the zero layer seen
// at a small tilt) and complex structure factors with an absorptive part
// that does not make the matrix symmetric in general.
struct RandomCrystal {
  BeamList beams;
  ComplexMatrix w;
};

RandomCrystal random_crystal(int n, float thickness, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  RandomCrystal c;
  c.beams.count = n;
  for (int r = 1; r <= n; ++r) {
    c.beams.miller[r] = {r, 2 * r + 1, -r};
    c.beams.lab_vector[r] = {unit(random), unit(random), -0.01f * std::fabs(unit(random))};
  }
  std::vector<cf> table(64);
  for (cf& f : table) f = cf(3.0f * unit(random), 0.05f * unit(random));
  auto f = [&table](const std::array<std::int32_t, 3>& h) {
    return table[std::size_t((h[0] * 7 + h[1] * 3 + h[2]) & 63)];
  };
  build_coupling_matrix(c.beams, thickness, 0.02f, f, {}, c.w);
  return c;
}

struct KernelCase {
  int beams;
  float thickness;  // Å
};

class CornerKernel : public ::testing::TestWithParam<KernelCase> {};

TEST_P(CornerKernel, AgreesWithTheReferenceToSinglePrecisionRounding) {
  const KernelCase kc = GetParam();
  const RandomCrystal c =
      random_crystal(kc.beams, kc.thickness, unsigned(kc.beams * 1000 + int(kc.thickness)));
  ExponentialWorkspace fast(kc.beams + 1), reference(kc.beams + 1);
  std::mt19937 random(7);
  std::uniform_real_distribution<float> tilt(-0.4f, 0.4f);
  float worst = 0.0f;  // largest difference in units of the tolerance
  for (int limit : {1000, 7, 3}) {
    for (int pixel = 0; pixel < 12; ++pixel) {
      const float kx = tilt(random), ky = tilt(random);
      const std::array<float, 3> k{kx, ky, std::sqrt(1600.0f - kx * kx - ky * ky)};
      const float i_fast = transmitted_intensity(k, c.w, c.beams, limit, fast);
      const float i_ref = reference_transmitted_intensity(k, c.w, c.beams, limit, reference);
      // Rounding errors of the products grow with the number of squarings
      // and with the square root of the order: allow (s + 1) x sqrt(N + 1)
      // x 8 single-precision epsilons.
      ComplexMatrix a(kc.beams + 1, kc.beams + 1);
      build_exponent_matrix(k, c.w, c.beams, a);
      const int s = scaling_exponent(frobenius_norm(a));
      // Random absorptive parts can also amplify: the bound is relative to
      // intensities above 1.
      const float tolerance = 8.0f * 1.1920929e-7f * std::sqrt(float(kc.beams + 1)) * float(s + 1) *
                              std::max(1.0f, i_ref);
      ASSERT_TRUE(std::isfinite(i_ref));
      worst = std::max(worst, std::fabs(i_fast - i_ref) / tolerance);
      EXPECT_NEAR(i_fast, i_ref, tolerance) << "N " << kc.beams << ", t " << kc.thickness
                                            << ", limit " << limit << ", pixel " << pixel;
    }
  }
  RecordProperty("worst_difference_in_tolerances", std::to_string(worst));
}

INSTANTIATE_TEST_SUITE_P(Table, CornerKernel,
                         ::testing::Values(KernelCase{1, 300.0f}, KernelCase{4, 50.0f},
                                           KernelCase{8, 700.0f}, KernelCase{16, 1500.0f},
                                           KernelCase{33, 400.0f}, KernelCase{64, 500.0f},
                                           KernelCase{100, 300.0f}));

// The engine's kernel fuses its element-wise passes (scaling with I + A, the
// division of each term with the sum and both norms) and reuses buffers
// instead of copying. The same steps, one pass each, as first written: the
// fusion must not change a single bit of the intensity.
float unfused_corner_intensity(const std::array<float, 3>& k, const RandomCrystal& c, int limit,
                               ExponentialWorkspace& ws) {
  auto norm_of = [](const ComplexMatrix& m) { return frobenius_norm(m); };
  build_exponent_matrix(k, c.w, c.beams, ws.a);
  const int s = scaling_exponent(norm_of(ws.a));
  ws.a /= std::ldexp(1.0f, s);
  ws.e.setIdentity();
  if (limit >= 1) {
    ws.term = ws.a;
    float e_norm = norm_of(ws.e);
    if (!(norm_of(ws.term) / e_norm < kSeriesRatioLimit)) {
      ws.e += ws.term;
      e_norm = norm_of(ws.e);
      for (int j = 2; j <= limit; ++j) {
        ws.product.noalias() = ws.term * ws.a;
        for (Eigen::Index q = 0; q < ws.product.size(); ++q) {
          const cf v = ws.product.data()[q];
          ws.product.data()[q] = cf(v.real() / float(j), v.imag() / float(j));
        }
        const float term_norm = norm_of(ws.product);
        ws.term.swap(ws.product);
        if (term_norm / e_norm < kSeriesRatioLimit) break;
        ws.e += ws.term;
        e_norm = norm_of(ws.e);
      }
    }
  }
  const int d = corner_squarings(ws.order(), s);
  for (int q = 0; q < s - d; ++q) {
    ws.product.noalias() = ws.e * ws.e;
    ws.e.swap(ws.product);
  }
  cf corner = ws.e(0, 0);
  if (d > 0) {
    ComplexRow row = ws.e.row(0);
    ComplexColumn column = ws.e.col(0);
    for (int q = 1; q < (1 << (d - 1)); ++q) {
      const ComplexRow next_row = row * ws.e;
      const ComplexColumn next_column = ws.e * column;
      row = next_row;
      column = next_column;
    }
    corner = cf(0.0f, 0.0f);
    for (int q = 0; q < ws.order(); ++q) corner += row(q) * column(q);
  }
  return corner.real() * corner.real() + corner.imag() * corner.imag();
}

class FusedKernel : public ::testing::TestWithParam<KernelCase> {};

TEST_P(FusedKernel, GivesTheUnfusedStepsBitForBit) {
  const KernelCase kc = GetParam();
  const RandomCrystal c =
      random_crystal(kc.beams, kc.thickness, unsigned(kc.beams * 31 + int(kc.thickness)));
  ExponentialWorkspace fused(kc.beams + 1), plain(kc.beams + 1);
  std::mt19937 random(11);
  std::uniform_real_distribution<float> tilt(-0.4f, 0.4f);
  for (int limit : {1000, 7, 3, 2, 1, 0}) {
    for (int pixel = 0; pixel < 6; ++pixel) {
      const float kx = tilt(random), ky = tilt(random);
      const std::array<float, 3> k{kx, ky, std::sqrt(1600.0f - kx * kx - ky * ky)};
      const float a = transmitted_intensity(k, c.w, c.beams, limit, fused);
      const float b = unfused_corner_intensity(k, c, limit, plain);
      // Two NaNs count as equal: IEEE arithmetic leaves the sign and payload
      // of a NaN result open, and they differ between optimisation levels.
      const bool both_nan = std::isnan(a) && std::isnan(b);
      EXPECT_TRUE(both_nan || std::memcmp(&a, &b, sizeof a) == 0)
          << a << " vs " << b << ": N " << kc.beams << ", t " << kc.thickness << ", limit "
          << limit;
    }
  }
}

// Zero thickness: the first term is rejected by the ratio test and E stays I.
INSTANTIATE_TEST_SUITE_P(Table, FusedKernel,
                         ::testing::Values(KernelCase{0, 500.0f}, KernelCase{1, 300.0f},
                                           KernelCase{5, 0.0f}, KernelCase{8, 700.0f},
                                           KernelCase{18, 1500.0f}, KernelCase{40, 9000.0f}));

}  // namespace
}  // namespace velmorant
