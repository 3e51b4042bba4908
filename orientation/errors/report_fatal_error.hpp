// Numbered fatal errors of Talvor2 and the way a run ends on them.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once
#include <iosfwd>
#include <string>
#include <string_view>

#include "common/input_error.hpp"

namespace talvor {

// Error codes; the message of each is ErrorMessage(code).
enum ErrorCode : int {
  kCoplanarBasis = 1,      // lattice basis vectors coplanar
  kZeroMillerIndices = 2,  // a family's plane normal has zero length
  kBadLatticeBasis = 3,    // header blocks that cannot be read: 3..11
  kBadFamilyCount = 4,
  kBadFamilies = 5,
  kBadSymmetryCount = 6,
  kBadSymmetryOperations = 7,
  kBadStrategy = 8,
  kBadParameters = 9,
  kBadPatternCount = 10,
  kBadPrintFlag = 11,
  kStrategyOutOfRange = 12,
  kP1OutOfRange = 13,
  kP2OutOfRange = 14,
  kPatternCountTooSmall = 15,
  kTooFewVectors = 16,
  kTooManyVectors = 17,
  kBadVector = 18,
  kFamilyCountTooSmall = 19,
  kSymmetryCountOutOfRange = 20,  // the table holds 1..24 operations
  kZeroLengthVector = 21,         // a measured vector cannot be normalised
};
constexpr int kErrorCodeCount = 21;

// Message of a code (1..kErrorCodeCount), without the leading "Error: ".
std::string_view ErrorMessage(int code);

// Thrown to end a run: what() is what the console shows (whole lines)
// before the pause, where() the place in the input it names (if any). The
// main flow catches it, prints it, pauses and ends with a non-zero status.
// Files already written stay as they are.
class FatalStop : public common::InputError {
public:
  using common::InputError::InputError;
};

// Where an error was found: the input file and line, and for an error
// inside a pattern, the pattern's number. `what` says what was found there.
struct InputPlace {
  common::FilePosition position;
  int pattern = 0;   // 1-based; 0 outside the patterns
  std::string what;  // e.g. "found 5" or "\"x\" is not a real number"; may be empty
};

// The line that names an InputPlace under a message:
// " <file>, line <n>, pattern <p>: <what>." (parts that are not known are left out).
std::string PlaceLine(const InputPlace& place);

// Ends the run with the message of `code`: an empty line, "Error: " and
// the message (followed by `detail` when given), the line naming `place`
// when it has a file, an empty line, the pause.
[[noreturn]] void ReportFatalError(int code, std::string_view detail = {},
                                   const InputPlace& place = {});

// Ends the run with one free-form line (" " + line), the line naming
// `place` when it has a file, then the pause.
[[noreturn]] void StopWithLine(std::string_view line, const InputPlace& place = {});

// Prints the stop's text on `out`, then pauses (reading a line from `in`).
void ShowFatalStop(const FatalStop& stop, std::istream& in, std::ostream& out);

}  // namespace talvor
