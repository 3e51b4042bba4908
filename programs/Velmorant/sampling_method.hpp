// The sampling method named by the first command-line argument.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <optional>

#include "simulator/engine/pattern_computation.hpp"

namespace velmorant {

// Width to which the argument is cut or padded with blanks before it is compared.
inline constexpr int kArgumentWidth = 16;

// full, adaptive or block when the argument, cut to 16 characters and padded
// with blanks, equals "0", "1" or "2" padded the same way; nothing otherwise (a missing
// argument, "12", "-1", "1.0", ...): the run only measures the speed and
// writes the three run-time estimates. `argument` may be null (no argument).
std::optional<SamplingMethod> sampling_method(const char* argument);

}  // namespace velmorant
