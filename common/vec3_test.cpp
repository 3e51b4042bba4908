// Dot and cross products: the basis, perpendicularity, symmetry and the order of the terms.
// SPDX-License-Identifier: BSD-3-Clause
#include "common/vec3.hpp"

#include <gtest/gtest.h>

#include <array>
#include <random>

namespace common {
namespace {

TEST(Vec3, ProductsOfTheBasisAndTheirInvariants) {
  using V = std::array<double, 3>;
  const V x{1, 0, 0}, y{0, 1, 0}, z{0, 0, 1};
  EXPECT_EQ(cross(x, y), z);
  EXPECT_EQ(cross(y, z), x);
  EXPECT_EQ(cross(z, x), y);
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> u(-3.0f, 3.0f);
  for (int t = 0; t < 100; ++t) {
    const std::array<float, 3> a{u(rng), u(rng), u(rng)}, b{u(rng), u(rng), u(rng)};
    const std::array<float, 3> c = cross(a, b);
    // a x b is perpendicular to both and anti-symmetric; a.b is symmetric.
    EXPECT_NEAR(dot(c, a), 0.0f, 1e-4f);
    EXPECT_NEAR(dot(c, b), 0.0f, 1e-4f);
    const std::array<float, 3> d = cross(b, a);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(c[k], -d[k]);
    EXPECT_EQ(dot(a, b), dot(b, a));
    // the terms are added left to right in float
    EXPECT_EQ(dot(a, b), (a[0] * b[0] + a[1] * b[1]) + a[2] * b[2]);
  }
}

}  // namespace
}  // namespace common
