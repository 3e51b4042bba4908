// The records Talvor2 reads: OrientationProblem (crystal and run) and ScatteringPattern.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "orientation/geometry/vec3.hpp"

namespace talvor {

constexpr int kMaxFamilies = 128;    // families of reflecting planes
constexpr int kMaxSymmetryOps = 24;  // symmetry operations
constexpr int kMinVectors = 3;       // measured vectors per pattern
constexpr int kMaxVectors = 32;
constexpr int kMaxPairEntries = 10000;             // entries of the interplanar-angle table
constexpr std::int32_t kAllPatterns = 2147483647;  // default pattern count: to end of file

// The four ways of indexing a pattern; each value is the number that
// selects it in the input file.
enum class IndexingStrategy : std::int32_t {
  angleVoting = 1,        // families chosen by votes of interplanar angles
  exhaustive = 2,         // every pair of vectors against every table entry
  orientationVoting = 3,  // families chosen by votes of trial orientations
  tripletVoting = 4,      // families chosen by votes of consistent triplets
};

// The strategy a number 1..4 selects; false (and `strategy` untouched) for any other.
constexpr bool StrategyFromNumber(std::int32_t number, IndexingStrategy& strategy) {
  if (number < 1 || number > 4) return false;
  strategy = static_cast<IndexingStrategy>(number);
  return true;
}

struct MillerIndices {
  std::int32_t h = 0, k = 0, l = 0;
};

// Crystal description and run parameters, filled by SetDefaults and
// ReadHeader, read-only afterwards. Tables are used from index 0 up to
// their count.
struct OrientationProblem {
  Mat3 basis;           // row r: Cartesian components of basis vector r
  int familyCount = 0;  // nfam, 1..kMaxFamilies
  std::array<MillerIndices, kMaxFamilies> families{};  // (h k l) of each family, input order
  int symmetryCount = 0;                               // nsym, 1..kMaxSymmetryOps
  std::array<Mat3, kMaxSymmetryOps> symmetry{};        // act on crystal-frame vectors from the left
  IndexingStrategy strategy = IndexingStrategy::orientationVoting;
  float p1 = 0;                   // radians: tolerance of measured interplanar angles
  float p2 = 0;                   // radians: tolerance of explained vectors
  float cosP2 = 1;                // cos(p2)
  std::int32_t patternCount = 0;  // patterns to read, at least 1
  std::int32_t printFlag = 0;     // nonzero: wait for Enter at the end

  // Where the crystal was described, for messages about it: the input
  // file, the line of _LatticeBasis and the line of each family's indices
  // (0 where the default is in force).
  std::string sourceFile;
  int basisLine = 0;
  std::array<int, kMaxFamilies> familyLine{};
};

// The current pattern: vectorCount unit scattering vectors in the sample
// frame. Slots beyond vectorCount keep what earlier patterns left there.
struct ScatteringPattern {
  int vectorCount = 0;                      // n, kMinVectors..kMaxVectors
  std::array<Vec3, kMaxVectors> vectors{};  // vectors[v]: unit vector v+1
};

}  // namespace talvor
