// Tests of trial scoring: bin choice, first qualifying entry, match count gate, fit, offer.
// SPDX-License-Identifier: BSD-3-Clause
#include "orientation/scoring/evaluate_orientation.hpp"
#include "common/angles.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace talvor {
namespace {

Vec3 Unit(float x, float y, float z) {
  const float len = std::sqrt(x * x + y * y + z * z);
  return {x / len, y / len, z / len};
}

// A catalogue whose bins are filled by hand, an identity symmetry and
// p2 = 3.5 degrees.
struct ScoringFixture : ::testing::Test {
  std::unique_ptr<Catalogue> catalogue = std::make_unique<Catalogue>();
  OrientationProblem problem;
  ScatteringPattern pattern;
  SolutionStore store;
  int best = 0;

  ScoringFixture() {
    problem.symmetryCount = 1;
    problem.symmetry[0] = Mat3::identity();
    problem.p2 = common::radians(3.5f);
    problem.cosP2 = std::cos(problem.p2);
  }
  void AddToBin(int bin, const Vec3& v) { catalogue->bins[bin][catalogue->binCount[bin]++] = v; }
  // The six cube-axis directions in every bin that can see them.
  void FillCubeAxes() {
    const Vec3 axes[6] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    for (int bin = 0; bin < kOctantBinCount; ++bin)
      for (const Vec3& a : axes)
        if (dot(a, kOctantAxes[bin]) > 0.0f) AddToBin(bin, a);
  }
  void SetPattern(std::initializer_list<Vec3> vectors) {
    pattern.vectorCount = 0;
    for (const Vec3& v : vectors) pattern.vectors[pattern.vectorCount++] = v;
  }
};

TEST(ChooseOctantBin, LargestSumWithTiesToTheLowerBin) {
  struct Case {
    Vec3 c;
    int bin;
  };
  const Case cases[] = {
      {{1, 1, 1}, 0},    {{1, 1, -1}, 1},  {{1, -1, 1}, 2},  {{-1, 1, 1}, 3},
      {{-1, -1, -1}, 4}, {{-1, -1, 1}, 5}, {{-1, 1, -1}, 6}, {{1, -1, -1}, 7},
      {{1, 0, 0}, 0},    {{0, 0, 1}, 0},   {{0, 0, -1}, 1},  {{0, -1, 0}, 2},
      {{-1, 0, 0}, 3},   {{1, 1, 0}, 0},   {{0, -1, -1}, 4}, {{-1, 0, 1}, 3},
  };
  for (const Case& c : cases) EXPECT_EQ(ChooseOctantBin(c.c), c.bin) << c.c[0] << c.c[1] << c.c[2];
  for (int bin = 0; bin < kOctantBinCount; ++bin) EXPECT_EQ(ChooseOctantBin(kOctantAxes[bin]), bin);
}

TEST_F(ScoringFixture, ExactOrientationIsStoredWithZeroFit) {
  FillCubeAxes();
  SetPattern({{1, 0, 0}, {0, 1, 0}, {0, 0, -1}, Unit(1, 1, 0)});
  EvaluateOrientation(Mat3::identity(), pattern, problem, *catalogue, best, store);
  EXPECT_EQ(best, 3);
  ASSERT_EQ(store.count, 1);
  // One unexplained vector counts 1; the three explained ones fit exactly.
  EXPECT_NEAR(store.entries[0].fit, 1.0f, 1e-6f);
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j)
      EXPECT_NEAR(store.entries[0].orientation(i, j), i == j ? 1 : 0, 1e-6f);
}

TEST_F(ScoringFixture, RefinedRotationReplacesTheTrial) {
  FillCubeAxes();
  // Measured vectors rotated by 1 degree about z; the trial is the identity,
  // close enough to explain all three, and refinement removes the error.
  const float a = common::radians(1.0f);
  SetPattern({{std::cos(a), std::sin(a), 0}, {-std::sin(a), std::cos(a), 0}, {0, 0, 1}});
  EvaluateOrientation(Mat3::identity(), pattern, problem, *catalogue, best, store);
  ASSERT_EQ(store.count, 1);
  EXPECT_EQ(best, 3);
  EXPECT_NEAR(store.entries[0].fit, 0.0f, 1e-6f);
  const Mat3& R = store.entries[0].orientation;
  EXPECT_NEAR(R(1, 1), std::cos(a), 1e-6f);
  EXPECT_NEAR(R(1, 2), std::sin(a), 1e-6f);
  EXPECT_NEAR(R(2, 1), -std::sin(a), 1e-6f);
}

