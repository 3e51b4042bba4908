// Dot and cross products of three-component vectors (std::array<T, 3>), in the one term order of the suite.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <array>

namespace common {

// a0 b0 + a1 b1 + a2 b2, added left to right.
template <class T>
constexpr T dot(const std::array<T, 3>& a, const std::array<T, 3>& b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// a x b, each component as (first product) - (second product).
template <class T>
constexpr std::array<T, 3> cross(const std::array<T, 3>& a, const std::array<T, 3>& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

}  // namespace common
