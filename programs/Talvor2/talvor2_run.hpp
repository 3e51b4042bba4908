// Talvor2's command line and main flow: one input file from defaults to the run report.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace talvor {

// Where a run reads and writes: file names are relative to `directory`;
// console text goes to `out`, the name prompt and the pauses read `in`;
// `cpu_seconds` reads the processor time of the process (user + system).
struct RunEnvironment {
  std::istream& in;
  std::ostream& out;
  std::filesystem::path directory = ".";
  std::function<float()> cpu_seconds;
  int threads = 0;  // threads that solve patterns; 0: SolverThreadCount()
  // --map: also the CSV table and, for patterns with positions, the picture.
  bool writeMap = false;
  // --ipf=NAME: the Laue class of the picture's colours ("" : from the symmetry operations).
  std::string ipfClass = {};
};

// Processor time used by this process so far, in seconds.
float ProcessCpuSeconds();

// Eleven empty lines, the program's name in six lines of text art, three empty lines.
void PrintBanner(std::ostream& out);

// Exit status of the program: 0 when it did what was asked (the help text
// is such a case), 1 after any error, once its message and the pause are done.
constexpr int kExitSuccess = 0;
constexpr int kExitError = 1;

// The whole program for the arguments after the program name. Returns the
// exit status.
int RunTalvor2(const std::vector<std::string>& args, RunEnvironment& env);

// Reads the named input file (blanks around the name are ignored), indexes
// every pattern and writes the results file. Errors print their message,
// pause and end the run; they are not thrown out of here. Returns the exit
// status.
int ProcessInputFile(const std::string& name, RunEnvironment& env);

}  // namespace talvor
