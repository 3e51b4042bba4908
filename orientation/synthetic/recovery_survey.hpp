// How often an indexing strategy finds the known orientations of generated patterns.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once
#include <cstdint>
#include <string>

#include "orientation/synthetic/pattern_generator.hpp"

namespace talvor::tools {

// A found orientation counts when it lies this close to the true one after
// reduction by the crystal symmetry.
constexpr double kRecoveryToleranceDegrees = 0.5;

struct SurveyCase {
  std::string crystal = "default-cubic";  // a name CrystalByName knows
  int strategy = 3;                       // 1..4
  double spurious = 0.0;                  // share of random vectors per pattern
  int patterns = 40;
  std::uint64_t seed = 1;
};

struct SurveyOutcome {
  int patterns = 0;
  int found = 0;       // misorientation below kRecoveryToleranceDegrees
  int rightCount = 0;  // found, with the used/all count the results line derives from the fit
  // Patterns not found, by cause:
  // - ambiguous: the orientation found explains at least as many vectors as
  //   the true one, scored and refined like any trial (the tolerance p2
  //   cannot tell them apart, e.g. twin-related orientations);
  // - noTrial: the true orientation explains more, but no trial of the
  //   unrestricted search recovers it. The pair table holds one order of
  //   each symmetry-distinct direction pair and the search matches the first
  //   vector of a measured pair only to the first direction of an entry, so
  //   a pair whose true directions come in the other order gives no trial
  //   near the truth;
  // - votedOut: such trials exist, but the voting allowed the families of
  //   none of them (strategies 1, 3, 4);
  // - otherMisses: none of the above.
  int ambiguous = 0;
  int noTrial = 0;
  int votedOut = 0;
  int otherMisses = 0;
  std::string misses;  // one line per pattern not found or with a wrong count
};

// Generates the patterns, writes them as .tv2 text, reads that back the way
// the program does (header, catalogue, patterns) and runs the strategy on
// every pattern.
SurveyOutcome RunSurvey(const SurveyCase& c);

}  // namespace talvor::tools
