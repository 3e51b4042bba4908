// Tests that a pattern computed exactly on a zone axis keeps the rotational symmetry of that axis.
// SPDX-License-Identifier: BSD-3-Clause
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "simulator/beams/select_beams.hpp"
#include "simulator/engine/pattern_computation.hpp"
#include "simulator/input/test_input_builder.hpp"
#include "simulator/progress/silent_presentation.hpp"
#include "common/angles.hpp"

namespace velmorant {
namespace {

// A run control without a window; ending the run would be a test failure.
struct QuietRun {
  ProgressState state;
  SilentPresentation presentation;
  RunControl control{state, presentation, [] { throw std::runtime_error("run ended"); },
                     [] { return 0; }};
};

// 500 Å: thin enough for the block grid to resolve the lines.
std::unique_ptr<SimulationInput> titanium_0001(const std::string& max_beams) {
  return testing::titanium_on_0001(max_beams, "500.0", VELMORANT_SOURCE_DATA_DIR);
}

std::unique_ptr<SimulationInput> silicon_111(const std::string& max_beams) {
  return testing::silicon_on_111(max_beams, "500.0", VELMORANT_SOURCE_DATA_DIR);
}

// A square grid of n x n values, (i, j) from 1 to n, i fastest; its centre
// (the optical axis) lies at ((n + 1) / 2, (n + 1) / 2).
struct Grid {
  int n;
  std::vector<float> v;
  explicit Grid(int size) : n(size), v(std::size_t(size) * std::size_t(size), 0.0f) {}
  float& operator()(int i, int j) {
    return v[std::size_t(i - 1) + std::size_t(j - 1) * std::size_t(n)];
  }
  float operator()(int i, int j) const {
    return v[std::size_t(i - 1) + std::size_t(j - 1) * std::size_t(n)];
  }
};

// The directions the block method computes, pixels 3, 6, ..., 510 in both
// directions: a 170 x 170 grid whose centre is the field's, 256.5 = 3 x 85.5.
Grid block_samples(const PatternImage& image) {
  Grid g(170);
  for (int j = 1; j <= 170; ++j)
    for (int i = 1; i <= 170; ++i) g(i, j) = image(3 * i, 3 * j);
  return g;
}

// The grid turned by `degrees` about its centre: each point takes the
// bilinear interpolation of `grid` at the point that the turn carries onto
// it. Points off the grid take the nearest edge value (only points inside
// the centred disc are compared, whose sources all lie on the grid).
Grid turned(const Grid& grid, double degrees) {
  const int n = grid.n;
  const double centre = 0.5 * (n + 1);
  const double c = std::cos(common::radians(degrees)), s = std::sin(common::radians(degrees));
  Grid out(n);
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= n; ++i) {
      const double x = i - centre, y = j - centre;
      const double u = std::clamp(centre + c * x + s * y, 1.0, double(n));
      const double v = std::clamp(centre - s * x + c * y, 1.0, double(n));
      const int i0 = std::min(int(u), n - 1), j0 = std::min(int(v), n - 1);
      const double fu = u - i0, fv = v - j0;
      out(i, j) = float((1 - fu) * (1 - fv) * grid(i0, j0) + fu * (1 - fv) * grid(i0 + 1, j0) +
                        (1 - fu) * fv * grid(i0, j0 + 1) + fu * fv * grid(i0 + 1, j0 + 1));
    }
  return out;
}

// Points within (n - 2) / 2 of the centre: the largest centred disc whose
// turned points all fall between grid points.
template <class Visit>
void for_each_in_disc(int n, Visit visit) {
  const double centre = 0.5 * (n + 1), radius = 0.5 * (n - 2);
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= n; ++i)
      if ((i - centre) * (i - centre) + (j - centre) * (j - centre) <= radius * radius) visit(i, j);
}

