// Tests of the scores: the Pearson correlation ignores brightness and contrast of the measurement, r does not; -1 where undefined.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/compare/score.hpp"

#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "simulator/image/write_pattern_image.hpp"

namespace velmorant {
namespace {

// A pattern of rings and a gradient, intensities 0.1 .. 0.9.
PatternImage rings() {
  PatternImage image;
  for (int i = 1; i <= 512; ++i)
    for (int j = 1; j <= 512; ++j) {
      const double r = std::hypot(i - 256.5, j - 256.5);
      image(i, j) = float(0.5 + 0.3 * std::cos(r / 9.0) + 0.1 * (i - 256) / 256.0);
    }
  return image;
}

// Grey levels alpha * g + beta of the pattern's own grey levels g.
std::vector<float> measured(const PatternImage& pattern, double alpha, double beta) {
  PatternImage scaled = pattern;
  scale_to_grey_levels(scaled);
  std::vector<float> grey(PatternImage::size());
  for (std::size_t k = 0; k < grey.size(); ++k)
    grey[k] = int(std::lround(alpha * scaled.data()[k] + beta));
  return grey;
}

struct Exposure {
  double alpha, beta;
};

class ScoresUnderExposure : public ::testing::TestWithParam<Exposure> {};

// The same pattern "measured" darker, brighter or with less contrast: the
// Pearson correlation stays 1 (up to the rounding to grey levels); r, taken
// about mid grey, falls.
TEST_P(ScoresUnderExposure, PearsonStaysOneWhileRFalls) {
  const PatternImage pattern = rings();
  const Exposure e = GetParam();
  const Scores s = score_pattern(measured(pattern, e.alpha, e.beta), pattern);
  EXPECT_NEAR(s.pearson, 1.0, 2e-4);
  EXPECT_LT(s.r, 0.9f);
}

INSTANTIATE_TEST_SUITE_P(Table, ScoresUnderExposure,
                         ::testing::Values(Exposure{0.5, 0}, Exposure{0.5, 127}, Exposure{0.25, 40},
                                           Exposure{0.3, 20}));

TEST(Scores, FaithfulMeasurementGivesOneForBothAndInversionMinusOne) {
  const PatternImage pattern = rings();
  const Scores same = score_pattern(measured(pattern, 1, 0), pattern);
  EXPECT_NEAR(same.pearson, 1.0, 1e-5);
  EXPECT_NEAR(same.r, 1.0f, 1e-3f);  // single-precision sums
  const Scores inverted = score_pattern(measured(pattern, -1, 255), pattern);
  EXPECT_NEAR(inverted.pearson, -1.0, 1e-5);
}

// The one convention of the degenerate cases: -1 wherever the correlation is
// not defined, for the experiment's grey levels and for two patterns alike.
TEST(Scores, UnusablePairsGiveMinusOne) {
  const PatternImage pattern = rings();
  const std::vector<float> grey = measured(pattern, 1, 0);
  PatternImage with_nan = pattern;
  with_nan(300, 17) = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(pearson_correlation(grey, with_nan), -1.0);
  PatternImage flat;
  flat.fill(0.4f);
  EXPECT_EQ(pearson_correlation(grey, flat), -1.0);
  EXPECT_EQ(pearson_correlation(std::vector<float>(PatternImage::size(), 9), pattern), -1.0);
  EXPECT_EQ(pearson_correlation(std::vector<float>(100, 1), pattern), -1.0);
  EXPECT_EQ(pearson_correlation(flat, pattern), -1.0);  // a uniform pattern
  EXPECT_EQ(pearson_correlation(pattern, flat), -1.0);
  EXPECT_EQ(pearson_correlation(flat, flat), -1.0);  // even when both are the same uniform pattern
  EXPECT_EQ(pearson_correlation(with_nan, pattern), -1.0);
}

}  // namespace
}  // namespace velmorant
