// The results file (header and one line per pattern) and the console progress and run report.
// SPDX-License-Identifier: BSD-3-Clause
#include "orientation/report/results_file.hpp"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <ostream>

#include "common/fixed_format.hpp"
#include "orientation/errors/report_fatal_error.hpp"
#include "orientation/geometry/crystal_geometry.hpp"
#include "orientation/solutions/euler_angles.hpp"
#include "common/angles.hpp"

namespace talvor {

namespace {
constexpr float kNoSolutionAngle = -1.0f;
constexpr float kNoSolutionFit = 999.999f;
constexpr float kFitRoundUp = 5e-6f;  // lifts F just below an integer to that integer

}  // namespace

std::string ResultsFileName(const std::string& input_name) {
  std::string name;
  if (input_name.size() >= 4) name.assign(input_name.begin(), input_name.end() - 4);
  name.append("_tv2.res");
  return name;
}

ResultsFile::ResultsFile(const std::filesystem::path& path, const std::string& results_name,
                         const std::string& input_name)
    : path_(path), name_(results_name) {
  std::error_code ec;
  if (!std::filesystem::is_directory(path, ec)) file_.open(path, std::ios::out | std::ios::trunc);
  if (!file_.is_open()) StopWithLine("Error: Cannot open " + results_name + ".");
  const std::string equals(55, '='), dashes(55, '-');
  WriteLine(' ' + equals);
  WriteLine(' ' + dashes);
  WriteLine(" ");  // every header line, the empty ones too, starts with the blank
  WriteLine(" Talvor2 : Solutions for " + input_name);
  WriteLine(" ");
  WriteLine(' ' + dashes);
  WriteLine("         no      ph1_1     Phi   phi_2  used/all     fit");
  WriteLine(' ' + dashes);
}

void ResultsFile::WriteLine(const std::string& line) {
  errno = 0;
  file_ << line << '\n';
  file_.flush();  // one line at a time, so that a failure is known at its line
  if (!file_) Fail("write", errno, lines_ + 1);
  ++lines_;
  bytes_ += line.size() + 1;
}

void ResultsFile::Close() {
  errno = 0;
  file_.close();
  if (file_.fail()) Fail("close", errno, 0);
}

void ResultsFile::Fail(const char* verb, int error_number, int line) {
  file_.close();
  // Cut off a line that reached the disk only in part.
  std::error_code ec;
  if (std::filesystem::is_regular_file(path_, ec) && std::filesystem::file_size(path_, ec) > bytes_)
    std::filesystem::resize_file(path_, bytes_, ec);
  const std::string reason =
      error_number != 0 ? std::strerror(error_number) : "the system refused it";
  std::string text = std::string("\n Error: Cannot ") + verb + " " + name_ + ".\n";
  const std::string kept = line > 0
                               ? "; the " + std::to_string(lines_) + " lines before it are complete"
                               : "; it holds " + std::to_string(lines_) + " complete lines";
  text += PlaceLine(InputPlace{{name_, line}, 0, reason + kept});
  text += "\n";
  throw FatalStop(text, {name_, line});
}

int UsedVectorCount(float fit, int n) {
  const float lifted = fit + kFitRoundUp;
  int unexplained;
  if (!(lifted < static_cast<float>(n)))  // also a NaN fit: nothing is trusted
    unexplained = n;
  else if (lifted < 0.0f)
    unexplained = 0;
  else
    unexplained = static_cast<int>(lifted);  // truncation toward zero
  return n - unexplained;
}

float MeanFitDegrees(float fit, int n, int used) {
  float quotient = -1.0f;
  if (used > 0) quotient = (static_cast<float>(n) - fit) / static_cast<float>(used);
  return common::degrees(AngleFromCosine(quotient));
}

SolutionValues SolutionValuesOf(const ScatteringPattern& pattern, const SolutionStore& store,
                                const OrientationProblem& problem) {
  const int n = pattern.vectorCount;
  SolutionValues v;
  v.all = n;
  if (store.count > 0) {
    const Solution& s = store.entries[0];
    EulerAngles e = EulerFromMatrix(ReduceToFundamental(s.orientation, problem));
    v.phi1 = common::degrees(e.phi1);
    v.Phi = common::degrees(e.Phi);
    v.phi2 = common::degrees(e.phi2);
    v.used = UsedVectorCount(s.fit, n);
    v.fit = MeanFitDegrees(s.fit, n, v.used);
    v.solved = true;
  }
  return v;
}

std::string SolutionLine(int pattern_number, const ScatteringPattern& pattern,
                         const SolutionStore& store, const OrientationProblem& problem) {
  const SolutionValues v = SolutionValuesOf(pattern, store, problem);
  const float phi1 = v.phi1, Phi = v.Phi, phi2 = v.phi2, fit = v.fit;
  const int used = v.used, n = v.all;
  std::string line(1, ' ');
  line += common::format_int(pattern_number, 10);
  line += "   ";
  line += common::format_fixed(phi1, 8, 2);
  line += common::format_fixed(Phi, 8, 2);
  line += common::format_fixed(phi2, 8, 2);
  line += "  ";
  line += common::format_int(used, 4);
  line += ' ';
  line += common::format_int(n, 3);
  line += common::format_fixed(fit, 8, 3);
  return line;
}

void WriteSolutionLine(ResultsFile& file, int pattern_number, const ScatteringPattern& pattern,
                       const SolutionStore& store, const OrientationProblem& problem) {
  file.WriteLine(SolutionLine(pattern_number, pattern, store, problem));
}

void WriteProgress(std::ostream& console, int pattern_number, int pattern_count) {
  console << '\r' << std::string(12, ' ') << "Point nr : " << common::format_int(pattern_number, 10)
          << " -->" << common::format_int(pattern_count, 10) << std::flush;
}

void WriteRunReport(std::ostream& console, float cpu_seconds, const std::string& results_name) {
  console << '\r' << std::string(60, ' ');
  console << '\r' << " CPU time :" << common::format_fixed(cpu_seconds, 10, 3) << " sec\n\n";
  console << " Results saved in file : " << results_name << "\n\n" << std::flush;
}

}  // namespace talvor
