// Tests of the refinement: golden section and Nelder–Mead find known maxima, inside their bounds.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/fit/search.hpp"

#include <cmath>

#include <gtest/gtest.h>

namespace velmorant::fit {
namespace {

BatchScore each(double (*f)(const Point&), int* calls = nullptr) {
  return [f, calls](const std::vector<Point>& batch) {
    std::vector<double> s;
    for (const Point& p : batch) s.push_back(f(p));
    if (calls) *calls += int(batch.size());
    return s;
  };
}

double peak_1d(const Point& x) { return -(x[0] - 1.234) * (x[0] - 1.234); }
double quadratic(const Point& x) {
  return -((x[0] - 1) * (x[0] - 1) + 10 * (x[1] + 2) * (x[1] + 2));
}
double rosenbrock(const Point& x) {
  return -(100 * (x[1] - x[0] * x[0]) * (x[1] - x[0] * x[0]) + (1 - x[0]) * (1 - x[0]));
}
double tilted_plane(const Point& x) { return x[0] + 2 * x[1] - x[2]; }

TEST(GoldenSection, FindsTheMaximumToTheToleranceInLogarithmicallyFewSteps) {
  int calls = 0;
  const SearchResult r =
      golden_section(0.0, 3.0, 1e-4, 100, 0.0, peak_1d({0.0}), each(peak_1d, &calls));
  EXPECT_NEAR(r.best[0], 1.234, 1e-4);
  EXPECT_EQ(r.evaluations, calls);
  // (0.618)^n < 1e-4 / 3 needs n = 22 steps after the first two points.
  EXPECT_LE(calls, 25);
}

TEST(GoldenSection, KeepsAKnownPointThatNoTrialBeats) {
  const SearchResult r = golden_section(0.0, 1.0, 1e-3, 100, 1.234, 0.0, each(peak_1d));
  EXPECT_EQ(r.best[0], 1.234);
  EXPECT_EQ(r.score, 0.0);
}

TEST(NelderMead, FindsTheMaximaOfAQuadraticAndOfTheRosenbrockValley) {
  const SearchResult q = nelder_mead({0, 0}, quadratic({0, 0}), {0.5, 0.5}, {-5, -5}, {5, 5}, 1e-5,
                                     400, each(quadratic));
  EXPECT_NEAR(q.best[0], 1.0, 1e-3);
  EXPECT_NEAR(q.best[1], -2.0, 1e-3);
  const SearchResult r = nelder_mead({-1, 1}, rosenbrock({-1, 1}), {0.5, 0.5}, {-3, -3}, {3, 3},
                                     1e-6, 1000, each(rosenbrock));
  EXPECT_NEAR(r.best[0], 1.0, 1e-2);
  EXPECT_NEAR(r.best[1], 1.0, 2e-2);
}

TEST(NelderMead, StaysInsideTheBoundsAndEndsInTheBestCorner) {
  int calls = 0;
  const SearchResult r =
      nelder_mead({0.5, 0.5, 0.5}, tilted_plane({0.5, 0.5, 0.5}), {0.2, 0.2, 0.2}, {0, 0, 0},
                  {1, 1, 1}, 1e-4, 300, [&](const std::vector<Point>& batch) {
                    for (const Point& p : batch)
                      for (double v : p) EXPECT_TRUE(v >= 0 && v <= 1) << v;
                    return each(tilted_plane, &calls)(batch);
                  });
  EXPECT_NEAR(r.best[0], 1.0, 1e-3);
  EXPECT_NEAR(r.best[1], 1.0, 1e-3);
  EXPECT_NEAR(r.best[2], 0.0, 1e-3);
  EXPECT_LE(r.evaluations, 300);
}

}  // namespace
}  // namespace velmorant::fit
