// The results file (header and one line per pattern) and the console progress and run report.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iosfwd>
#include <string>

#include "orientation/input/orientation_problem.hpp"
#include "orientation/solutions/solution_store.hpp"

namespace talvor {

// "run1.tv2" -> "run1_tv2.res": the name without its last four characters,
// then "_tv2.res". `input_name` is stripped of blanks and ends in ".tv2".
std::string ResultsFileName(const std::string& input_name);

// The results file while a run writes it. Each line goes to the file as it
// is written and is checked, and so is the close: a run on a full disk (or
// a file size limit) stops with a message naming the file and the line
// that could not be written, and the file is cut back to its last complete
// line, so that what it holds is exactly the lines before that one.
class ResultsFile {
public:
  // Creates or overwrites `path` and writes the eight header lines naming
  // `input_name`. Stops the run with "Error: Cannot open <results_name>."
  // when the file cannot be created; nothing is written then.
  ResultsFile(const std::filesystem::path& path, const std::string& results_name,
              const std::string& input_name);

  // Appends `line` and a line end. Stops the run if it cannot be written.
  void WriteLine(const std::string& line);

  // Closes the file. Stops the run if the close fails.
  void Close();

  int lines() const { return lines_; }  // complete lines in the file

private:
  [[noreturn]] void Fail(const char* verb, int error_number, int line);  // line 0: the close

  std::ofstream file_;
  std::filesystem::path path_;
  std::string name_;
  int lines_ = 0;
  std::uintmax_t bytes_ = 0;  // size of the complete lines
};

// The numbers of one results line: the Bunge angles (degrees) of the stored
// orientation reduced by symmetry, the vectors used out of all, the mean
// angular fit (degrees); -1 three times, 0 used and 999.999 when the store
// is empty.
struct SolutionValues {
  float phi1 = -1.0f, Phi = -1.0f, phi2 = -1.0f;  // degrees
  int used = 0;
  int all = 0;
  float fit = 999.999f;  // degrees
  bool solved = false;
};
SolutionValues SolutionValuesOf(const ScatteringPattern& pattern, const SolutionStore& store,
                                const OrientationProblem& problem);

// The 56-column line of one pattern: number, Bunge angles (degrees) of the
// stored orientation reduced by symmetry, vectors used out of n, mean
// angular fit (degrees); or the no-solution line when the store is empty.
std::string SolutionLine(int pattern_number, const ScatteringPattern& pattern,
                         const SolutionStore& store, const OrientationProblem& problem);

// Appends SolutionLine to the results file.
void WriteSolutionLine(ResultsFile& file, int pattern_number, const ScatteringPattern& pattern,
                       const SolutionStore& store, const OrientationProblem& problem);

// Used vectors derived from the fit F of n vectors: n minus the integer
// part of F + 5e-6 (never below 0).
int UsedVectorCount(float fit, int n);

// Mean angular deviation in degrees of the used vectors: the arc cosine of
// (n - F) / used, 180 when no vector is used.
float MeanFitDegrees(float fit, int n, int used);

// Console lines with line control: a carriage return starts each, so the
// next one overwrites it.
void WriteProgress(std::ostream& console, int pattern_number, int pattern_count);

// Wipes the progress line, prints the processor time in its place and an
// empty line, then the results file name and an empty line.
void WriteRunReport(std::ostream& console, float cpu_seconds, const std::string& results_name);

}  // namespace talvor
