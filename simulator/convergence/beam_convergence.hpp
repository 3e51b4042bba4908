// Convergence of the pattern with the beam count: the same pattern with growing caps, compared step by step.
//
// A many-beam pattern changes with the number N of beams until N is large
// enough; the run time grows with N^3. run_convergence computes the pattern
// with the caps max_beams x 1, 1.5, 2, 3, 4, 6, 8, ... (each cap selects its
// beams afresh, so a group of equal strength may take N above the cap) and
// compares each pattern with the one before: largest and root-mean-square
// difference of the transmitted intensity (in units of the incident
// intensity) and Pearson's correlation. It stops at the first step whose RMS
// difference is below the tolerance, when a step took longer than the time
// limit, when a larger cap no longer adds a beam, or after the last factor.
// The recommended count is the N of the step before the first one whose
// change fell below the tolerance (the larger run reproduces it within the
// tolerance), or the N of the last step when a larger cap adds no beam.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "simulator/engine/pattern_computation.hpp"
#include "simulator/input/simulation_input.hpp"

namespace velmorant {

struct ConvergenceOptions {
  std::vector<double> factors{1.0, 1.5, 2.0, 3.0, 4.0, 6.0, 8.0};  // times max_beams of the input
  double rms_tolerance = 0.005;       // RMS difference of the intensity that counts as converged
  double step_seconds_limit = 600.0;  // s: no further step once a step took longer
  SamplingMethod method = SamplingMethod::block;
  int threads = 1;
};

struct ConvergenceStep {
  int cap = 0;             // max_beams of the step
  int beams = 0;           // N selected
  double seconds = 0;      // run time of the step (selection and pattern), s
  bool compared = false;   // false for the first step: nothing to compare with
  double max_change = 0;   // largest |I - I_previous| over the field
  double rms_change = 0;   // root mean square of I - I_previous
  double correlation = 0;  // Pearson's r of I and I_previous (-1 when undefined)
};

struct ConvergenceResult {
  std::vector<ConvergenceStep> steps;
  int recommended = -1;  // index into steps of the recommended N; -1: the tolerance was not met
  std::string stop_reason;
};

// Compares two patterns over the whole field: largest and RMS difference and
// Pearson's r (compare/score.hpp: -1 when it is not defined, e.g. when either
// pattern is uniform).
void compare_patterns(const PatternImage& now, const PatternImage& before, ConvergenceStep& step);

// Runs the steps on `in` (its max_beams is changed and restored); one line
// per group kept whole by the selection goes to `messages`.
ConvergenceResult run_convergence(SimulationInput& in, const ConvergenceOptions& options,
                                  std::ostream& messages);

// The table as printed and as CSV (a header line, then one line per step).
std::string convergence_table(const ConvergenceResult& result);
std::string convergence_csv(const ConvergenceResult& result);

}  // namespace velmorant
