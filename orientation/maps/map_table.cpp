// The orientation map as a CSV table for analysis tools (one row per pattern, Bunge angles in degrees).
// SPDX-License-Identifier: BSD-3-Clause
#include "orientation/maps/map_table.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "orientation/errors/report_fatal_error.hpp"
#include "orientation/geometry/crystal_geometry.hpp"
#include "orientation/report/results_file.hpp"
#include "orientation/solutions/euler_angles.hpp"
#include "common/angles.hpp"

namespace talvor {

const char* const kMapTableHeader = "pattern,x,y,phi1,Phi,phi2,used,all,fit,solved,title";

std::string MapTableName(const std::string& input_name) {
  std::string name;
  if (input_name.size() >= 4) name.assign(input_name.begin(), input_name.end() - 4);
  name.append("_tv2.csv");
  return name;
}

std::string MapTableRow(int pattern_number, const std::string& title, const MapPosition& position,
                        const ScatteringPattern& pattern, const SolutionStore& store,
                        const OrientationProblem& problem) {
  const int n = pattern.vectorCount;
  float angles[3] = {-1.0f, -1.0f, -1.0f};
  int used = 0;
  float fit = 999.999f;
  if (store.count > 0) {
    const Solution& s = store.entries[0];
    const EulerAngles e = EulerFromMatrix(ReduceToFundamental(s.orientation, problem));
    angles[0] = common::degrees(e.phi1);
    angles[1] = common::degrees(e.Phi);
    angles[2] = common::degrees(e.phi2);
    used = UsedVectorCount(s.fit, n);
    fit = MeanFitDegrees(s.fit, n, used);
  }
  char numbers[200];
  char xy[32] = ",";
  if (position.known) std::snprintf(xy, sizeof xy, "%d,%d", position.x, position.y);
  std::snprintf(numbers, sizeof numbers, "%d,%s,%.4f,%.4f,%.4f,%d,%d,%.4f,%d,", pattern_number, xy,
                static_cast<double>(angles[0]), static_cast<double>(angles[1]),
                static_cast<double>(angles[2]), used, n, static_cast<double>(fit),
                store.count > 0 ? 1 : 0);
  std::string row = numbers;
  row += '"';
  for (char c : title) {
    if (c == '"') row += '"';
    row += c;
  }
  row += '"';
  return row;
}

MapTableFile::MapTableFile(const std::filesystem::path& path, const std::string& name,
                           const std::string& provenance)
    : name_(name) {
  std::error_code ec;
  if (!std::filesystem::is_directory(path, ec)) file_.open(path, std::ios::out | std::ios::trunc);
  if (!file_.is_open()) StopWithLine("Error: Cannot open " + name + ".");
  WriteRow("# " + provenance);
  WriteRow(kMapTableHeader);
}

void MapTableFile::WriteRow(const std::string& row) {
  errno = 0;
  file_ << row << '\n';
  if (!file_) Fail("write", errno);
  ++lines_;
}

void MapTableFile::Close() {
  errno = 0;
  file_.close();
  if (file_.fail()) Fail("close", errno);
}

void MapTableFile::Fail(const char* verb, int error_number) {
  file_.close();
  const std::string reason =
      error_number != 0 ? std::strerror(error_number) : "the system refused it";
  // Writes are buffered: the failure is known at the row that found the buffer full.
  std::string text = std::string("\n Error: Cannot ") + verb + " " + name_ + ".\n";
  text += PlaceLine(InputPlace{{name_, lines_ + 1}, 0, reason});
  text += "\n";
  throw FatalStop(text, {name_, lines_ + 1});
}

}  // namespace talvor
