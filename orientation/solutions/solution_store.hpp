// The orientation kept for the current pattern: SolutionStore and OfferSolution.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once
#include <array>

#include "orientation/geometry/vec3.hpp"
#include "orientation/input/orientation_problem.hpp"

namespace talvor {

// The store keeps one orientation per pattern.
constexpr int kSolutionCapacity = 1;
// Offers closer than this to a stored orientation (after symmetry) replace
// it rather than compete with it: 2.5 degrees in radians.
constexpr float kMergeRadius = 0.04363323f;

struct Solution {
  Mat3 orientation;  // g: sample-frame vector -> crystal-frame vector
  float fit = 0;     // F = n - sum of cosines of the explained deviations; smaller is better
};

// Emptied (count = 0) before each pattern, filled by the scoring, read by
// the results writer. entries[0..count-1] are sorted by fit ascending.
struct SolutionStore {
  std::array<Solution, kSolutionCapacity> entries{};
  int count = 0;  // 0 or 1
};

// Keeps (R, fit) if it is better than what the store holds. An offer within
// kMergeRadius of a stored entry (under the symmetry of `problem`) replaces
// that entry only when its fit is strictly lower; otherwise it replaces the
// worst entry. Equal fits keep the earlier offer.
void OfferSolution(SolutionStore& store, const Mat3& R, float fit,
                   const OrientationProblem& problem);

}  // namespace talvor
