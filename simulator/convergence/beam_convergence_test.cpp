// Tests of the convergence check on the beam count.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/convergence/beam_convergence.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "simulator/beams/beam_list.hpp"
#include "simulator/beams/select_beams.hpp"
#include "simulator/engine/pixel_pool.hpp"
#include "simulator/input/read_simulation_input.hpp"
#include "simulator/progress/silent_presentation.hpp"

namespace velmorant {
namespace {

TEST(ComparePatterns, DifferencesAndCorrelationOfKnownPatterns) {
  PatternImage a, b;
  for (std::size_t k = 0; k < PatternImage::size(); ++k) {
    a.data()[k] = float(k % 7) * 0.1f;
    b.data()[k] = 0.5f * a.data()[k] + 0.2f;  // a linear function of a: r = 1
  }
  ConvergenceStep s;
  compare_patterns(a, a, s);
  EXPECT_EQ(s.max_change, 0.0);
  EXPECT_EQ(s.rms_change, 0.0);
  EXPECT_NEAR(s.correlation, 1.0, 1e-12);
  compare_patterns(a, b, s);
  EXPECT_NEAR(s.max_change, 0.2, 1e-6);  // at k % 7 = 0: 0 against 0.2, and 0.6 against 0.5
  EXPECT_NEAR(s.correlation, 1.0, 1e-9);
  for (std::size_t k = 0; k < PatternImage::size(); ++k) b.data()[k] = 1.0f - a.data()[k];
  compare_patterns(a, b, s);
  EXPECT_NEAR(s.correlation, -1.0, 1e-9);
  // A uniform pattern has no correlation: the score's convention, -1 (the
  // lowest), while the differences are still measured.
  PatternImage uniform;
  uniform.fill(0.3f);
  compare_patterns(uniform, a, s);
  EXPECT_EQ(s.correlation, -1.0);
  EXPECT_NEAR(s.max_change, 0.3, 1e-6);
  compare_patterns(uniform, uniform, s);
  EXPECT_EQ(s.correlation, -1.0);
  EXPECT_EQ(s.rms_change, 0.0);
}

// Silicon near [111] (the shipped example, a quarter of its thickness to keep
// the test short): the change between steps falls as N grows, and the
// recommended N reproduces the pattern of every beam the selection offers
// within the tolerance.
TEST(Convergence, ChangeFallsAndTheRecommendedCountReproducesTheLargestRun) {
  auto in = std::make_unique<SimulationInput>();
  auto beams = std::make_unique<BeamList>();
  read_simulation_input(VELMORANT_EXAMPLES_DIR "/si-111", *in, *beams);
  in->effective_thickness *= 0.25f;
  in->max_beams = 4;
  ConvergenceOptions options;
  options.factors = {1, 2, 3, 4, 6};
  options.rms_tolerance = 0.005;
  options.threads = hardware_threads();
  std::ostringstream messages;
  const ConvergenceResult r = run_convergence(*in, options, messages);
  EXPECT_EQ(in->max_beams, 4);  // restored
  ASSERT_GE(r.steps.size(), 3u) << convergence_table(r);
  for (size_t i = 2; i < r.steps.size(); ++i) {
    EXPECT_GT(r.steps[i].beams, r.steps[i - 1].beams);
    EXPECT_LT(r.steps[i].rms_change, r.steps[i - 1].rms_change) << convergence_table(r);
  }
  ASSERT_GE(r.recommended, 0) << r.stop_reason << '\n' << convergence_table(r);

  // The recommended count against all the beams the selection offers.
  auto pattern = [&](int cap, PatternImage& image) {
    in->max_beams = cap;
    select_beams(*in, *beams);
    ProgressState progress;
    SilentPresentation silent;
    RunControl control(progress, silent);
    compute_pattern(*in, *beams, options.method, control, image, options.threads);
    return beams->count;
  };
  PatternImage recommended, largest;
  EXPECT_EQ(pattern(r.steps[size_t(r.recommended)].cap, recommended),
            r.steps[size_t(r.recommended)].beams);
  const int all = pattern(kMaxBeams, largest);
  EXPECT_GE(all, r.steps.back().beams);
  ConvergenceStep s;
  compare_patterns(recommended, largest, s);
  EXPECT_LT(s.rms_change, options.rms_tolerance) << convergence_table(r) << "all " << all;

  // The CSV holds the table: a header and one line per step.
  const std::string csv = convergence_csv(r);
  EXPECT_EQ(csv.rfind("cap,beams,seconds,max_change,rms_change,correlation\n", 0), 0u);
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), std::ptrdiff_t(r.steps.size() + 1));
}

}  // namespace
}  // namespace velmorant
