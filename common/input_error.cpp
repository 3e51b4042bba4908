// Naming a place in a file and showing a stop on the console.
// SPDX-License-Identifier: BSD-3-Clause
#include "common/input_error.hpp"

#include <ostream>

namespace common {

std::string format_position(const FilePosition& where) {
  std::string text = where.file;
  if (where.line > 0) {
    if (!text.empty()) text += ", ";
    text += "line " + std::to_string(where.line);
  }
  return text;
}

void print_error(std::ostream& out, const InputError& error) { out << error.what() << std::flush; }

}  // namespace common
