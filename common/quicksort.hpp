// The suite's one sort whose order of equal keys is fixed: Hoare's quicksort with the first key as pivot.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

namespace common {

// Sorts the elements 0 .. n-1 by ascending key(i) (a float), exchanging
// elements with swap(i, j) so that whatever goes with a key follows it.
// Hoare partition: pivot x = the first key; j moves down while key > x, i up
// while key < x; exchange while i < j; the second part starts at i + 1 if
// i = j, else at i; then both parts, the smaller by recursion and the larger
// by the loop (the parts are disjoint, so the order is that of plain
// recursion on both, with a bounded stack depth).
//
// Not std::sort or std::stable_sort: the order this gives to equal keys is
// part of the programs' output (Velmorant's beam list, Talvor2's catalogue of
// pair angles), and neither standard sort gives the same one.
template <class Key, class Swap>
void quicksort_by_key(int n, const Key& key, const Swap& swap) {
  // Sorts lo .. hi (inclusive).
  auto sort_range = [&](auto& self, int lo, int hi) -> void {
    while (hi - lo + 1 >= 2) {
      const float x = key(lo);
      int i = lo - 1, j = hi + 1;
      for (;;) {
        --j;
        while (j > lo && key(j) > x) --j;
        ++i;
        while (i < hi && key(i) < x) ++i;
        if (i < j) {
          swap(i, j);
        } else {
          break;
        }
      }
      const int q = (i == j) ? i + 1 : i;  // first element of the second part
      if (q - lo < hi - q + 1) {
        self(self, lo, q - 1);
        lo = q;
      } else {
        self(self, q, hi);
        hi = q - 1;
      }
    }
  };
  sort_range(sort_range, 0, n - 1);
}

}  // namespace common
