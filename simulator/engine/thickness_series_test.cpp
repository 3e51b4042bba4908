// Tests of the thickness series: accuracy against a double-precision exponential, and the patterns it fills.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/engine/thickness_series.hpp"

#include <algorithm>
#include <cmath>
#include <complex>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <Eigen/Dense>
#include <gtest/gtest.h>

#include "simulator/engine/pattern_computation.hpp"
#include "simulator/engine/scattering_matrix.hpp"
#include "simulator/engine/simulation.hpp"
#include "simulator/beams/select_beams.hpp"
#include "simulator/input/read_simulation_input.hpp"
#include "simulator/scattering/structure_factor.hpp"
#include "simulator/progress/silent_presentation.hpp"

namespace velmorant {
namespace {

using DoubleMatrix = Eigen::Matrix<std::complex<double>, Eigen::Dynamic, Eigen::Dynamic>;

// Column 0 of exp(a) in double precision: scaled to a norm below 1/2, 20
// Taylor terms (the first left out is below 1e-25 of the sum), squared back.
Eigen::VectorXcd reference_column(const ComplexMatrix& a_float) {
  DoubleMatrix a = a_float.cast<std::complex<double>>();
  const double norm = a.norm();
  int s = 0;
  while (norm / std::ldexp(1.0, s) > 0.5) ++s;
  a /= std::ldexp(1.0, s);
  DoubleMatrix e = DoubleMatrix::Identity(a.rows(), a.cols()), term = e;
  for (int j = 1; j <= 20; ++j) {
    term = (term * a / double(j)).eval();
    e += term;
  }
  for (int q = 0; q < s; ++q) e = (e * e).eval();
  return e.col(0);
}

std::complex<double> reference_corner(const ComplexMatrix& a) { return reference_column(a)(0); }

struct Crystal {
  std::unique_ptr<SimulationInput> in = std::make_unique<SimulationInput>();
  std::unique_ptr<BeamList> beams = std::make_unique<BeamList>();
  // Structure factors computed so far (the absorptive ones are slow).
  mutable std::map<std::array<std::int32_t, 3>, std::complex<float>> factors;
};

Crystal example(const std::string& name) {
  Crystal c;
  read_simulation_input(std::string(VELMORANT_EXAMPLES_DIR) + "/" + name, *c.in, *c.beams);
  return c;
}

ComplexMatrix coupling(const Crystal& c, float thickness) {
  ComplexMatrix w;
  build_coupling_matrix(
      *c.beams, thickness / c.in->surface_normal[2], c.in->potential_factor,
      [&c](const std::array<std::int32_t, 3>& hkl) {
        auto [it, added] = c.factors.try_emplace(hkl);
        if (added) it->second = structure_factor(*c.in, hkl, true);
        return it->second;
      },
      {}, w);
  return w;
}

struct AccuracyCase {
  const char* example;
  int series_limit;  // 3: block method, 1000: full method
  float first;       // Å
  float step;        // Å
};

class SeriesAccuracy : public ::testing::TestWithParam<AccuracyCase> {};

// 50 thicknesses in directions across the field: the largest intensity
// error of the series is no more than that of separate exponentials at each
// thickness, plus 1e-4. Every way of planning the series: 480 Å is 12 steps
// of 40 Å, 500 Å is 25 substeps of 20 Å, 500.3 Å is 12 steps and a rest,
// 500 Å in steps of 1 Å would take too many products (its own exponential).
TEST_P(SeriesAccuracy, LargestErrorIsThatOfSeparateRunsOrBetter) {
  const AccuracyCase param = GetParam();
  const Crystal c = example(param.example);
  constexpr int kCount = 50;
  const float kFirst = param.first, kStep = param.step;
  std::vector<ComplexMatrix> w(kCount);
  for (int t = 0; t < kCount; ++t) w[std::size_t(t)] = coupling(c, kFirst + float(t) * kStep);
  const SeriesPlan plan = series_plan(kFirst, kStep, kCount, c.beams->order());
  const ComplexMatrix w_step_used = coupling(c, kStep / float(plan.substeps));
  const ComplexMatrix w_first = plan.steps < 0 ? w[0] : coupling(c, plan.rest);

  ProgressState state;
  SilentPresentation silent;
  RunControl control(state, silent);
  PixelEngine geometry(*c.in, *c.beams, control,
                       [](const std::array<std::int32_t, 3>&) { return std::complex<float>(); });
  SeriesWorkspace sw(c.beams->order());
  ExponentialWorkspace ws(c.beams->order());
  ComplexMatrix a(c.beams->order(), c.beams->order());
  double series_error = 0, separate_error = 0;
  const int pixels[][2] = {{256, 256}, {1, 1}, {512, 512}, {100, 400}, {300, 200}};
  for (const auto& p : pixels) {
    const auto k = geometry.wave_vector(p[0], p[1]);
    float series[kCount];
    transmitted_series(k, w_first, w_step_used, *c.beams, param.series_limit, kCount, plan, sw,
                       series);
    for (int t = 0; t < kCount; ++t) {
      build_exponent_matrix(k, w[std::size_t(t)], *c.beams, a);
      const double exact = std::norm(reference_corner(a));
      const float separate =
          transmitted_intensity(k, w[std::size_t(t)], *c.beams, param.series_limit, ws);
      series_error = std::max(series_error, std::fabs(double(series[t]) - exact));
      separate_error = std::max(separate_error, std::fabs(double(separate) - exact));
    }
  }
  RecordProperty("series_error", std::to_string(series_error));
  RecordProperty("separate_error", std::to_string(separate_error));
  EXPECT_LE(series_error, separate_error + 1e-4) << "separate runs: " << separate_error;
}

INSTANTIATE_TEST_SUITE_P(
    Examples, SeriesAccuracy,
    ::testing::Values(AccuracyCase{"si-111", 3, 500, 40}, AccuracyCase{"si-111", 1000, 500, 40},
                      AccuracyCase{"cu-110", 3, 500, 40}, AccuracyCase{"cu-110", 1000, 500, 40},
                      AccuracyCase{"gaas-001", 3, 500, 40}, AccuracyCase{"gaas-001", 1000, 500, 40},
                      AccuracyCase{"si-111", 3, 480, 40}, AccuracyCase{"cu-110", 1000, 480, 40},
                      AccuracyCase{"si-111", 1000, 500.3f, 40},
                      AccuracyCase{"gaas-001", 3, 500.3f, 40}, AccuracyCase{"si-111", 3, 500, 1},
                      AccuracyCase{"gaas-001", 1000, 500, 1}),
    [](const auto& info) {
      std::string name = std::string(info.param.example) + "_limit" +
                         std::to_string(info.param.series_limit) + "_from" +
                         std::to_string(int(10 * info.param.first)) + "_step" +
                         std::to_string(int(info.param.step));
      std::replace(name.begin(), name.end(), '-', '_');
      return name;
    });

// The propagator alone, against the double-precision exponential: relative
// error at single-precision rounding, where the block method's three terms
// are far off.
TEST(Propagator, AgreesWithTheDoublePrecisionExponential) {
  const Crystal c = example("si-111");
  const ComplexMatrix w = coupling(c, 40.0f);
  ProgressState state;
  SilentPresentation silent;
  RunControl control(state, silent);
  PixelEngine geometry(*c.in, *c.beams, control,
                       [](const std::array<std::int32_t, 3>&) { return std::complex<float>(); });
  SeriesWorkspace sw(c.beams->order());
  for (int i : {1, 128, 256, 512}) {
    build_exponent_matrix(geometry.wave_vector(i, 300), w, *c.beams, sw.ws.a);
    const ComplexMatrix a = sw.ws.a;
    propagator_exponential(sw);
    const std::complex<double> exact = reference_corner(a);
    EXPECT_NEAR(std::abs(std::complex<double>(sw.ws.e(0, 0)) - exact), 0.0, 2e-6) << i;
  }
}

// The wave behind a rest, formed on the vector alone, is column 0 of the
// exact exponential to single-precision rounding, from a rest of a fraction
// of an Å to one whose exponential would be cheaper (both ways agree).
TEST(Propagator, RestOnTheVectorIsColumnZeroOfTheExponential) {
  const Crystal c = example("si-111");
  ProgressState state;
  SilentPresentation silent;
  RunControl control(state, silent);
  PixelEngine geometry(*c.in, *c.beams, control,
                       [](const std::array<std::int32_t, 3>&) { return std::complex<float>(); });
  SeriesWorkspace sw(c.beams->order());
  for (float rest : {0.7f, 20.3f, 150.0f}) {
    const ComplexMatrix w = coupling(c, rest);
    for (int i : {1, 256, 512}) {
      build_exponent_matrix(geometry.wave_vector(i, 300), w, *c.beams, sw.ws.a);
      const ComplexMatrix a = sw.ws.a;
      const Eigen::VectorXcd exact = reference_column(a);
      rest_wave(sw, frobenius_norm(sw.ws.a));
      double worst = 0;
      for (int r = 0; r < c.beams->order(); ++r)
        worst = std::max(worst, std::abs(std::complex<double>(sw.wave(r)) - exact(r)));
      EXPECT_LT(worst, 2e-6) << rest << " Å, pixel " << i;
    }
  }
  // The cheaper way: the vector for a short rest, the matrix for a long one.
  EXPECT_TRUE(rest_on_the_vector(4.0f, 22));
  EXPECT_FALSE(rest_on_the_vector(1000.0f, 22));
}

TEST(Propagator, EmptyCrystalLeavesTheTransmittedBeamWhole) {
  BeamList beams;  // the transmitted beam alone
  ComplexMatrix w;
  build_coupling_matrix(beams, 1000.0f, 1.0f, {}, {}, w);
  SeriesWorkspace sw(1);
  float out[20];
  for (const SeriesPlan plan :
       {SeriesPlan{1, -1, 0.0f}, SeriesPlan{1, 5, 0.0f}, SeriesPlan{3, 5, 30.0f}}) {
    transmitted_series({0.0f, 0.0f, 39.87f}, w, w, beams, 3, 20, plan, sw, out);
    for (float v : out) EXPECT_FLOAT_EQ(v, 1.0f);
  }
}

// The three ways of planning, and the limit on the products.
TEST(SeriesPlanning, SubstepsThenRestThenOwnExponential) {
  struct Case {
    float first, step;
    int count, order;
    SeriesPlan expected;
  };
  const Case cases[] = {
      {1000, 20, 50, 22, {1, 50, 0}},          // 50 steps
      {1010, 20, 50, 22, {2, 101, 0}},         // 101 substeps of 10 Å, two per member
      {1234.5f, 100, 11, 22, {1, 12, 34.5f}},  // no substep to 1/64 divides it
      {0, 20, 10, 22, {1, 0, 0}},              // from the entrance surface
      {500.3f, 40, 50, 22, {1, 12, 20.3f}},
      {500, 1, 50, 22, {1, -1, 0}},  // 500 products before the first member
      {700, 3, 4, 5, {1, -1, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.first);
    const SeriesPlan p = series_plan(c.first, c.step, c.count, c.order);
    EXPECT_EQ(p.substeps, c.expected.substeps);
    EXPECT_EQ(p.steps, c.expected.steps);
    EXPECT_NEAR(p.rest, c.expected.rest, 1e-3f);
  }
}

// The series fills the patterns like the sampling methods do. With the full
// series every member is the separate pattern at its thickness (both to
// rounding); with the block method from a first thickness of too many steps
// the first member is the separate pattern (the same series, summed in
// another order).
TEST(ThicknessSeriesPatterns, MembersAreThePatternsAtTheirThicknesses) {
  Crystal c;
  read_simulation_input(std::string(VELMORANT_EXAMPLES_DIR) + "/gaas-001", *c.in, *c.beams);
  c.in->max_beams = 4;  // a small crystal keeps the full method short
  select_beams(*c.in, *c.beams);
  Simulation simulation(*c.in, *c.beams, 2);
  for (int method : {0, 2}) {
    SCOPED_TRACE(method);
    std::vector<PatternImage> series;
    const ThicknessSeries thicknesses =
        method == 0 ? ThicknessSeries{700.0f, 300.0f, 4} : ThicknessSeries{700.0f, 3.0f, 4};
    simulation.compute_series(static_cast<SamplingMethod>(method), thicknesses, series);
    ASSERT_EQ(series.size(), 4u);
    for (int k : {0, 3}) {
      if (method == 2 && k != 0) continue;
      PatternImage single;
      simulation.compute({thicknesses.thickness(k), {}, {}}, static_cast<SamplingMethod>(method),
                         single);
      float worst = 0;
      for (std::size_t p = 0; p < PatternImage::size(); ++p)
        worst = std::max(worst, std::fabs(series[std::size_t(k)].data()[p] - single.data()[p]));
      // Both sides carry rounding errors of about eps ||A(t)||.
      EXPECT_LT(worst, method == 2 ? 2e-5f : 3e-4f) << "member " << k;
    }
  }
}

}  // namespace
}  // namespace velmorant
