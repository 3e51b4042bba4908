// Recovery survey: generated patterns through the reader, the catalogue and one strategy.
// SPDX-License-Identifier: BSD-3-Clause
#include "orientation/synthetic/recovery_survey.hpp"

#include <cstdio>
#include <memory>
#include <sstream>

#include "orientation/catalogue/catalogue.hpp"
#include "orientation/geometry/crystal_geometry.hpp"
#include "orientation/geometry/rotation.hpp"
#include "common/free_form_reader.hpp"
#include "orientation/input/input_file.hpp"
#include "orientation/scoring/evaluate_orientation.hpp"
#include "orientation/strategies/strategies.hpp"

namespace talvor::tools {

namespace {

Matrix3d ToDouble(const Mat3& m) {
  Matrix3d d{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) d[i][j] = m(i + 1, j + 1);
  return d;
}

Mat3 ToSingle(const Matrix3d& d) {
  Mat3 m;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) m(i + 1, j + 1) = static_cast<float>(d[i][j]);
  return m;
}

}  // namespace

SurveyOutcome RunSurvey(const SurveyCase& c) {
  const CrystalDescription crystal = CrystalByName(c.crystal);
  PatternSettings settings;
  settings.seed = c.seed;
  settings.patternCount = c.patterns;
  settings.spuriousFraction = c.spurious;
  const auto generated = GeneratePatterns(crystal, settings);
  RunParameters run;
  run.strategy = c.strategy;
  std::istringstream text(FormatInput(crystal, run, generated));

  common::FreeFormReader reader(text);
  OrientationProblem problem;
  SetDefaults(problem);
  std::ostringstream echo;
  ReadHeader(reader, "generated.tv2", problem, echo);
  auto catalogue = std::make_unique<Catalogue>();
  BuildCatalogue(problem, *catalogue);
  auto work = std::make_unique<StrategyWorkspace>();
  ScatteringPattern pattern;
  SolutionStore store;
  SearchContext ctx{problem, *catalogue, pattern, VoteExponent(*catalogue), *work, store};

  SurveyOutcome out;
  for (const GeneratedPattern& truth : generated) {
    ++out.patterns;
    if (ReadPattern(reader, out.patterns, "generated.tv2", pattern) != PatternStatus::read) break;
    store.count = 0;
    RunStrategy(problem.strategy, ctx);

    const int n = pattern.vectorCount;
    const int expected_used = n - static_cast<int>(truth.spurious.size());
    double angle = 180.0;
    int used = 0;
    float fit = static_cast<float>(n);
    if (store.count > 0) {
      angle =
          MisorientationDegrees(ToDouble(store.entries[0].orientation), truth.orientation, crystal);
      fit = store.entries[0].fit;
      used = n - static_cast<int>(fit + 5e-6f);  // as the results line derives it
    }
    const bool found = angle < kRecoveryToleranceDegrees;
    if (found) {
      ++out.found;
      if (used == expected_used) ++out.rightCount;
      if (used == expected_used) continue;
    }
    // The true orientation scored like a trial of its own.
    SolutionStore truth_store;
    int best = 0;
    const Mat3 g = ToSingle(truth.orientation);
    EvaluateOrientation(g, pattern, problem, *catalogue, best, truth_store);
    const float truth_fit = truth_store.entries[0].fit;
    const char* cause = "";
    if (!found) {
      if (n - static_cast<int>(truth_fit + 5e-6f) <= used) {
        ++out.ambiguous;
        cause = "ambiguous";
      } else {
        // Trials of the unrestricted search that lead to the true
        // orientation, and whether the voting allowed any of them.
        const int truth_used = n - static_cast<int>(truth_fit + 5e-6f);
        int good = 0, allowed = 0;
        for (int i = 0; i < n - 1; ++i)
          for (int j = i + 1; j < n; ++j) {
            const float a = AngleFromCosine(dot(pattern.vectors[i], pattern.vectors[j]));
            const IndexRange range = PairRange(*catalogue, a, problem.p1);
            for (int t = range.first; t <= range.last; ++t) {
              const PairEntry& e = catalogue->pairs[t];
              Mat3 trial;
              if (!OrientationFromPair(pattern.vectors[i], pattern.vectors[j],
                                       catalogue->FirstDirection(e), catalogue->SecondDirection(e),
                                       trial))
                continue;
              SolutionStore trial_store;
              int trial_best = 0;
              EvaluateOrientation(trial, pattern, problem, *catalogue, trial_best, trial_store);
              const Mat3& refined = trial_store.entries[0].orientation;
              if (trial_best < truth_used ||
                  MisorientationDegrees(ToDouble(refined), truth.orientation, crystal) >=
                      kRecoveryToleranceDegrees)
                continue;
              ++good;
              if (problem.strategy == IndexingStrategy::exhaustive ||
                  (work->allowed[i][e.f1] && work->allowed[j][e.f2]))
                ++allowed;
            }
          }
        if (good == 0) {
          ++out.noTrial;
          cause = "no trial near the true orientation";
        } else if (allowed == 0) {
          ++out.votedOut;
          cause = "voting excluded the true families";
        } else {
          ++out.otherMisses;
          cause = "search missed it";
        }
      }
    }
    char line[200];
    std::snprintf(line, sizeof line,
                  "  pattern %3d: n %2d, used %2d (expected %2d), off by %6.2f deg, fit %.4f, "
                  "true orientation's fit %.4f %s\n",
                  out.patterns, n, used, expected_used, angle, fit, truth_fit, cause);
    out.misses += line;
  }
  return out;
}

}  // namespace talvor::tools
