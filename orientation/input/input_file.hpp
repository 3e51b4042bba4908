// Reading the .tv2 input file: defaults, header keyword blocks, patterns.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once
#include <iosfwd>
#include <string>

#include "common/free_form_reader.hpp"
#include "orientation/input/orientation_problem.hpp"

namespace talvor {

// Cubic crystal with unit basis, families {111} {002} {022} {113}, the 24
// rotations of the cube, strategy 3, p1 = 2.0 and p2 = 3.5 degrees, print
// flag 0, patterns to end of file.
void SetDefaults(OrientationProblem& problem);

// The 24 proper rotations of the cube in their fixed order (identity first).
void CubicRotations(Mat3 (&rotations)[kMaxSymmetryOps]);

// Reads the header up to and including the line _PatternData, filling
// `problem` and echoing each block on `console`. `file_name` (already
// stripped of blanks) names the file in messages. Stops the run on errors.
void ReadHeader(common::FreeFormReader& reader, const std::string& file_name,
                OrientationProblem& problem, std::ostream& console);

enum class PatternStatus {
  read = 0,    // a pattern is in `pattern`
  no_more = 1  // end of file (or unreadable title or count line)
};

// Reads the next pattern (title line, count n, n vectors) and normalises
// its vectors. `pattern_number` (1-based) and `file_name` name it in
// messages. Stops the run on a bad count or vector.
PatternStatus ReadPattern(common::FreeFormReader& reader, int pattern_number,
                          const std::string& file_name, ScatteringPattern& pattern);

// The same, keeping the title line as it stands (without its line end) in
// `title`; its capacity is reused, so a loop over patterns allocates only
// for a title longer than any before it.
PatternStatus ReadPattern(common::FreeFormReader& reader, int pattern_number,
                          const std::string& file_name, ScatteringPattern& pattern,
                          std::string& title);

}  // namespace talvor
