// Member directions, octant bins, the pair table and its range look-up.
// SPDX-License-Identifier: BSD-3-Clause
#include "orientation/catalogue/catalogue.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "orientation/geometry/crystal_geometry.hpp"
#include "orientation/input/input_file.hpp"
#include "common/angles.hpp"

namespace talvor {
namespace {

float Deg(float d) { return common::radians(d); }

struct CatalogueFixture : ::testing::Test {
  OrientationProblem problem;
  std::unique_ptr<Catalogue> cat = std::make_unique<Catalogue>();
  void SetUp() override { SetDefaults(problem); }
  void SetP2(float deg) {
    problem.p2 = Deg(deg);
    problem.cosP2 = std::cos(problem.p2);
  }
  void Build() { BuildCatalogue(problem, *cat); }
};

TEST_F(CatalogueFixture, CubeAxesFamily) {
  problem.familyCount = 1;
  problem.families[0] = {1, 0, 0};
  SetP2(1.0f);
  Build();
  ASSERT_EQ(cat->memberCount[0], 3);
  EXPECT_NEAR(cat->members[0][0][0], 1.0f, 1e-6f);  // member 1 is +x
  EXPECT_EQ(cat->signedCount, 6);
  ASSERT_EQ(cat->pairCount, 2);
  EXPECT_NEAR(cat->pairs[0].angle, kPi / 2, 1e-5f);
  EXPECT_NEAR(cat->pairs[1].angle, kPi, 1e-5f);
  EXPECT_FALSE(cat->pairs[1].hasTriad);  // a member with its own opposite
  EXPECT_TRUE(cat->pairs[0].hasTriad);
}

TEST_F(CatalogueFixture, DefaultCrystal) {
  Build();
  EXPECT_EQ(cat->memberCount[0], 4);
  EXPECT_EQ(cat->memberCount[1], 3);
  EXPECT_EQ(cat->memberCount[2], 6);
  EXPECT_EQ(cat->memberCount[3], 12);
  EXPECT_EQ(cat->signedCount, 50);
  // Every signed direction lies in at least one bin, every bin entry near its axis.
  for (int k = 0; k < kOctantBinCount; ++k) EXPECT_GT(cat->binCount[k], 0);
  for (int i = 0; i < cat->signedCount; ++i) {
    float best = -2;
    for (const Vec3& axis : kOctantAxes)
      best = std::fmax(best, dot(axis, cat->signedDirections[i]));
    EXPECT_GT(best, std::cos(1.2309594f));
  }
  // Sorted, and every entry's angle is the angle of its directions.
  for (int t = 0; t < cat->pairCount; ++t) {
    const PairEntry& e = cat->pairs[t];
    if (t > 0) {
      EXPECT_LE(cat->pairs[t - 1].angle, e.angle);
    }
    EXPECT_LE(e.f1, e.f2);
    EXPECT_NEAR(AngleFromCosine(dot(cat->FirstDirection(e), cat->SecondDirection(e))), e.angle,
                1e-6f);
  }
}

TEST_F(CatalogueFixture, FamilyListedTwice) {
  problem.familyCount = 2;
  problem.families[0] = {1, 0, 0};
  problem.families[1] = {2, 0, 0};
  SetP2(1.0f);
  Build();
  EXPECT_EQ(cat->memberCount[0], 3);
  EXPECT_EQ(cat->memberCount[1], 3);
  for (int m = 0; m < 3; ++m) EXPECT_EQ(cat->members[0][m], cat->members[1][m]);
  int across = 0;
  for (int t = 0; t < cat->pairCount; ++t) {
    const PairEntry& e = cat->pairs[t];
    EXPECT_GT(e.angle, 0.02f);  // no parallel pairs at angle 0
    if (e.f1 != e.f2) ++across;
  }
  EXPECT_GT(across, 0);  // 90 and 180 degrees across the copies
}

TEST_F(CatalogueFixture, SingleMemberWithoutSymmetry) {
  problem.familyCount = 1;
  problem.families[0] = {1, 1, 1};
  problem.symmetryCount = 1;
  Build();
  EXPECT_EQ(cat->memberCount[0], 1);
  ASSERT_EQ(cat->pairCount, 1);
  const float pi = cat->pairs[0].angle;  // the normal with its opposite
  EXPECT_NEAR(pi, kPi, 1e-3f);
  const float p1 = problem.p1;
  IndexRange hit = PairRange(*cat, pi - p1 / 2, p1);
  EXPECT_EQ(hit.first, 0);
  EXPECT_EQ(hit.last, 0);
  EXPECT_TRUE(PairRange(*cat, pi - 2 * p1, p1).empty());
  EXPECT_TRUE(PairRange(*cat, 1.0f, p1).empty());
}

TEST_F(CatalogueFixture, RangeReachesBothEndsOfTheTable) {
  Build();
  const int n = cat->pairCount;
  const float p1 = problem.p1;
  IndexRange low = PairRange(*cat, cat->pairs[0].angle + p1 / 2, p1);
  EXPECT_EQ(low.first, 0);
  IndexRange high = PairRange(*cat, cat->pairs[n - 1].angle - p1 / 2, p1);
  EXPECT_EQ(high.last, n - 1);
  // Every index in a range has a - p1 < T <= a + p1; its neighbours do not.
  for (float a : {0.3f, 0.9553166f, 1.5707964f, 2.5f}) {
    IndexRange r = PairRange(*cat, a, p1);
    for (int t = r.first; t <= r.last; ++t) {
      EXPECT_GT(cat->pairs[t].angle, a - p1);
      EXPECT_LE(cat->pairs[t].angle, a + p1);
    }
    if (r.first > 0) {
      EXPECT_LE(cat->pairs[r.first - 1].angle, a - p1);
    }
    if (r.last < n - 1) {
      EXPECT_GT(cat->pairs[r.last + 1].angle, a + p1);
    }
  }
}

TEST_F(CatalogueFixture, LargeCatalogueStaysWithinItsTables) {
  // 128 families and a wide p2: bins cover ~43 % of the sphere, the pair
  // table fills up and the build stops at its capacity.
  problem.familyCount = kMaxFamilies;
  int f = 0;
  for (int h = 1; f < kMaxFamilies; ++h)
    for (int k = 0; k <= h && f < kMaxFamilies; ++k)
      for (int l = 0; l <= k && f < kMaxFamilies; ++l) problem.families[f++] = {h + 7, k, l};
  SetP2(10.0f);
  Build();
  EXPECT_LE(cat->signedCount, kMaxSignedDirections);
  for (int k = 0; k < kOctantBinCount; ++k) EXPECT_LE(cat->binCount[k], kBinCapacity);
  EXPECT_EQ(cat->pairCount, kMaxPairEntries);
}

}  // namespace
}  // namespace talvor
