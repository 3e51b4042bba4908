// A failure at a place in a text file (file name, 1-based line) and the one way the programs show it.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <utility>

namespace common {

// Where in a file something went wrong. An empty file name or line 0 means
// that part is not known.
struct FilePosition {
  std::string file;
  int line = 0;  // 1-based
};

// "<file>, line <n>", "<file>" or "line <n>": how every program names a place.
std::string format_position(const FilePosition& where);

// A stop of one of the programs on bad input or a failed file operation.
// what() is the complete text the console shows for it, line ends included
// where the program writes whole lines; where() is the position it names.
class InputError : public std::runtime_error {
public:
  explicit InputError(const std::string& text, FilePosition where = {})
      : std::runtime_error(text), where_(std::move(where)) {}
  const FilePosition& where() const noexcept { return where_; }

private:
  FilePosition where_;
};

// Writes what() on `out` exactly as it stands and flushes.
void print_error(std::ostream& out, const InputError& error);

}  // namespace common
