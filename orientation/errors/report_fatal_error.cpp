// Message table of the fatal errors and the reporter that ends a run.
// SPDX-License-Identifier: BSD-3-Clause
#include "orientation/errors/report_fatal_error.hpp"

#include <array>
#include <ostream>

#include "common/console_pause.hpp"
#include "common/fixed_format.hpp"

namespace talvor {

namespace {

// Built once; entry 17 carries the vector limit in three columns.
const std::array<std::string, kErrorCodeCount + 1>& MessageTable() {
  static const std::array<std::string, kErrorCodeCount + 1> table = {
      "",
      "Vectors of the crystal basis are coplanar.",
      "One of the reflections has Miller indices (0 0 0).",
      "Error reading _LatticeBasis",
      "Error reading _NumberOfFamiliesOfReflectingPlanes",
      "Error reading _FamiliesOfReflectingPlanes",
      "Error reading _NumberOfSymmetryOperations",
      "Error reading _SymmetryOperations",
      "Error reading _IndexingStrategy",
      "Error reading _ParametersOfStrategy",
      "Error reading _NumberOfPatterns",
      "Error reading _PrintComputationTime",
      "_IndexingStrategy must be 1, 2, 3 or 4",
      "Parameter p_1 must be in the range [0.1,10.0]deg",
      "Parameter p_2 must be in the range [0.1,10.0]deg",
      "_NumberOfPatterns must be larger than 0",
      "Number of scattering vectors cannot be smaller than 3",
      "Number of scattering vectors cannot exceed" + common::format_int(32, 3),
      "Error reading _PatternData",
      "_NumberOfFamiliesOfReflectingPlanes cannot be smaller than 1",
      "_NumberOfSymmetryOperations must be in the range [1,24]",
      "A scattering vector has zero length",
  };
  return table;
}

}  // namespace

std::string_view ErrorMessage(int code) {
  if (code < 1 || code > kErrorCodeCount) return "Unknown error";
  return MessageTable()[code];
}

std::string PlaceLine(const InputPlace& place) {
  std::string line(1, ' ');
  line += common::format_position(place.position);
  if (place.pattern > 0) line += ", pattern " + std::to_string(place.pattern);
  if (!place.what.empty()) line += ": " + place.what;
  return line + ".\n";
}

void ReportFatalError(int code, std::string_view detail, const InputPlace& place) {
  std::string text = "\n Error: ";
  text += ErrorMessage(code);
  text += detail;
  text += "\n";
  if (!place.position.file.empty()) text += PlaceLine(place);
  text += "\n";
  throw FatalStop(text, place.position);
}

void StopWithLine(std::string_view line, const InputPlace& place) {
  std::string text = " ";
  text += line;
  text += "\n";
  if (!place.position.file.empty()) text += PlaceLine(place);
  throw FatalStop(text, place.position);
}

void ShowFatalStop(const FatalStop& stop, std::istream& in, std::ostream& out) {
  common::print_error(out, stop);
  common::console_pause(in, out);
}

}  // namespace talvor
