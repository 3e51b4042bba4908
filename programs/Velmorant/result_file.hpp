// "VelmorantDS.res": the one-line outcome of a run for a calling program.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <array>
#include <string>

namespace velmorant {

inline constexpr const char* kResultFileName = "VelmorantDS.res";

// The line of a run that has started and has no result yet (or never will:
// the user ended it, or it stopped on an error).
inline constexpr const char* kRunWithoutResult = "  -101";

// " E0 E1 E2": the run-time estimates of methods 0, 1, 2 in seconds, each
// real as free-form output writes it (a blank, then the shortest text that
// reads back to the same single-precision value).
std::string estimates_line(const std::array<float, 3>& seconds);

// " r": the correlation coefficient (between -1 and 1, or 2.0).
std::string correlation_line(float r);

// Replaces "VelmorantDS.res" in the working directory with `line` and a line
// end, as a whole (temporary file and rename). Throws FileError.
void write_result_file(const std::string& line);

}  // namespace velmorant
