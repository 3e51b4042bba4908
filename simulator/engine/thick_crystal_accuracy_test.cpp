// Accuracy of the full series (method 0) against an exact double-precision exponential: thin and thick silicon, the examples.
// SPDX-License-Identifier: BSD-3-Clause
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "simulator/beams/select_beams.hpp"
#include "simulator/engine/double_reference_kernel.hpp"
#include "simulator/engine/pattern_computation.hpp"
#include "simulator/input/read_simulation_input.hpp"
#include "simulator/progress/silent_presentation.hpp"

namespace velmorant {
namespace {

// An example's input as its file gives it.
std::unique_ptr<SimulationInput> example(const std::string& name) {
  const std::string dir = VELMORANT_EXAMPLES_DIR "/" + name;
  const std::string file = dir + "/VelmorantDS.dat";
  std::ifstream text(file);
  auto in = std::make_unique<SimulationInput>();
  parse_simulation_input(text, file, *in);
  derive_simulation_input(*in, dir);
  return in;
}

struct AccuracyCase {
  const char* example;  // folder under examples/
  float thickness;      // Å; 0: the file's
  int max_beams;        // 0: the file's
  double bound;         // largest |I - I_exact| allowed over the field
};

class FullSeriesAccuracy : public ::testing::TestWithParam<AccuracyCase> {};

// A 32 x 32 grid of directions over the whole field. At 12000 Å the phase
// 2 pi t x (excitation term) reaches about 10^4 rad at the field's edge: a
// relative error of 1e-7 in the excitation term alone would move it by 1e-3.
// The examples as they are must be accurate to well below one grey level
// (about 1/255 of their intensity range).
TEST_P(FullSeriesAccuracy, LargestIntensityErrorOverTheField) {
  const AccuracyCase c = GetParam();
  auto in = example(c.example);
  if (c.thickness > 0) in->effective_thickness = c.thickness;
  if (c.max_beams > 0) in->max_beams = c.max_beams;
  BeamList beams;
  select_beams(*in, beams);
  if (c.max_beams > 0) {
    // The cap may be exceeded by the rest of an equal-strength group it falls into.
    ASSERT_GE(beams.count, c.max_beams);
    ASSERT_LE(beams.count, c.max_beams + 6);
  }
  ProgressState state;
  SilentPresentation presentation;
  RunControl control(state, presentation);
  PixelEngine engine(*in, beams, control);
  ExponentialWorkspace ws(beams.order());
  double largest = 0, mean_exact = 0;
  int at_i = 0, at_j = 0;
  for (int i = 8; i <= 512; i += 16)
    for (int j = 8; j <= 512; j += 16) {
      const auto k = engine.wave_vector(i, j);
      const double exact = testing::reference_intensity_double(k, engine.coupling_matrix(), beams);
      const double got =
          transmitted_intensity(k, engine.coupling_matrix(), beams, kFullSeriesLimit, ws);
      mean_exact += exact;
      if (std::fabs(got - exact) > largest) {
        largest = std::fabs(got - exact);
        at_i = i;
        at_j = j;
      }
    }
  mean_exact /= 32.0 * 32.0;
  std::printf("%s, t = %.0f A, N = %d: largest |I - I_exact| = %.5f at pixel (%d, %d)\n", c.example,
              double(in->effective_thickness), beams.count, largest, at_i, at_j);
  // The intensities are not trivially small: absorption leaves a visible pattern.
  EXPECT_GT(mean_exact, 0.05) << c.example;
  EXPECT_LT(largest, c.bound) << c.example << ", t = " << in->effective_thickness
                              << " Å, N = " << beams.count << ", worst pixel (" << at_i << ", "
                              << at_j << ")";
}

// Silicon near [111] with its 16 strongest beams, 1500 Å and 12000 Å thick,
// and the three examples as their files give them.
INSTANTIATE_TEST_SUITE_P(Crystals, FullSeriesAccuracy,
                         ::testing::Values(AccuracyCase{"si-111", 1500.0f, 16, 1e-3},
                                           AccuracyCase{"si-111", 12000.0f, 16, 0.005},
                                           AccuracyCase{"si-111", 0.0f, 0, 1e-3},
                                           AccuracyCase{"cu-110", 0.0f, 0, 1e-3},
                                           AccuracyCase{"gaas-001", 0.0f, 0, 1e-3}));

// The yardstick itself: two beams at the exact Bragg condition (k = (0, 0, 5),
// k + g = (3, 0, 4)) give the Pendellösung cos^2(2 pi t K F / (2 sqrt(n0 n1))).
TEST(DoubleReferenceKernel, TwoBeamPendelloesungToDoublePrecision) {
  BeamList beams;
  beams.count = 1;
  beams.miller[1] = {1, 0, 0};
  beams.lab_vector[1] = {3.0f, 0.0f, -1.0f};
  for (float t : {100.0f, 12000.0f, 50000.0f}) {
    ComplexMatrix w;
    build_coupling_matrix(
        beams, t, 0.02f, [](const auto&) { return std::complex<float>(1.5f, 0.0f); }, {}, w);
    // W carries 2 pi t K F rounded to single precision: the phase uses that value.
    const double phase = double(w(1, 0).imag()) / (2.0 * std::sqrt(20.0));
    EXPECT_NEAR(testing::reference_intensity_double({0.0f, 0.0f, 5.0f}, w, beams),
                std::pow(std::cos(phase), 2), 1e-12)
        << "t = " << t;
  }
}

}  // namespace
}  // namespace velmorant
