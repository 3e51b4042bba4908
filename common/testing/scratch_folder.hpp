// Test support: a fresh scratch folder per test, removed with its contents at the end.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <system_error>

namespace common::testing {

// A new folder under the system's temporary directory, named `<prefix>-XXXXXX`
// by mkdtemp (unique across concurrent tests and processes), removed with
// everything in it when the object goes. Throws std::runtime_error when the
// folder cannot be made.
class ScratchFolder {
public:
  explicit ScratchFolder(const std::string& prefix = "tem") {
    std::string templ = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (::mkdtemp(templ.data()) == nullptr)
      throw std::runtime_error("cannot make a scratch folder " + templ);
    path_ = templ;
  }
  ~ScratchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::filesystem::path& name) const { return path_ / name; }

  // Copies every file of `folder` (not its subfolders) into this one.
  void copy_files_of(const std::filesystem::path& folder) const {
    for (const auto& entry : std::filesystem::directory_iterator(folder))
      if (entry.is_regular_file())
        std::filesystem::copy_file(entry.path(), path_ / entry.path().filename(),
                                   std::filesystem::copy_options::overwrite_existing);
  }

private:
  std::filesystem::path path_;
};

// The whole file as bytes in a string ("" when it cannot be read).
inline std::string read_file_text(const std::filesystem::path& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

// Replaces the file with `text`, byte for byte.
inline void write_file_text(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

}  // namespace common::testing
