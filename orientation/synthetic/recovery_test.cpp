// Recovery of known orientations: every strategy on generated patterns, read as the program reads them.
// SPDX-License-Identifier: BSD-3-Clause
#include "orientation/synthetic/recovery_survey.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

namespace talvor::tools {
namespace {

constexpr int kPatternsPerCase = 40;

struct RecoveryCase {
  const char* crystal;  // CrystalByName
  int strategy;         // 1..4
  double spurious;      // share of random vectors per pattern
  double required;      // least share of patterns solved with the right count
};

void PrintTo(const RecoveryCase& c, std::ostream* out) {
  *out << c.crystal << " strategy " << c.strategy << " spurious " << c.spurious;
}

class Recovery : public ::testing::TestWithParam<RecoveryCase> {};

TEST_P(Recovery, FindsTheTrueOrientationWithTheRightCount) {
  const RecoveryCase& c = GetParam();
  SurveyCase survey;
  survey.crystal = c.crystal;
  survey.strategy = c.strategy;
  survey.spurious = c.spurious;
  survey.patterns = kPatternsPerCase;
  survey.seed = 20261210 + 100 * c.strategy + (c.spurious > 0 ? 7 : 0);
  const SurveyOutcome out = RunSurvey(survey);
  std::printf("recovery %-13s strategy %d spurious %2.0f%%: found %d/%d, used/all right %d/%d\n%s",
              c.crystal, c.strategy, 100 * c.spurious, out.found, out.patterns, out.rightCount,
              out.patterns, out.misses.c_str());
  ASSERT_EQ(out.patterns, kPatternsPerCase);
  const int required = static_cast<int>(std::ceil(c.required * out.patterns));
  EXPECT_GE(out.found, required);
  EXPECT_GE(out.rightCount, required);
}

// 6 to 12 vectors with 0.3 degrees of noise: every strategy, 95 %.
INSTANTIATE_TEST_SUITE_P(
    CleanPatterns, Recovery,
    ::testing::Values(
        RecoveryCase{"default-cubic", 1, 0.0, 0.95}, RecoveryCase{"default-cubic", 2, 0.0, 0.95},
        RecoveryCase{"default-cubic", 3, 0.0, 0.95}, RecoveryCase{"default-cubic", 4, 0.0, 0.95},
        RecoveryCase{"copper", 1, 0.0, 0.95}, RecoveryCase{"copper", 2, 0.0, 0.95},
        RecoveryCase{"copper", 3, 0.0, 0.95}, RecoveryCase{"copper", 4, 0.0, 0.95},
        RecoveryCase{"titanium", 1, 0.0, 0.95}, RecoveryCase{"titanium", 2, 0.0, 0.95},
        RecoveryCase{"titanium", 3, 0.0, 0.95}, RecoveryCase{"titanium", 4, 0.0, 0.95}));

// One vector in ten replaced by a random direction: strategies 1, 3 and 4, 90 %.
INSTANTIATE_TEST_SUITE_P(SpuriousVectors, Recovery,
                         ::testing::Values(RecoveryCase{"default-cubic", 1, 0.1, 0.90},
                                           RecoveryCase{"default-cubic", 3, 0.1, 0.90},
                                           RecoveryCase{"default-cubic", 4, 0.1, 0.90},
                                           RecoveryCase{"copper", 1, 0.1, 0.90},
                                           RecoveryCase{"copper", 3, 0.1, 0.90},
                                           RecoveryCase{"copper", 4, 0.1, 0.90},
                                           RecoveryCase{"titanium", 1, 0.1, 0.90},
                                           RecoveryCase{"titanium", 3, 0.1, 0.90},
                                           RecoveryCase{"titanium", 4, 0.1, 0.90}));

}  // namespace
}  // namespace talvor::tools
