// Tests of the solution store: strict fit comparisons, equal fits, merge radius.
// SPDX-License-Identifier: BSD-3-Clause
#include "orientation/solutions/solution_store.hpp"
#include "common/angles.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace talvor {
namespace {

// Rotation by `degrees` about z (the matrix of a frame turned about z).
Mat3 TurnAboutZ(float degrees) {
  const float a = common::radians(degrees);
  Mat3 m;
  m(1, 1) = std::cos(a);
  m(1, 2) = std::sin(a);
  m(2, 1) = -std::sin(a);
  m(2, 2) = std::cos(a);
  m(3, 3) = 1.0f;
  return m;
}

struct StoreFixture : ::testing::Test {
  OrientationProblem problem;
  SolutionStore store;
  StoreFixture() {
    problem.symmetryCount = 1;
    problem.symmetry[0] = Mat3::identity();
  }
};

TEST_F(StoreFixture, EmptyStoreTakesAnyOffer) {
  OfferSolution(store, TurnAboutZ(10), 7.5f, problem);
  ASSERT_EQ(store.count, 1);
  EXPECT_EQ(store.entries[0].fit, 7.5f);
  EXPECT_EQ(store.entries[0].orientation.a, TurnAboutZ(10).a);
}

// A first offer (turn 0, fit 1) followed by a second one: which stays.
TEST_F(StoreFixture, SecondOfferReplacesOnlyWithStrictlyLowerFit) {
  struct Case {
    float second_turn;  // degrees from the first offer
    float second_fit;
    bool replaces;
  };
  const Case cases[] = {
      {1.0f, 0.5f, true},
      {1.0f, 1.0f, false},
      {1.0f, 1.5f, false},  // inside the merge radius
      {2.4f, 0.999f, true},
      {2.6f, 0.999f, true},  // either side of 2.5 degrees
      {90.0f, 0.5f, true},
      {90.0f, 1.0f, false},
      {90.0f, 2.0f, false},  // far away
      {0.0f, std::nextafter(1.0f, 0.0f), true},
  };
  for (const Case& c : cases) {
    SolutionStore s;
    OfferSolution(s, TurnAboutZ(0), 1.0f, problem);
    OfferSolution(s, TurnAboutZ(c.second_turn), c.second_fit, problem);
    ASSERT_EQ(s.count, 1);
    const Solution expected = c.replaces ? Solution{TurnAboutZ(c.second_turn), c.second_fit}
                                         : Solution{TurnAboutZ(0), 1.0f};
    EXPECT_EQ(s.entries[0].fit, expected.fit) << c.second_turn << " " << c.second_fit;
    EXPECT_EQ(s.entries[0].orientation.a, expected.orientation.a) << c.second_turn;
  }
}

TEST_F(StoreFixture, EqualFitsKeepTheFirstOffer) {
  OfferSolution(store, TurnAboutZ(30), 0.25f, problem);
  OfferSolution(store, TurnAboutZ(60), 0.25f, problem);
  OfferSolution(store, TurnAboutZ(31), 0.25f, problem);
  ASSERT_EQ(store.count, 1);
  EXPECT_EQ(store.entries[0].orientation.a, TurnAboutZ(30).a);
}

TEST_F(StoreFixture, KeepsTheSmallestFitOfASequence) {
  const float fits[] = {3.0f, 2.0f, 2.5f, 0.75f, 0.75f, 1.0f, 0.5f, 4.0f};
  for (int i = 0; i < 8; ++i) OfferSolution(store, TurnAboutZ(10.0f * i), fits[i], problem);
  ASSERT_EQ(store.count, 1);
  EXPECT_EQ(store.entries[0].fit, 0.5f);
  EXPECT_EQ(store.entries[0].orientation.a, TurnAboutZ(60).a);
}

TEST_F(StoreFixture, WithoutSymmetryOperationsOffersStillCompete) {
  problem.symmetryCount = 0;  // misorientation is then pi: never merged
  OfferSolution(store, TurnAboutZ(0), 1.0f, problem);
  OfferSolution(store, TurnAboutZ(1), 0.5f, problem);
  EXPECT_EQ(store.entries[0].fit, 0.5f);
}

}  // namespace
}  // namespace talvor
