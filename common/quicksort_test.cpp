// The tie-keeping quicksort: ascending keys, payloads following them, and its order of equal keys.
// SPDX-License-Identifier: BSD-3-Clause
#include "common/quicksort.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace common {
namespace {

TEST(QuicksortByKey, SortsAndKeepsItsOrderOfEqualKeys) {
  // Payloads follow their keys; equal keys come out in the order of Hoare's
  // partition around the first key (not the order of the input).
  std::vector<float> keys = {2, 1, 2, 0, 1, 2, 0};
  std::vector<int> tag = {0, 1, 2, 3, 4, 5, 6};
  auto swap = [&](int i, int j) {
    std::swap(keys[std::size_t(i)], keys[std::size_t(j)]);
    std::swap(tag[std::size_t(i)], tag[std::size_t(j)]);
  };
  quicksort_by_key(
      int(keys.size()), [&](int i) { return keys[std::size_t(i)]; }, swap);
  EXPECT_EQ(keys, (std::vector<float>{0, 0, 1, 1, 2, 2, 2}));
  EXPECT_EQ(tag, (std::vector<int>{3, 6, 4, 1, 5, 0, 2}));  // stable_sort: 3 6 1 4 0 2 5

  std::mt19937 rng(3);
  std::uniform_int_distribution<int> small(0, 20);
  for (int n : {0, 1, 2, 3, 17, 1000}) {
    std::vector<float> k(static_cast<std::size_t>(n));
    for (float& x : k) x = float(small(rng));
    std::vector<float> expected = k;
    std::sort(expected.begin(), expected.end());
    quicksort_by_key(
        n, [&](int i) { return k[std::size_t(i)]; },
        [&](int i, int j) { std::swap(k[std::size_t(i)], k[std::size_t(j)]); });
    EXPECT_EQ(k, expected) << n;
  }
}

}  // namespace
}  // namespace common
