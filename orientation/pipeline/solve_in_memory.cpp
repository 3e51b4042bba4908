// Indexing patterns held in memory (arrays from another program): checks like the .tv2 reader's, the solving, the numbers of a results line.
// SPDX-License-Identifier: BSD-3-Clause
#include "orientation/pipeline/solve_in_memory.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <memory>
#include <thread>

#include "orientation/errors/report_fatal_error.hpp"
#include "orientation/geometry/crystal_geometry.hpp"
#include "orientation/strategies/strategies.hpp"
#include "common/angles.hpp"

namespace talvor {

namespace {

constexpr float kMinParameterDeg = 0.1f;  // the .tv2 reader's range of p1 and p2
constexpr float kMaxParameterDeg = 10.0f;

InputPlace Named(const std::string& source, const std::string& what, int pattern = 0) {
  return InputPlace{{source, 0}, pattern, what};
}

}  // namespace

void CheckProblem(OrientationProblem& problem, float p1_degrees, float p2_degrees,
                  const std::string& source) {
  if (problem.familyCount < 1 || problem.familyCount > kMaxFamilies)
    ReportFatalError(
        kFamilyCountTooSmall, {},
        Named(source, "found " + std::to_string(problem.familyCount) + " families, 1 to " +
                          std::to_string(kMaxFamilies) + " are possible"));
  if (problem.symmetryCount < 1 || problem.symmetryCount > kMaxSymmetryOps)
    ReportFatalError(kSymmetryCountOutOfRange, {},
                     Named(source, "found " + std::to_string(problem.symmetryCount)));
  // NaN fails both comparisons the other way round, so test for "inside".
  if (!(p1_degrees >= kMinParameterDeg && p1_degrees <= kMaxParameterDeg))
    ReportFatalError(kP1OutOfRange, {}, Named(source, "found " + std::to_string(p1_degrees)));
  if (!(p2_degrees >= kMinParameterDeg && p2_degrees <= kMaxParameterDeg))
    ReportFatalError(kP2OutOfRange, {}, Named(source, "found " + std::to_string(p2_degrees)));
  problem.p1 = common::radians(p1_degrees);
  problem.p2 = common::radians(p2_degrees);
  problem.cosP2 = std::cos(problem.p2);
}

void SetPatternVectors(ScatteringPattern& pattern, const float* xyz, int n, int pattern_number,
                       const std::string& source) {
  if (n < kMinVectors)
    ReportFatalError(kTooFewVectors, {},
                     Named(source, "found " + std::to_string(n), pattern_number));
  if (n > kMaxVectors)
    ReportFatalError(kTooManyVectors, {},
                     Named(source, "found " + std::to_string(n), pattern_number));
  for (int v = 0; v < n; ++v) {
    const Vec3 s{xyz[3 * v], xyz[3 * v + 1], xyz[3 * v + 2]};
    float length;
    if (!Normalize(s, pattern.vectors[v], length) || !std::isfinite(length))
      ReportFatalError(kZeroLengthVector,
                       ": vector " + std::to_string(v + 1) + " of pattern " +
                           std::to_string(pattern_number) + " in " + source,
                       Named(source, {}, pattern_number));
  }
  pattern.vectorCount = n;
}

void SolvePatterns(const OrientationProblem& problem, const Catalogue& catalogue,
                   const std::vector<ScatteringPattern>& patterns,
                   std::vector<SolutionStore>& stores, int threads) {
  const int count = static_cast<int>(patterns.size());
  stores.assign(patterns.size(), SolutionStore{});
  const float vote_exponent = VoteExponent(catalogue);
  std::atomic<int> next{0};
  // Each worker takes the next unsolved pattern; a pattern's result does not
  // depend on which thread solves it.
  auto work = [&] {
    auto workspace = std::make_unique<StrategyWorkspace>();
    for (int k = next++; k < count; k = next++) {
      SolutionStore& store = stores[static_cast<std::size_t>(k)];
      store.count = 0;
      const ScatteringPattern& pattern = patterns[static_cast<std::size_t>(k)];
      if (pattern.vectorCount < kMinVectors) continue;
      SearchContext ctx{problem, catalogue, pattern, vote_exponent, *workspace, store};
      RunStrategy(problem.strategy, ctx);
    }
  };
  const int helpers = std::max(0, std::min(threads, count) - 1);
  std::vector<std::thread> pool;
  pool.reserve(static_cast<std::size_t>(helpers));
  for (int t = 0; t < helpers; ++t) pool.emplace_back(work);
  work();
  for (auto& t : pool) t.join();
}

}  // namespace talvor
