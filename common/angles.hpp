// Degrees and radians: the one conversion of the suite, in single and double precision.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <numbers>

#include "common/physical_constants.hpp"

namespace common {

// pi in double precision (kPi in physical_constants.hpp is its float).
inline constexpr double kPiDouble = std::numbers::pi;

// The single-precision forms multiply first and divide second, x * pi / 180: that is the order
// the programs' results were computed in (x * (pi / 180) rounds differently in float).
constexpr float radians(float degrees) { return degrees * kPi / 180.0f; }
constexpr float degrees(float radians) { return radians * 180.0f / kPi; }
constexpr double radians(double degrees) { return degrees * kPiDouble / 180.0; }
constexpr double degrees(double radians) { return radians * 180.0 / kPiDouble; }

}  // namespace common
