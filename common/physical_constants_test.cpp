// The written single-precision constants agree with their derivations to float precision.
#include "common/physical_constants.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

struct Case {
  const char* name;
  float literal;
  double derived;
};

TEST(PhysicalConstants, LiteralsEqualTheirDerivationToFloatPrecision) {
  using std::numbers::pi;
  const double hc = 12.398419, mc2 = 510.99893;  // keV Å, keV (CODATA, to the digits used)
  const double compton = hc / mc2;               // Å
  const Case cases[] = {
      {"pi", common::kPi, pi},
      {"2 pi", common::kTwoPi, 2 * pi},
      {"4 pi", common::kFourPi, 4 * pi},
      {"2^-23", common::kFloatEpsilon, std::ldexp(1.0, -23)},
      {"ln 2", common::kLn2, std::log(2.0)},
      {"1/lambda_C^2", common::kInverseComptonWavelengthSquared, 1.0 / (compton * compton)},
      {"1/(8 pi^2 a0)", common::kMottBetheFactor, 1.0 / (8 * pi * pi * common::kBohrRadiusAngstrom)},
  };
  for (const Case& c : cases) {
    const double tolerance = std::ldexp(std::fabs(c.derived), -23);  // one float spacing
    EXPECT_NEAR(c.literal, c.derived, tolerance) << c.name;
  }
}

TEST(PhysicalConstants, RestEnergyAndWavelengthGiveTheKnownVoltage) {
  // 200 kV electrons have lambda = 0.025079 Å; inverting the relation returns 200 kV.
  const double lambda = 0.025079;
  const double kv = common::kPlanckTimesLightKevAngstrom *
                        std::sqrt(1 / (lambda * lambda) + common::kInverseComptonWavelengthSquared) -
                    common::kElectronRestEnergyKev;
  EXPECT_NEAR(kv, 200.0, 0.01);
}

}  // namespace
