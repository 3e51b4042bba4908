// The orientation map as a CSV table for analysis tools (one row per pattern, Bunge angles in degrees).
// SPDX-License-Identifier: BSD-3-Clause
#pragma once
#include <filesystem>
#include <fstream>
#include <string>

#include "orientation/input/orientation_problem.hpp"
#include "orientation/maps/map_position.hpp"
#include "orientation/solutions/solution_store.hpp"

namespace talvor {

// "run1.tv2" -> "run1_tv2.csv", beside the results file "run1_tv2.res".
std::string MapTableName(const std::string& input_name);

// The first line of the table: the column names.
extern const char* const kMapTableHeader;

// One row: pattern number, x, y (empty without a position), the Bunge
// angles phi1, Phi, phi2 in degrees of the orientation reduced by symmetry
// (the results line's numbers with four decimals), used, all, fit
// (degrees), solved (1 or 0), and the title in double quotes (a quote
// inside doubled). An unsolved pattern has -1 for the angles, used 0 and
// fit 999.999, as in the results file.
std::string MapTableRow(int pattern_number, const std::string& title, const MapPosition& position,
                        const ScatteringPattern& pattern, const SolutionStore& store,
                        const OrientationProblem& problem);

// The table file while a run writes it: created with a comment line
// "# <provenance>" (what made it: common::provenance; read with
// comment='#' in pandas, CommentStyle '#' in MATLAB) and the header line,
// then one row per pattern, every write checked. A failure stops the run
// naming the file and the line.
class MapTableFile {
public:
  MapTableFile(const std::filesystem::path& path, const std::string& name,
               const std::string& provenance);
  void WriteRow(const std::string& row);
  void Close();

private:
  [[noreturn]] void Fail(const char* verb, int error_number);

  std::ofstream file_;
  std::string name_;
  int lines_ = 0;
};

}  // namespace talvor
