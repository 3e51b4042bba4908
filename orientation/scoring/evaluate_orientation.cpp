// Trial scoring: octant-bin lookup of rotated vectors, least-squares refinement, fit value.
// SPDX-License-Identifier: BSD-3-Clause
#include "orientation/scoring/evaluate_orientation.hpp"

#include <array>

#include "orientation/scoring/refine_rotation.hpp"

namespace talvor {

int ChooseOctantBin(const Vec3& c) {
  const float x = c[0], y = c[1], z = c[2];
  const float sums[kOctantBinCount] = {x + y + z,  x + y - z,  x - y + z,  -x + y + z,
                                       -x - y - z, -x - y + z, -x + y - z, x - y - z};
  int bin = 0;
  for (int k = 1; k < kOctantBinCount; ++k)
    if (sums[k] > sums[bin]) bin = k;
  return bin;
}

void EvaluateOrientation(const Mat3& g, const ScatteringPattern& pattern,
                         const OrientationProblem& problem, const Catalogue& catalogue,
                         int& bestMatchCount, SolutionStore& store) {
  // Matched pairs of this trial: measured vector (sample frame) and the
  // plane direction that explains it (crystal frame).
  std::array<const Vec3*, kMaxVectors> measured;
  std::array<const Vec3*, kMaxVectors> explaining;
  int m = 0;

  const int n = pattern.vectorCount;
  for (int i = 0; i < n; ++i) {
    const Vec3& s = pattern.vectors[i];
    const Vec3 c = Apply(g, s);
    const int bin = ChooseOctantBin(c);
    const auto& entries = catalogue.bins[bin];
    const int count = catalogue.binCount[bin];
    for (int e = 0; e < count; ++e) {
      if (dot(c, entries[e]) > problem.cosP2) {
        measured[m] = &s;
        explaining[m] = &entries[e];
        ++m;
        break;
      }
    }
  }

  if (m < bestMatchCount) return;
  bestMatchCount = m;

  // Correlation matrix H(r, q) = sum_k y_k(r) x_k(q).
  Mat3 H;
  for (int k = 0; k < m; ++k) {
    const Vec3& x = *measured[k];
    const Vec3& y = *explaining[k];
    for (int r = 1; r <= 3; ++r)
      for (int q = 1; q <= 3; ++q) H(r, q) += y[r - 1] * x[q - 1];
  }
  const Mat3 R = RefineRotation(H);

  float sum = 0.0f;
  for (int k = 0; k < m; ++k) sum += dot(Apply(R, *measured[k]), *explaining[k]);
  const float fit = static_cast<float>(n) - sum;
  OfferSolution(store, R, fit, problem);
}

}  // namespace talvor
