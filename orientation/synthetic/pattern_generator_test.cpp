// Tests of the synthetic pattern generator: determinism, geometry of the vectors, input text.
// SPDX-License-Identifier: BSD-3-Clause
#include "orientation/synthetic/pattern_generator.hpp"
#include "common/angles.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <numbers>

namespace talvor::tools {
namespace {

double dot(const Vector3d& a, const Vector3d& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// Angle in degrees from the crystal-frame direction g s to the nearest
// plane normal of the crystal (either sign).
double DistanceToPlaneNormal(const CrystalDescription& crystal, const Matrix3d& g,
                             const Vector3d& s) {
  const Vector3d c = {dot(g[0], s), dot(g[1], s), dot(g[2], s)};
  // Reciprocal vectors from the inverse basis by cross products.
  const Matrix3d& b = crystal.basis;
  auto cross = [](const Vector3d& x, const Vector3d& y) {
    return Vector3d{x[1] * y[2] - x[2] * y[1], x[2] * y[0] - x[0] * y[2],
                    x[0] * y[1] - x[1] * y[0]};
  };
  const Vector3d r[3] = {cross(b[1], b[2]), cross(b[2], b[0]), cross(b[0], b[1])};
  double best = 0.0;
  for (const auto& f : crystal.families) {
    Vector3d n = {0, 0, 0};
    for (int j = 0; j < 3; ++j)
      for (int i = 0; i < 3; ++i) n[i] += f[j] * r[j][i];
    const double len = std::sqrt(dot(n, n));
    for (const Matrix3d& op : SymmetryMatrices(crystal)) {
      const Vector3d m = {dot(op[0], n) / len, dot(op[1], n) / len, dot(op[2], n) / len};
      best = std::fmax(best, std::fabs(dot(m, c)));
    }
  }
  return common::degrees(std::acos(std::fmin(1.0, best)));
}

TEST(PatternGenerator, SameSeedSamePatterns) {
  PatternSettings settings;
  settings.patternCount = 5;
  settings.spuriousFraction = 0.1;
  const auto a = GeneratePatterns(CubicCopper(), settings);
  const auto b = GeneratePatterns(CubicCopper(), settings);
  EXPECT_EQ(FormatInput(CubicCopper(), {}, a), FormatInput(CubicCopper(), {}, b));
  settings.seed = 2;
  const auto c = GeneratePatterns(CubicCopper(), settings);
  EXPECT_NE(FormatInput(CubicCopper(), {}, a), FormatInput(CubicCopper(), {}, c));
}

TEST(PatternGenerator, VectorsAreNoisyPlaneNormalsAndSpuriousOnesAreNot) {
  for (const CrystalDescription& crystal : {DefaultCubic(), CubicCopper(), HexagonalTitanium()}) {
    PatternSettings settings;
    settings.patternCount = 40;
    settings.spuriousFraction = 0.1;
    double sum_squares = 0.0;
    int genuine = 0;
    for (const GeneratedPattern& p : GeneratePatterns(crystal, settings)) {
      const int n = static_cast<int>(p.vectors.size());
      ASSERT_GE(n, settings.minVectors);
      ASSERT_LE(n, settings.maxVectors);
      EXPECT_EQ(p.spurious.size(), 1u);  // 10 % of 6..12 vectors rounds to one
      for (int i = 0; i < n; ++i) {
        EXPECT_NEAR(dot(p.vectors[i], p.vectors[i]), 1.0, 1e-12);
        const double d = DistanceToPlaneNormal(crystal, p.orientation, p.vectors[i]);
        const bool spurious =
            std::find(p.spurious.begin(), p.spurious.end(), i) != p.spurious.end();
        if (spurious) {
          EXPECT_GE(d, settings.separationDegrees) << crystal.title;
        } else {
          EXPECT_LT(d, 2.0) << crystal.title;
          sum_squares += d * d;
          ++genuine;
        }
      }
    }
    // Root-mean-square deviation close to the requested 0.3 degrees.
    EXPECT_NEAR(std::sqrt(sum_squares / genuine), settings.noiseDegrees, 0.05) << crystal.title;
  }
}

TEST(PatternGenerator, TruthIsTheReducedOrientation) {
  PatternSettings settings;
  settings.patternCount = 20;
  const CrystalDescription crystal = HexagonalTitanium();
  for (const GeneratedPattern& p : GeneratePatterns(crystal, settings)) {
    const Vector3d e = ReducedBungeDegrees(p.orientation, crystal);
    const double r = std::numbers::pi / 180.0;
    const double c1 = std::cos(e[0] * r), s1 = std::sin(e[0] * r), c = std::cos(e[1] * r),
                 s = std::sin(e[1] * r), c2 = std::cos(e[2] * r), s2 = std::sin(e[2] * r);
    const Matrix3d g = {{{c1 * c2 - s1 * s2 * c, s1 * c2 + c1 * s2 * c, s2 * s},
                         {-c1 * s2 - s1 * c2 * c, -s1 * s2 + c1 * c2 * c, c2 * s},
                         {s1 * s, -c1 * s, c}}};
    EXPECT_LT(MisorientationDegrees(g, p.orientation, crystal), 1e-5);
  }
}

TEST(PatternGenerator, InputTextHasTheHeaderAndEveryPattern) {
  PatternSettings settings;
  settings.patternCount = 3;
  RunParameters run;
  run.strategy = 4;
  const auto patterns = GeneratePatterns(HexagonalTitanium(), settings);
  const std::string text = FormatInput(HexagonalTitanium(), run, patterns);
  EXPECT_NE(text.find("_NumberOfSymmetryOperations\n12\n"), std::string::npos);
  EXPECT_NE(text.find("_IndexingStrategy\n4\n"), std::string::npos);
  EXPECT_NE(text.find("_ParametersOfStrategy\n2.00 3.50\n"), std::string::npos);
  EXPECT_NE(text.find("_NumberOfPatterns\n3\n_PrintComputationTime\n0\n_PatternData\nPattern 1\n"),
            std::string::npos);
  std::istringstream truth(FormatTruth(HexagonalTitanium(), patterns));
  std::string line;
  int lines = 0;
  while (std::getline(truth, line))
    if (!line.empty() && line[0] != '#') ++lines;
  EXPECT_EQ(lines, 3);
}

}  // namespace
}  // namespace talvor::tools
