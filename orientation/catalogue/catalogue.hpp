// Plane directions of the crystal: member directions, signed list with octant bins, pair table.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once
#include <array>

#include "orientation/geometry/rotation.hpp"
#include "orientation/input/orientation_problem.hpp"

namespace talvor {

constexpr int kMaxMembers = kMaxSymmetryOps;                          // members per family
constexpr int kMaxSignedDirections = 2 * kMaxFamilies * kMaxMembers;  // 6144
constexpr int kOctantBinCount = 8;
// A bin holds at most every signed direction, so no input can overrun it.
constexpr int kBinCapacity = kMaxSignedDirections;
constexpr int kMaxPairCandidates = 2 * kMaxMembers * kMaxMembers;  // per family pair, 1152

// Bin axes (body diagonals / sqrt 3) in bin order: (1,1,1), (1,1,-1),
// (1,-1,1), (-1,1,1), (-1,-1,-1), (-1,-1,1), (-1,1,-1), (1,-1,-1).
extern const std::array<Vec3, kOctantBinCount> kOctantAxes;

// One entry of the interplanar-angle table: the angle between the plane
// directions P = sign1 V(f1, m1) and Q = V(f2, m2), f1 <= f2. Family and
// member indices start at 0.
struct PairEntry {
  int f1 = 0;             // family of P
  int m1 = 0;             // member of P
  int sign1 = 1;          // -1: P is the opposite of member m1
  int f2 = 0;             // family of Q (member taken as is)
  int m2 = 0;             // member of Q
  float angle = 0;        // radians, [0, pi]
  bool hasTriad = false;  // false when P and Q are antiparallel: no trial can be built
  Triad triad;            // triad of (P, Q), for trial orientations
};

// Index range [first, last] of pair-table entries (0-based, inclusive);
// empty when first > last.
struct IndexRange {
  int first = 0;
  int last = -1;
  bool empty() const { return first > last; }
};

// Read-only structures derived once per run from the OrientationProblem.
// About a megabyte: allocate it once (not on the stack).
struct Catalogue {
  Mat3 reciprocal;  // R = s basis^-1 (s a power of two), column j along b_j

  // MemberDirections / MemberCount: the symmetry-distinct unit directions
  // of each family, first occurrence in symmetry-operation order kept.
  std::array<std::array<Vec3, kMaxMembers>, kMaxFamilies> members{};
  std::array<int, kMaxFamilies> memberCount{};

  // SignedDirectionList: for each family and member in order, -V then +V.
  std::array<Vec3, kMaxSignedDirections> signedDirections{};
  int signedCount = 0;  // NL

  // OctantBins: signed directions within the bin angle of each bin axis,
  // in list order.
  std::array<std::array<Vec3, kBinCapacity>, kOctantBinCount> bins{};
  std::array<int, kOctantBinCount> binCount{};

  // PairTable sorted by angle ascending; pairCount (ntab) >= 1.
  std::array<PairEntry, kMaxPairEntries> pairs{};
  int pairCount = 0;

  // Direction P (first) and Q (second) of pair-table entry t.
  Vec3 FirstDirection(const PairEntry& e) const {
    const Vec3& v = members[e.f1][e.m1];
    return e.sign1 < 0 ? Vec3{-v[0], -v[1], -v[2]} : v;
  }
  Vec3 SecondDirection(const PairEntry& e) const { return members[e.f2][e.m2]; }
};

// Reciprocal matrix and member directions (stops on a coplanar basis or a
// (0 0 0) family).
void BuildMemberDirections(const OrientationProblem& problem, Catalogue& catalogue);
// Signed direction list and the eight octant bins.
void BuildOctantBins(const OrientationProblem& problem, Catalogue& catalogue);
// Pair table of symmetry-distinct direction pairs, sorted by angle; at most
// kMaxPairEntries entries (the build stops when the table is full).
void BuildPairTable(const OrientationProblem& problem, Catalogue& catalogue);
// All three in order.
void BuildCatalogue(const OrientationProblem& problem, Catalogue& catalogue);

// Entries with angle - p1 < T <= angle + p1, by two bisections (radians).
IndexRange PairRange(const Catalogue& catalogue, float angle, float p1);

}  // namespace talvor
