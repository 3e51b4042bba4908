// The private scratch folder of a fuzz process and the input file in it.
// SPDX-License-Identifier: BSD-3-Clause
#include "fuzz/fuzz_support.hpp"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>

namespace fuzz {
namespace {

class PrivateDir {
public:
  PrivateDir() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tem-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data()))
      throw std::runtime_error("cannot create a private folder from " + pattern);
    path_ = pattern;
  }
  ~PrivateDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  PrivateDir(const PrivateDir&) = delete;
  PrivateDir& operator=(const PrivateDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

private:
  std::filesystem::path path_;
};

}  // namespace

const std::filesystem::path& private_dir() {
  static const PrivateDir dir;
  return dir.path();
}

std::filesystem::path write_input(std::string_view name, const std::uint8_t* data,
                                  std::size_t size) {
  const std::filesystem::path file = private_dir() / name;
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  out.close();
  if (!out) throw std::runtime_error("cannot write the fuzz input " + file.string());
  return file;
}

void copy_into_private_dir(const std::filesystem::path& source, std::string_view name) {
  std::filesystem::copy_file(source, private_dir() / name,
                             std::filesystem::copy_options::overwrite_existing);
}

}  // namespace fuzz
