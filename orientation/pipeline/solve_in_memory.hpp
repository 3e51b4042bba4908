// Indexing patterns held in memory (arrays from another program): checks like the .tv2 reader's, the solving, the numbers of a results line.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "orientation/catalogue/catalogue.hpp"
#include "orientation/input/orientation_problem.hpp"
#include "orientation/solutions/solution_store.hpp"

namespace talvor {

// Refuses, as the .tv2 reader does (FatalStop with the same error message),
// a family count outside 1..kMaxFamilies, a symmetry count outside 1..24 and
// a strategy parameter outside 0.1..10 degrees; `source` names where the
// values came from. Sets p1, p2 (radians, converted as the reader converts
// them) and cosP2. The basis and the families are
// checked when the catalogue is built (BuildCatalogue).
void CheckProblem(OrientationProblem& problem, float p1_degrees, float p2_degrees,
                  const std::string& source);

// Pattern `pattern_number` (1-based) from n vectors x y z (sample frame, any
// length): kMinVectors..kMaxVectors of them, each normalised as the reader
// normalises; a count out of range or a vector of zero length (or not
// finite) stops with the reader's message, naming `source` and the pattern.
void SetPatternVectors(ScatteringPattern& pattern, const float* xyz, int n, int pattern_number,
                       const std::string& source);

// Solves every pattern with problem.strategy into stores[k], exactly as
// Talvor2 solves them, on `threads` threads (1: the calling thread).
void SolvePatterns(const OrientationProblem& problem, const Catalogue& catalogue,
                   const std::vector<ScatteringPattern>& patterns,
                   std::vector<SolutionStore>& stores, int threads);

}  // namespace talvor
