// Tests of the fit's parameter ranges, the voltage-wavelength conversion and the overrides.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/fit/fit_parameters.hpp"

#include <string>

#include <gtest/gtest.h>

#include "simulator/scattering/electron_form_factor.hpp"

namespace velmorant::fit {
namespace {

struct Good {
  const char* text;
  Parameter parameter;
  int count;
  double last;
};

class GoodRanges : public ::testing::TestWithParam<Good> {};

TEST_P(GoodRanges, GiveTheGridValuesUpToTheHighEnd) {
  const Good g = GetParam();
  const ParameterRange r = parse_range(g.text);
  EXPECT_EQ(r.parameter, g.parameter);
  EXPECT_EQ(r.count(), g.count);
  EXPECT_NEAR(r.value(r.count() - 1), g.last, 1e-4);
}

INSTANTIATE_TEST_SUITE_P(
    Table, GoodRanges,
    ::testing::Values(Good{"thickness=1200:2000:100", Parameter::thickness, 9, 2000},
                      Good{"voltage=195:205:2.5", Parameter::voltage, 5, 205},
                      Good{"Phi=54.3:54.5:0.1", Parameter::Phi, 3, 54.5},
                      Good{"phi1=-0.3:0.3:0.1", Parameter::phi1, 7, 0.3},
                      Good{"phi2=45:45:1", Parameter::phi2, 1, 45},
                      Good{"thickness=1000:1050:100", Parameter::thickness, 1, 1000}));

struct Bad {
  const char* text;
  const char* message;  // part of the message
};

class BadRanges : public ::testing::TestWithParam<Bad> {};

TEST_P(BadRanges, AreRefusedWithAMessageSayingWhy) {
  const Bad b = GetParam();
  try {
    parse_range(b.text);
    FAIL() << b.text << " was accepted";
  } catch (const FitError& e) {
    EXPECT_NE(std::string(e.what()).find(b.message), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find(b.text), std::string::npos) << e.what();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, BadRanges,
    ::testing::Values(Bad{"thickness=2000:1200:100", "low end is above the high end"},
                      Bad{"thickness=1200:2000:0", "step must be above 0"},
                      Bad{"thickness=1200:2000:-5", "step must be above 0"},
                      Bad{"depth=1:2:1", "unknown parameter \"depth\""},
                      Bad{"PHI=1:2:1", "unknown parameter \"PHI\""},
                      Bad{"thickness=1200:2000", "three numbers"},
                      Bad{"thickness=1200:2000:5:5", "three numbers"},
                      Bad{"thickness=12o0:2000:5", "\"12o0\" is not a number"},
                      Bad{"voltage=-5:5:1", "must be above 0"},
                      Bad{"thickness=1:1e9:1", "grid values"},
                      Bad{"thickness", "expected name=low:high:step"},
                      // Values the simulation refuses, and steps that do not move the value
                      // (each gave a fit with every score -1, or hours of equal points).
                      Bad{"voltage=1:2:1", "gives a wavelength of"},
                      Bad{"voltage=195:200000:1000", "is the voltage in kV?"},
                      Bad{"voltage=1e-300:1:1", "gives a wavelength of"},
                      Bad{"thickness=1e-300:1:1", "is 0 in single precision"},
                      Bad{"Phi=54.4:54.4:1e-20", "does not change the value"},
                      Bad{"Phi=1e30:1e30:1", "does not change the value"},
                      Bad{"thickness=16777216:16777218:1", "does not change the value"},
                      Bad{"thickness=1200:2200:3.5e38", "within single precision"}));

TEST(Ranges, EachParameterAtMostOnceAndAtLeastOne) {
  EXPECT_THROW(check_ranges({}), FitError);
  EXPECT_THROW(check_ranges({parse_range("phi1=0:1:1"), parse_range("phi1=2:3:1")}), FitError);
  EXPECT_NO_THROW(check_ranges({parse_range("phi1=0:1:1"), parse_range("Phi=2:3:1")}));
}

// The relativistic wavelength: 0.02508 Å at 200 kV and 0.03701 Å at 100 kV
// (the examples' captions), and the inverse of the form factors' voltage.
TEST(Voltage, WavelengthIsRelativisticAndInvertsTheVoltageOfAWavelength) {
  EXPECT_NEAR(wavelength_from_voltage(200.0), 0.02508, 5e-6);
  EXPECT_NEAR(wavelength_from_voltage(100.0), 0.03701, 5e-6);
  EXPECT_NEAR(wavelength_from_voltage(300.0), 0.01969, 5e-6);
  for (double kv : {60.0, 120.0, 200.0, 300.0, 1000.0})
    EXPECT_NEAR(accelerating_voltage_kv(wavelength_from_voltage(kv)), kv, 2e-4 * kv) << kv;
}

TEST(Overrides, OnlyTheVariedParametersAreReplaced) {
  const FitValues v{1234.5, 199.0, 0.25, 54.5, 45.25};
  const Overrides thickness = overrides_for(v, {parse_range("thickness=1000:2000:100")});
  EXPECT_EQ(thickness.thickness, 1234.5f);
  EXPECT_FALSE(thickness.wavelength || thickness.euler_degrees);
  const Overrides tilt =
      overrides_for(v, {parse_range("Phi=54:55:0.1"), parse_range("voltage=190:210:5")});
  EXPECT_FALSE(tilt.thickness);
  EXPECT_EQ(tilt.wavelength, wavelength_from_voltage(199.0));
  ASSERT_TRUE(tilt.euler_degrees);
  EXPECT_EQ(*tilt.euler_degrees, (Vec3f{0.25f, 54.5f, 45.25f}));
}

}  // namespace
}  // namespace velmorant::fit
