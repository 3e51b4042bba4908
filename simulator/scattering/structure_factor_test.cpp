// Tests of the structure factors.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/scattering/structure_factor.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <sstream>

#include "simulator/input/read_simulation_input.hpp"
#include "simulator/input/test_input_builder.hpp"
#include "simulator/scattering/electron_form_factor.hpp"

namespace velmorant {
namespace {

using testing::TestInput;

std::unique_ptr<SimulationInput> prepared(const TestInput& t) {
  return testing::prepared(t, VELMORANT_SOURCE_DATA_DIR);
}

TEST(StructureFactor, ScatteringVectorLengthIsOneOverTwoD) {
  TestInput t;
  t.species.push_back(testing::silicon());
  auto in = prepared(t);
  // d(220) = a/√8.
  EXPECT_NEAR(scattering_vector_length(*in, {2, 2, 0}), std::sqrt(8.0f) / (2 * 5.4309f), 1e-6f);
  EXPECT_NEAR(scattering_vector_length(*in, {1, 1, 1}), std::sqrt(3.0f) / (2 * 5.4309f), 1e-6f);
}

TEST(StructureFactor, Silicon220WithTheXrayModelMatchesAHandCalculation) {
  // Hand calculation (double precision, rounded):
  //   a = 5.4309 Å, 220: s² = (h²+k²+l²)/(4a²) = 8/(4·29.49467) = 0.0678089 Å⁻², s = 0.260401.
  //   Si coefficients (f0_WaasKirf.dat, Z = 14):
  //     a = 5.275329 3.191038 1.511514 1.356849 2.519114, c = 0.145073,
  //     b = 2.631338 33.730728 0.081119 86.288643 1.170087.
  //   a_i·e^(−b_i s²): 5.275329·e^(−0.178429) = 4.413257
  //                    3.191038·e^(−2.287251) = 0.324038
  //                    1.511514·e^(−0.005501) = 1.503223
  //                    1.356849·e^(−5.851134) = 0.003903
  //                    2.519114·e^(−0.079342) = 2.326965
  //   f_x = 8.571386 + 0.145073 = 8.716459
  //   f_e = 0.023933662·(14 − 8.716459)/0.0678089 = 0.023933662·5.283541/0.0678089 = 1.864867 Å
  //   All 8 diamond sites are in phase for 220 (2π·(2x + 2y) is a multiple of 2π):
  //   F(220) = 8·f_e = 14.91894 Å, real; with B = 0.46 Å²: ×e^(−0.46·0.0678089) = 14.46077 Å.
  TestInput t;
  t.model = "0";
  t.species.push_back(testing::silicon());
  t.global_dw = "0.0";
  auto in = prepared(t);
  std::complex<float> f = structure_factor(*in, {2, 2, 0}, false);
  EXPECT_NEAR(f.real(), 14.91894f, 2e-3f);
  EXPECT_NEAR(f.imag(), 0.0f, 1e-4f);
  EXPECT_NEAR(structure_strength(*in, {2, 2, 0}), 14.91894f * 14.91894f, 0.1f);
  t.global_dw = "0.46";
  in = prepared(t);
  f = structure_factor(*in, {2, 2, 0}, false);
  EXPECT_NEAR(f.real(), 14.46077f, 2e-3f);
  // 200 is forbidden in diamond; 111 has |F| = 4√2 f_e(111).
  EXPECT_NEAR(std::abs(structure_factor(*in, {2, 0, 0}, false)), 0.0f, 1e-4f);
  EXPECT_NEAR(std::abs(structure_factor(*in, {2, 2, 2}, false)), 0.0f, 1e-4f);
}

TEST(StructureFactor, OneAtomAtTheOriginGivesTheRealScatteringFactor) {
  TestInput t;
  t.model = "0";
  t.global_dw = "0.5";
  t.species.push_back({29, {{0, 0, 0, 1, 0}}});
  t.basis = {{{"3.0", "0", "0"}, {"0.5", "4.0", "0"}, {"0", "0.3", "5.0"}}};
  auto in = prepared(t);
  for (Miller hkl : {Miller{1, 0, 0}, Miller{1, -2, 3}, Miller{-3, 1, 1}}) {
    const float s = scattering_vector_length(*in, hkl);
    const std::complex<float> f = structure_factor(*in, hkl, true);
    EXPECT_FLOAT_EQ(f.real(), electron_scattering_factor(*in, 0, s) * std::exp(-(0.5f * (s * s))));
    EXPECT_EQ(f.imag(), 0.0f);
  }
}

TEST(StructureFactor, TwoAtomsAtZeroAndHalfCancelOddH) {
  for (const char* model : {"0", "1"}) {
    TestInput t;
    t.model = model;
    t.species.push_back({14, {{0, 0, 0, 1, 0.07f}, {0.5f, 0, 0, 1, 0.07f}}});
    auto in = prepared(t);
    for (int h : {1, 3, -1, 5}) {
      const std::complex<float> f = structure_factor(*in, {h, 1, 2}, true);
      EXPECT_NEAR(std::abs(f), 0.0f, 1e-5f) << model << " h=" << h;
    }
    const std::complex<float> even = structure_factor(*in, {2, 1, 2}, true);
    EXPECT_GT(std::abs(even), 0.1f);
  }
}

TEST(StructureFactor, GlobalDebyeWallerHasNoEffectInTheAbsorptiveModel) {
  TestInput t;
  t.species.push_back(testing::silicon());
  t.global_dw = "0.0";
  auto a = prepared(t);
  t.global_dw = "3.0";
  auto b = prepared(t);
  for (Miller hkl : {Miller{2, 2, 0}, Miller{1, 1, 1}, Miller{3, 1, 1}})
    EXPECT_EQ(structure_factor(*a, hkl, true), structure_factor(*b, hkl, true));
}

TEST(StructureFactor, AbsorptiveModelSumsTheComplexFormFactorsPerSite) {
  TestInput t;
  t.species.push_back(testing::silicon());
  auto in = prepared(t);
  const float s = scattering_vector_length(*in, {2, 2, 0});
  const ElectronFormFactor f = electron_form_factor(14, s, 0.076f, true, 0.02508f);
  const std::complex<float> F = structure_factor(*in, {2, 2, 0}, true);
  EXPECT_NEAR(F.real(), 8 * f.elastic, 1e-4f);
  EXPECT_NEAR(F.imag(), 8 * f.absorptive, 1e-5f);
  // Without the absorptive switch the imaginary part vanishes.
  // (within the rounding of sin φ at multiples of 2π in single precision).
  EXPECT_NEAR(structure_factor(*in, {2, 2, 0}, false).imag(), 0.0f, 1e-4f);
  // The elastic electron factor of the two models agrees to a few per cent
  // (Weickenmeier–Kohl with relativistic γ, versus Mott–Bethe before γ).
  t.model = "0";
  t.global_dw = "0.0";
  auto x = prepared(t);
  const float gamma = (accelerating_voltage_kv(0.02508f) + 511.0f) / 511.0f;
  const float damping = std::exp(-8.0f * 9.8696044f * 0.076f * 0.076f * s * s);
  EXPECT_NEAR(F.real() / (gamma * damping), structure_factor(*x, {2, 2, 0}, false).real(), 0.5f);
}

TEST(StructureFactor, SpeciesWithoutSitesContributesNothing) {
  TestInput t;
  t.model = "0";
  t.species.push_back({29, {{0, 0, 0, 1, 0}}});
  t.species.push_back({14, {}});
  auto in = prepared(t);
  const float s = scattering_vector_length(*in, {1, 1, 1});
  EXPECT_FLOAT_EQ(structure_factor(*in, {1, 1, 1}, false).real(),
                  electron_scattering_factor(*in, 0, s));
}

}  // namespace
}  // namespace velmorant
