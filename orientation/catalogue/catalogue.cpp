// Member directions, signed direction list, octant bins and the sorted interplanar-angle table.
// SPDX-License-Identifier: BSD-3-Clause
#include "orientation/catalogue/catalogue.hpp"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

#include "common/quicksort.hpp"
#include "orientation/geometry/crystal_geometry.hpp"

namespace talvor {

namespace {
constexpr float kInvSqrt3Denominator = 1.7320508f;
constexpr float kBinBaseAngle = 1.2309594f;  // arccos(1/3): half the angle of a body-diagonal cone
constexpr float kParallelCosine = 0.9998f;   // pairs closer than ~1.15 degrees are not tabulated
constexpr float kSameAngle = 0.0001f;        // radians: candidates this close are compared
constexpr float kSameOrientation = 0.001f;   // radians: symmetry-equivalent pairs

Vec3 Axis(float x, float y, float z) {
  return {x / kInvSqrt3Denominator, y / kInvSqrt3Denominator, z / kInvSqrt3Denominator};
}

Vec3 Negated(const Vec3& v) { return {-v[0], -v[1], -v[2]}; }

}  // namespace

const std::array<Vec3, kOctantBinCount> kOctantAxes = {
    Axis(1, 1, 1),    Axis(1, 1, -1),  Axis(1, -1, 1),  Axis(-1, 1, 1),
    Axis(-1, -1, -1), Axis(-1, -1, 1), Axis(-1, 1, -1), Axis(1, -1, -1)};

void BuildMemberDirections(const OrientationProblem& problem, Catalogue& cat) {
  cat.reciprocal = BuildReciprocal(
      problem.basis, InputPlace{{problem.sourceFile, problem.basisLine}, 0, "_LatticeBasis"});
  const float e = std::cos(problem.p2 / 2.0f);
  for (int f = 0; f < problem.familyCount; ++f) {
    const MillerIndices& hkl = problem.families[f];
    const InputPlace place{
        {problem.sourceFile, problem.familyLine[f]}, 0, "family " + std::to_string(f + 1)};
    Vec3 n = PlaneNormal(cat.reciprocal, hkl.h, hkl.k, hkl.l, place);
    auto& T = cat.members[f];
    int count = problem.symmetryCount;
    for (int o = 0; o < count; ++o) T[o] = Apply(problem.symmetry[o], n);
    // Directions parallel or antiparallel within p2/2 are one member; the
    // first in symmetry-operation order stays.
    for (int i = 0; i < count; ++i) {
      int j = i + 1;
      while (j < count) {
        if (std::fabs(dot(T[i], T[j])) > e) {
          for (int k = j + 1; k < count; ++k) T[k - 1] = T[k];
          --count;
        } else {
          ++j;
        }
      }
    }
    cat.memberCount[f] = count;
  }
}

void BuildOctantBins(const OrientationProblem& problem, Catalogue& cat) {
  int nl = 0;
  for (int f = 0; f < problem.familyCount; ++f)
    for (int m = 0; m < cat.memberCount[f]; ++m) {
      cat.signedDirections[nl++] = Negated(cat.members[f][m]);
      cat.signedDirections[nl++] = cat.members[f][m];
    }
  cat.signedCount = nl;
  const float bin_angle = 1.2f * AngleFromCosine(problem.cosP2) + kBinBaseAngle;
  const float threshold = std::cos(bin_angle);
  for (int k = 0; k < kOctantBinCount; ++k) {
    int count = 0;
    for (int i = 0; i < nl; ++i)
      if (dot(cat.signedDirections[i], kOctantAxes[k]) > threshold)
        cat.bins[k][count++] = cat.signedDirections[i];  // count <= nl <= kBinCapacity
    cat.binCount[k] = count;
  }
}

void BuildPairTable(const OrientationProblem& problem, Catalogue& cat) {
  // Candidates of one family pair, each with the triad of its (P, Q); the
  // swapped order (Q, P) has the same triad with w and d reversed.
  std::array<PairEntry, kMaxPairCandidates> cand;
  const Mat3 identity = Mat3::identity();
  int ntab = 0;
  bool full = false;  // the table is full: the whole build stops
  for (int f1 = 0; f1 < problem.familyCount && !full; ++f1) {
    for (int f2 = f1; f2 < problem.familyCount && !full; ++f2) {
      int nc = 0;
      for (int m1 = 0; m1 < cat.memberCount[f1]; ++m1)
        for (int s = -1; s <= 1; s += 2)
          for (int m2 = 0; m2 < cat.memberCount[f2]; ++m2) {
            Vec3 P = s < 0 ? Negated(cat.members[f1][m1]) : cat.members[f1][m1];
            const Vec3& Q = cat.members[f2][m2];
            float c = dot(P, Q);
            if (!(c <= kParallelCosine)) continue;
            PairEntry& e = cand[nc++];
            e = PairEntry{};
            e.f1 = f1;
            e.m1 = m1;
            e.sign1 = s;
            e.f2 = f2;
            e.m2 = m2;
            e.angle = AngleFromCosine(c);
            e.hasTriad = BuildTriad(P, Q, e.triad);
          }
      for (int k = 0; k < nc; ++k) {
        const PairEntry& ek = cand[k];
        bool dropped = false;
        for (int j = 0; j < k && !dropped; ++j) {
          const PairEntry& ej = cand[j];
          if (!(std::fabs(ek.angle - ej.angle) < kSameAngle)) continue;
          // G carries (P_k, Q_k) onto (P_j, Q_j); G' carries (Q_k, P_k) onto it.
          if (!ek.hasTriad || !ej.hasTriad) {
            dropped = true;
            break;
          }
          Mat3 G = OrientationFromTriads(ej.triad, ek.triad);
          if (SymmetricMisorientation(G, identity, problem.symmetry.data(), problem.symmetryCount) <
              kSameOrientation) {
            dropped = true;
            break;
          }
          Mat3 G2 = OrientationFromTriads(ej.triad, SwappedTriad(ek.triad));
          if (SymmetricMisorientation(G2, identity, problem.symmetry.data(),
                                      problem.symmetryCount) < kSameOrientation)
            dropped = true;
        }
        if (dropped) continue;
        cat.pairs[ntab++] = ek;
        if (ntab == kMaxPairEntries) {
          full = true;
          break;
        }
      }
    }
  }
  cat.pairCount = ntab;
  // The order of entries with equal angles is part of the output.
  common::quicksort_by_key(
      ntab, [&](int i) { return cat.pairs[std::size_t(i)].angle; },
      [&](int i, int j) { std::swap(cat.pairs[std::size_t(i)], cat.pairs[std::size_t(j)]); });
}

void BuildCatalogue(const OrientationProblem& problem, Catalogue& catalogue) {
  BuildMemberDirections(problem, catalogue);
  BuildOctantBins(problem, catalogue);
  BuildPairTable(problem, catalogue);
}

IndexRange PairRange(const Catalogue& cat, float angle, float p1) {
  const float low = angle - p1;
  const float high = angle + p1;
  const PairEntry* begin = cat.pairs.data();
  const PairEntry* end = begin + cat.pairCount;
  auto above = [](float value, const PairEntry& e) { return value < e.angle; };
  IndexRange r;
  r.first = static_cast<int>(std::upper_bound(begin, end, low, above) - begin);  // first T > low
  r.last =
      static_cast<int>(std::upper_bound(begin, end, high, above) - begin) - 1;  // last T <= high
  return r;
}

}  // namespace talvor
