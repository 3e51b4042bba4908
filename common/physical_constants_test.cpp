// The written constants agree with their derivations; the wavelength-voltage pair and the angle conversions.
// SPDX-License-Identifier: BSD-3-Clause
#include "common/physical_constants.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "common/angles.hpp"
#include "common/electron_wavelength.hpp"

namespace {

struct Case {
  const char* name;
  float literal;
  double derived;
};

// SI 2019 exact values and the CODATA 2018 electron mass.
constexpr double kPlanck = 6.62607015e-34;          // J s
constexpr double kLight = 299792458.0;              // m / s
constexpr double kCharge = 1.602176634e-19;         // C
constexpr double kElectronMass = 9.1093837015e-31;  // kg (CODATA 2018)

TEST(PhysicalConstants, CodataValuesFollowFromTheSiConstants) {
  // h c / e in eV m, times 1e-3 keV/eV and 1e10 Å/m.
  const double hc = kPlanck * kLight / kCharge * 1e7;
  EXPECT_NEAR(common::kPlanckTimesLightKevAngstromExact, hc, 4 * std::ldexp(hc, -52));
  // m_e c^2 / e in keV; the mass is known to 11 figures.
  const double rest = kElectronMass * kLight * kLight / kCharge * 1e-3;
  EXPECT_NEAR(common::kElectronRestEnergyKevCodata2018, rest, 1e-9 * rest);
}

TEST(PhysicalConstants, LiteralsEqualTheirDerivationToFloatPrecision) {
  using std::numbers::pi;
  const double hc = common::kPlanckTimesLightKevAngstromExact;
  const double compton = hc / common::kElectronRestEnergyKevCodata2018;  // Å
  const Case cases[] = {
      {"pi", common::kPi, pi},
      {"2 pi", common::kTwoPi, 2 * pi},
      {"4 pi", common::kFourPi, 4 * pi},
      {"2^-23", common::kFloatEpsilon, std::ldexp(1.0, -23)},
      {"ln 2", common::kLn2, std::log(2.0)},
      {"hc", common::kPlanckTimesLightKevAngstrom, hc},
      {"1/lambda_C^2", common::kInverseComptonWavelengthSquared, 1.0 / (compton * compton)},
      {"lambda_C^2", common::kComptonWavelengthSquared, compton * compton},
      {"1/(8 pi^2 a0)", common::kMottBetheFactor,
       1.0 / (8 * pi * pi * common::kBohrRadiusAngstrom)},
      {"2 x 511 keV", common::kTwiceRoundedRestEnergyKev, 2.0 * common::kRoundedRestEnergyKev},
  };
  for (const Case& c : cases) {
    const double tolerance = std::ldexp(std::fabs(c.derived), -23);  // one float spacing
    EXPECT_NEAR(c.literal, c.derived, tolerance) << c.name;
  }
  // The simulator's rest energy is CODATA 2010's 510.998928 keV; the 2018 value is 2e-5 keV higher.
  EXPECT_NEAR(common::kElectronRestEnergyKev, 510.998928, 3.1e-5);
  EXPECT_NEAR(common::kElectronRestEnergyKev, common::kElectronRestEnergyKevCodata2018, 5e-5);
}

TEST(PhysicalConstants, RoundedConstantsOfTheFormFactorsAreWithinTheirPublishedDigits) {
  using std::numbers::pi;
  const Case cases[] = {
      // published to 4 figures: 0.02395 against 1/(8 pi^2 a0) = 0.023934
      {"Weickenmeier-Kohl 1/(8 pi^2 a0)", common::kWeickenmeierKohlMottBetheFactor,
       1.0 / (8 * pi * pi * 0.529177210903)},
      {"2 pi / hc", common::kWaveNumberPerRootKev,
       2 * pi / common::kPlanckTimesLightKevAngstromExact},
      {"m_e c^2 to 3 figures", common::kRoundedRestEnergyKev,
       common::kElectronRestEnergyKevCodata2018},
  };
  for (const Case& c : cases) EXPECT_NEAR(c.literal / c.derived, 1.0, 1e-3) << c.name;
}

TEST(ElectronWavelength, TextbookValuesAndTheSimulatorsSinglePrecisionForm) {
  // 200 kV: 0.0250793 Å; 100 kV: 0.0370144 Å; 300 kV: 0.0196875 Å.
  const double cases[][2] = {{200.0, 0.0250793}, {100.0, 0.0370144}, {300.0, 0.0196875}};
  for (const auto& c : cases) {
    const double lambda = common::electron_wavelength_angstrom(c[0]);
    EXPECT_NEAR(lambda, c[1], 5e-8) << c[0] << " kV";
    // The single-precision relation of the form factors gives the same voltage to 1e-4 kV.
    const double kv =
        common::kPlanckTimesLightKevAngstrom *
            std::sqrt(1 / (lambda * lambda) + common::kInverseComptonWavelengthSquared) -
        common::kElectronRestEnergyKev;
    EXPECT_NEAR(kv, c[0], 1e-4) << c[0] << " kV";
  }
  // Non-relativistic limit: lambda = h / sqrt(2 m e U) = hc / sqrt(2 m c^2 E).
  const double low = 1e-3;
  EXPECT_NEAR(common::electron_wavelength_angstrom(low) /
                  (common::kPlanckTimesLightKevAngstromExact /
                   std::sqrt(2 * common::kElectronRestEnergyKevCodata2018 * low)),
              1.0, 1e-6);
}

TEST(ElectronWavelength, VoltageIsTheInverseOfTheWavelength) {
  for (double kv : {1e-3, 1.0, 20.0, 80.0, 120.0, 200.0, 300.0, 1000.0, 3000.0}) {
    const double lambda = common::electron_wavelength_angstrom(kv);
    EXPECT_NEAR(common::voltage_kv_for_wavelength(lambda), kv, 4e-15 * kv) << kv << " kV";
  }
  for (double bad : {0.0, -200.0, std::nan(""), HUGE_VAL}) {
    EXPECT_TRUE(std::isnan(common::electron_wavelength_angstrom(bad))) << bad;
    EXPECT_TRUE(std::isnan(common::voltage_kv_for_wavelength(bad))) << bad;
  }
}

TEST(Angles, ConversionsRoundTripAndKeepTheFloatOrder) {
  EXPECT_EQ(common::radians(180.0), std::numbers::pi);
  EXPECT_EQ(common::degrees(std::numbers::pi), 180.0);
  EXPECT_EQ(common::radians(180.0f), common::kPi);
  for (float d : {0.1f, 1.0f, 3.5f, 35.26f, 90.0f, 123.456f, 359.9f}) {
    // the float form is x * pi / 180 in float, which the programs' results depend on
    const float r = common::radians(d);
    EXPECT_EQ(r, d * common::kPi / 180.0f) << d;
    EXPECT_NEAR(common::degrees(r), d, 2e-5f * d) << d;
    EXPECT_NEAR(common::degrees(common::radians(double(d))), double(d), 1e-13 * d) << d;
  }
}

}  // namespace