double rms_difference_in_disc(const Grid& a, const Grid& b) {
  double sum = 0;
  long count = 0;
  for_each_in_disc(a.n, [&](int i, int j) {
    const double d = double(a(i, j)) - b(i, j);
    sum += d * d;
    ++count;
  });
  return std::sqrt(sum / double(count));
}

struct SymmetryMeasure {
  double full_scale;  // largest minus smallest value in the disc (the grey range of the image file)
  double change;      // RMS of turned grid minus grid, in units of full_scale
  double floor;       // the same for the n-fold average: what the interpolation alone leaves
};

// How far `grid` is from being unchanged by a turn of 360/n degrees,
// against the floor of the interpolation: the n-fold average
// (1/n) Σ_k turned(grid, k·360/n) is symmetric in the continuum, so
// whatever its own turn changes comes from the square grid.
SymmetryMeasure symmetry_measure(const Grid& grid, int fold) {
  const double step = 360.0 / fold;
  float lo = grid.v[0], hi = lo;
  bool first = true;
  for_each_in_disc(grid.n, [&](int i, int j) {
    if (first) lo = hi = grid(i, j), first = false;
    lo = std::min(lo, grid(i, j));
    hi = std::max(hi, grid(i, j));
  });
  Grid average = grid;
  for (int k = 1; k < fold; ++k) {
    const Grid t = turned(grid, k * step);
    for (std::size_t p = 0; p < average.v.size(); ++p) average.v[p] += t.v[p];
  }
  for (float& a : average.v) a /= float(fold);
  const double scale = double(hi) - lo;
  return {scale, rms_difference_in_disc(turned(grid, step), grid) / scale,
          rms_difference_in_disc(turned(average, step), average) / scale};
}

// A beam set closed under the zone axis's rotation gives a pattern that the
// rotation leaves unchanged: each direction's intensity depends only on the
// beams and the direction. The block method computes every third direction
// on a grid centred on the optical axis; the check turns that grid of
// computed values (each 3 x 3 block of the image file repeats one of them,
// and the steps between blocks would dominate any comparison of the whole
// image). Its turn may differ from it by the floor that the bilinear
// interpolation leaves, measured on the n-fold average, plus 0.5 % of the
// grey range. 500 Å keeps the pattern's lines a few grid steps wide, so
// that floor stays near 0.3 % of the range. The caps 22 and 60 for titanium
// and 10 and 20 for silicon fall inside groups of equivalent reflections;
// a selection that cut those groups breaks the symmetry by about 2 to 16 %.
void expect_symmetric_patterns(std::unique_ptr<SimulationInput> (*make)(const std::string&),
                               const std::vector<const char*>& caps, int fold) {
  for (const char* cap : caps) {
    const auto in = make(cap);
    BeamList beams;
    select_beams(*in, beams);
    QuietRun run;
    PatternImage image;
    compute_pattern(*in, beams, SamplingMethod::block, run.control, image, 2);
    const SymmetryMeasure m = symmetry_measure(block_samples(image), fold);
    const std::string what = std::string("cap ") + cap + ", N " + std::to_string(beams.count);
    std::printf("%d-fold, %s: the turn changes %.4f of the grey range, floor %.4f\n", fold,
                what.c_str(), m.change, m.floor);
    ASSERT_GT(m.full_scale, 0.05) << what;  // a pattern with contrast, not a blank field
    EXPECT_LT(m.floor, 0.01) << what;       // the grid resolves the pattern
    EXPECT_LE(m.change, m.floor + 0.005)
        << what << ": the turn changes " << m.change << " of the grey range, floor " << m.floor;
  }
}

TEST(SymmetricPattern, TitaniumOn0001KeepsTheSixfoldAxis) {
  expect_symmetric_patterns(titanium_0001, {"22", "30", "60"}, 6);
}

TEST(SymmetricPattern, SiliconOn111KeepsTheThreefoldAxis) {
  expect_symmetric_patterns(silicon_111, {"10", "20"}, 3);
}

}  // namespace
}  // namespace velmorant