TEST_F(ScoringFixture, FirstQualifyingEntryWinsOverACloserOne) {
  // Both entries lie within p2 of (1,0,0); the first in bin order is used
  // although the second is exact.
  const Vec3 off = Unit(1.0f, 0.05f, 0.0f);  // about 2.9 degrees away
  AddToBin(0, off);
  AddToBin(0, {1, 0, 0});
  AddToBin(0, {0, 1, 0});
  AddToBin(0, {0, 0, 1});
  SetPattern({{1, 0, 0}, {0, 1, 0}, {0, 0, 1}});
  EvaluateOrientation(Mat3::identity(), pattern, problem, *catalogue, best, store);
  ASSERT_EQ(store.count, 1);
  EXPECT_GT(store.entries[0].fit, 1e-4f);  // the matched set includes the inexact entry
}

TEST_F(ScoringFixture, OnlyTheChosenBinIsScanned) {
  // (0,0,-1) belongs to bin 2 (index 1); an entry for it only in bin 1
  // (index 0) is never seen.
  AddToBin(0, {0, 0, -1});
  SetPattern({{0, 0, -1}, {1, 0, 0}, {0, 1, 0}});
  EvaluateOrientation(Mat3::identity(), pattern, problem, *catalogue, best, store);
  EXPECT_EQ(best, 0);
  ASSERT_EQ(store.count, 1);
  EXPECT_EQ(store.entries[0].fit, 3.0f);  // nothing explained: F = n
}

TEST_F(ScoringFixture, StrictToleranceTest) {
  // An entry exactly at the tolerance cosine does not explain the vector.
  const float c = problem.cosP2;
  const Vec3 edge = {c, std::sqrt(1.0f - c * c), 0.0f};
  problem.cosP2 = dot(edge, Vec3{1, 0, 0});
  AddToBin(0, edge);
  SetPattern({{1, 0, 0}, {0, 1, 0}, {0, 0, 1}});
  EvaluateOrientation(Mat3::identity(), pattern, problem, *catalogue, best, store);
  EXPECT_EQ(best, 0);
}

TEST_F(ScoringFixture, FewerMatchesThanTheBestAreNotRefined) {
  FillCubeAxes();
  SetPattern({{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, Unit(1, 1, 1)});
  best = 4;
  EvaluateOrientation(Mat3::identity(), pattern, problem, *catalogue, best, store);
  EXPECT_EQ(best, 4);
  EXPECT_EQ(store.count, 0);
}

TEST_F(ScoringFixture, EqualCountReplacesOnlyWithLowerFit) {
  FillCubeAxes();
  SetPattern({{1, 0, 0}, {0, 1, 0}, {0, 0, 1}});
  // Stored: a poorer fit of the same count.
  store.count = 1;
  store.entries[0].fit = 0.5f;
  best = 3;
  EvaluateOrientation(Mat3::identity(), pattern, problem, *catalogue, best, store);
  ASSERT_EQ(store.count, 1);
  EXPECT_NEAR(store.entries[0].fit, 0.0f, 1e-6f);

  // A stored fit that is already 0 is not displaced by an equal one.
  Mat3 marker = Mat3::identity();
  marker(1, 2) = 0.25f;
  store.entries[0] = {marker, 0.0f};
  EvaluateOrientation(Mat3::identity(), pattern, problem, *catalogue, best, store);
  EXPECT_EQ(store.entries[0].orientation(1, 2), 0.25f);
}

TEST_F(ScoringFixture, MatchCountRisesAcrossTrials) {
  FillCubeAxes();
  SetPattern({{1, 0, 0}, {0, 1, 0}, Unit(1, 1, 0)});
  // A trial turned 45 degrees about z explains only the third vector;
  // the identity then explains the first two.
  const float c = std::sqrt(0.5f);
  Mat3 turn;
  turn(1, 1) = c;
  turn(1, 2) = c;
  turn(2, 1) = -c;
  turn(2, 2) = c;
  turn(3, 3) = 1;
  EvaluateOrientation(turn, pattern, problem, *catalogue, best, store);
  EXPECT_EQ(best, 1);
  EvaluateOrientation(Mat3::identity(), pattern, problem, *catalogue, best, store);
  EXPECT_EQ(best, 2);
  ASSERT_EQ(store.count, 1);
  EXPECT_NEAR(store.entries[0].fit, 1.0f, 1e-6f);
}

}  // namespace
}  // namespace talvor
