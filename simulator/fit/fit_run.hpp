// One fit: the coarse grid, the local refinement, the optional final full-method point, and its record.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "simulator/fit/fit_parameters.hpp"
#include "simulator/fit/task_distribution.hpp"

namespace velmorant::fit {

enum class ScoreKind { pearson, r };
enum class Stage : int { grid = 0, refine = 1, final = 2 };
inline constexpr const char* kStageNames[] = {"grid", "refine", "final"};

struct FitOptions {
  std::vector<ParameterRange> ranges;  // the varied parameters, in the order given
  ScoreKind score = ScoreKind::pearson;
  int method = 2;            // sampling method of the grid and the refinement
  bool final_full = false;   // one more evaluation of the best point with method 0
  int threads = 1;           // threads of each process
  int max_evaluations = 60;  // of the refinement
  double tolerance = 0.01;   // refinement stops at this fraction of each step
};

// One evaluated point: the values used (float precision), the wavelength
// they make (Å), the method, the scores and the seconds it took.
struct EvaluatedPoint {
  Stage stage = Stage::grid;
  int method = 2;
  FitValues values{};
  float wavelength = 0;
  float r = -1;
  double pearson = -1;
  double seconds = 0;
  double score(ScoreKind k) const { return k == ScoreKind::pearson ? pearson : double(r); }
};

struct FitResult {
  std::vector<EvaluatedPoint> points;  // every evaluation, in order
  std::size_t best = 0;                // index of the best fit in points
};

// Progress of a fit (called on every rank; rank 0 shows it): `done` of
// `planned` evaluations of the current stage (planned 0: not known ahead).
using FitProgress =
    std::function<void(Stage stage, int done, int planned, const EvaluatedPoint* best_so_far)>;

// Runs the fit of `in` (as read, with `beams`) to the experimental grey levels `grey`. The grid is
// the product of the ranges; with the thickness among them it is computed
// as one thickness series per combination of the others. The refinement
// starts from the best grid point: golden section over step either side of it for
// one parameter, Nelder–Mead with initial steps of half a grid step for several.
// The best point is the best of grid and refinement; it is evaluated once
// more as a single pattern (stage final) with method 0 when final_full, or
// with the method when it came from a thickness series.
FitResult run_fit(const FitOptions& options, const SimulationInput& in, const BeamList& beams,
                  const std::vector<float>& grey, TaskDistribution& distribution,
                  const FitProgress& progress = {});

// The CSV of every point: a header line, then one line per point.
std::string points_csv(const FitResult& result);

// The lines of `original` (the input file's text) with the values of `best`
// written on the value lines of the varied parameters, and the image folder
// set to "." (the fit's output folder holds a copy of the image).
std::string best_fit_input(const std::string& original, const FitOptions& options,
                           const EvaluatedPoint& best);

}  // namespace velmorant::fit
