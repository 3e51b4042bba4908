// FileError: a file that cannot be opened, read or written, the one input/output error of the suite's libraries.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <cerrno>
#include <stdexcept>
#include <string>
#include <utility>

namespace common {

// Thrown by every reader and writer for a file it cannot use: a missing,
// unreadable or short file, a folder that does not exist, a file that
// cannot be created or replaced. Bad contents of a file that could be read
// are user input and throw InputError (common/input_error.hpp) instead.
//
// what() is the complete message, one line naming the file and the problem,
// exactly as the programs print it; file() the path as the caller gave it
// (empty when no one file is concerned, e.g. an encoder that failed in
// memory); not_found() tells a file or folder that does not exist from the
// other failures (Python raises FileNotFoundError for it).
class FileError : public std::runtime_error {
public:
  enum class Kind { other, not_found };

  explicit FileError(const std::string& text, std::string file = {}, Kind kind = Kind::other)
      : std::runtime_error(text), file_(std::move(file)), kind_(kind) {}

  const std::string& file() const noexcept { return file_; }
  Kind kind() const noexcept { return kind_; }
  bool not_found() const noexcept { return kind_ == Kind::not_found; }

  // The kind of a failed open from its errno (ENOENT: not found).
  static Kind kind_of_errno(int error) noexcept {
    return error == ENOENT ? Kind::not_found : Kind::other;
  }

private:
  std::string file_;
  Kind kind_;
};

}  // namespace common
