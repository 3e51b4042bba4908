// Convergence of the pattern with the beam count: the steps, the comparison and the tables.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/convergence/beam_convergence.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <ostream>

#include "simulator/beams/beam_list.hpp"
#include "simulator/beams/select_beams.hpp"
#include "simulator/compare/score.hpp"
#include "simulator/progress/silent_presentation.hpp"

namespace velmorant {

void compare_patterns(const PatternImage& now, const PatternImage& before, ConvergenceStep& step) {
  const float* a = now.data();
  const float* b = before.data();
  const std::size_t n = PatternImage::size();
  double largest = 0, sum2 = 0;
  for (std::size_t k = 0; k < n; ++k) {
    const double d = double(a[k]) - double(b[k]);
    largest = std::max(largest, std::fabs(d));
    sum2 += d * d;
  }
  step.compared = true;
  step.max_change = largest;
  step.rms_change = std::sqrt(sum2 / double(n));
  step.correlation = pearson_correlation(now, before);
}

ConvergenceResult run_convergence(SimulationInput& in, const ConvergenceOptions& options,
                                  std::ostream& messages) {
  using Clock = std::chrono::steady_clock;
  const int base = in.max_beams;
  ConvergenceResult result;
  auto beams = std::make_unique<BeamList>();
  PatternImage previous, current;
  ProgressState progress;
  SilentPresentation silent;
  RunControl control(progress, silent);
  int last_cap = -1;
  for (double factor : options.factors) {
    const int cap = int(std::lround(double(base) * factor));
    if (cap == last_cap) continue;
    last_cap = cap;
    ConvergenceStep step;
    step.cap = cap;
    in.max_beams = cap;
    const Clock::time_point start = Clock::now();
    for (const std::string& line : select_beams(in, *beams)) messages << line << '\n';
    step.beams = beams->count;
    if (!result.steps.empty() && step.beams == result.steps.back().beams) {
      // Every beam the selection offers is in already: more cannot change the pattern.
      result.recommended = int(result.steps.size()) - 1;
      result.stop_reason =
          "a larger cap adds no beam: the selection offers " + std::to_string(step.beams);
      break;
    }
    compute_pattern(in, *beams, options.method, control, current, options.threads);
    step.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (!result.steps.empty()) compare_patterns(current, previous, step);
    result.steps.push_back(step);
    std::swap(previous, current);
    if (step.compared && step.rms_change < options.rms_tolerance) {
      result.recommended = int(result.steps.size()) - 2;
      result.stop_reason = "converged";
      break;
    }
    if (step.seconds > options.step_seconds_limit) {
      result.stop_reason = "the step took longer than the time limit";
      break;
    }
  }
  if (result.stop_reason.empty()) result.stop_reason = "no more steps";
  in.max_beams = base;
  return result;
}

std::string convergence_table(const ConvergenceResult& result) {
  std::string s = "  cap      N   time (s)   max change   RMS change   correlation\n";
  char line[160];
  for (const ConvergenceStep& t : result.steps) {
    if (t.compared)
      std::snprintf(line, sizeof line, "%5d  %5d  %9.2f  %11.5f  %11.5f  %12.6f\n", t.cap, t.beams,
                    t.seconds, t.max_change, t.rms_change, t.correlation);
    else
      std::snprintf(line, sizeof line, "%5d  %5d  %9.2f  %11s  %11s  %12s\n", t.cap, t.beams,
                    t.seconds, "-", "-", "-");
    s += line;
  }
  return s;
}

std::string convergence_csv(const ConvergenceResult& result) {
  std::string s = "cap,beams,seconds,max_change,rms_change,correlation\n";
  char line[160];
  for (const ConvergenceStep& t : result.steps) {
    if (t.compared)
      std::snprintf(line, sizeof line, "%d,%d,%.3f,%.6g,%.6g,%.8g\n", t.cap, t.beams, t.seconds,
                    t.max_change, t.rms_change, t.correlation);
    else
      std::snprintf(line, sizeof line, "%d,%d,%.3f,,,\n", t.cap, t.beams, t.seconds);
    s += line;
  }
  return s;
}

}  // namespace velmorant
