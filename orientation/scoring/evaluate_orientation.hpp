// Scoring of one trial orientation: explained vectors, refinement, fit, offer to the store.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once
#include "orientation/catalogue/catalogue.hpp"
#include "orientation/input/orientation_problem.hpp"
#include "orientation/solutions/solution_store.hpp"

namespace talvor {

// Octant bin (0..7) for a crystal-frame direction c = (x, y, z): the largest
// of x+y+z, x+y-z, x-y+z, -x+y+z, -x-y-z, -x-y+z, -x+y-z, x-y-z in this
// order (the bin axes of kOctantAxes); ties go to the lower bin.
int ChooseOctantBin(const Vec3& c);

// Scores the trial orientation g (sample -> crystal) against `pattern`.
// Each measured vector s is explained by the first entry y of the octant
// bin of c = g s with c . y > cos(p2). With m vectors explained:
// m < bestMatchCount ends the evaluation; otherwise bestMatchCount = m, the
// rotation R is refined by least squares over the explained pairs, the fit
// F = n - sum_k (R x_k) . y_k is computed and (R, F) is offered to `store`.
// bestMatchCount belongs to one search and starts at 0.
void EvaluateOrientation(const Mat3& g, const ScatteringPattern& pattern,
                         const OrientationProblem& problem, const Catalogue& catalogue,
                         int& bestMatchCount, SolutionStore& store);

}  // namespace talvor
