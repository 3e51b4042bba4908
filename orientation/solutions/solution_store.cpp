// Keeping the best-fitting orientation of a pattern.
// SPDX-License-Identifier: BSD-3-Clause
#include "orientation/solutions/solution_store.hpp"

#include <utility>

#include "orientation/geometry/rotation.hpp"

namespace talvor {

namespace {

// Exchange sort by fit ascending; equal fits keep their order.
void SortByFit(SolutionStore& store) {
  for (int pass = 0; pass + 1 < store.count; ++pass)
    for (int i = 0; i + 1 < store.count - pass; ++i)
      if (store.entries[i + 1].fit < store.entries[i].fit)
        std::swap(store.entries[i], store.entries[i + 1]);
}

}  // namespace

void OfferSolution(SolutionStore& store, const Mat3& R, float fit,
                   const OrientationProblem& problem) {
  if (store.count == 0) {
    store.entries[0] = {R, fit};
    store.count = 1;
    SortByFit(store);
    return;
  }
  Solution& worst = store.entries[store.count - 1];
  if (!(fit < worst.fit)) return;

  for (int i = 0; i < store.count; ++i) {
    Solution& entry = store.entries[i];
    const float angle = SymmetricMisorientation(R, entry.orientation, problem.symmetry.data(),
                                                problem.symmetryCount);
    if (angle < kMergeRadius) {
      if (fit < entry.fit) entry = {R, fit};
      SortByFit(store);
      return;
    }
  }
  worst = {R, fit};
  SortByFit(store);
}

}  // namespace talvor
