// Reader of "f0_WaasKirf.dat" and the lookup of the file.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/scattering/xray_coefficients.hpp"

#include <fstream>
#include <string>
#include <system_error>

#include "common/file_error.hpp"
#include "common/free_form_reader.hpp"
#include "simulator/input/input_error.hpp"

#ifndef VELMORANT_DATA_DIR
#define VELMORANT_DATA_DIR ""
#endif

namespace velmorant {

namespace fs = std::filesystem;

namespace {

bool is_readable_file(const fs::path& p) {
  std::error_code ec;
  return fs::is_regular_file(p, ec);
}

[[noreturn]] void fail(const fs::path& file, const common::ReadResult& r, const std::string& what) {
  std::string msg = file.string() + ", line " + std::to_string(r.line) + ": ";
  if (r.status == common::ReadStatus::end_of_file)
    msg += "the file ends here; expected " + what;
  else
    msg += "\"" + r.item + "\" is not " + r.expected + "; expected " + what;
  throw InputError(msg, {file.string(), r.line});
}

}  // namespace

fs::path find_xray_coefficient_file(const fs::path& first_dir) {
  std::string tried;
  auto consider = [&](const fs::path& dir) -> bool {
    if (dir.empty()) return false;
    const fs::path candidate = dir / kXrayFileName;
    if (!tried.empty()) tried += ", ";
    tried += candidate.string();
    return is_readable_file(candidate);
  };
  if (consider(first_dir)) return first_dir / kXrayFileName;
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (!ec && consider(exe.parent_path())) return exe.parent_path() / kXrayFileName;
  const fs::path data_dir = VELMORANT_DATA_DIR;
  if (consider(data_dir)) return data_dir / kXrayFileName;
  throw common::FileError(
      std::string(kXrayFileName) +
          ": the X-ray coefficient file was not found (form_factor_model 0 needs it); "
          "looked for " +
          tried,
      kXrayFileName, common::FileError::Kind::not_found);
}

void read_xray_coefficients(const fs::path& file, std::int32_t z, std::int32_t& table_atomic_number,
                            std::array<float, 11>& c) {
  // Block z is the z-th block: an atomic number below 1 would read hydrogen's.
  if (z < 1)
    throw InputError(file.string() + ": there is no block for atomic number " + std::to_string(z) +
                     "; the table starts at hydrogen, Z = 1");
  std::ifstream stream(file);
  if (!stream)
    throw common::FileError(
        file.string() + ": cannot open the X-ray coefficient file", file.string(),
        fs::exists(file) ? common::FileError::Kind::other : common::FileError::Kind::not_found);
  common::FreeFormReader reader(stream);
  const std::string element = "atomic number " + std::to_string(z);
  common::ReadResult r = reader.skip_lines(69);
  if (!r) fail(file, r, "the 69 header lines of the coefficient table");
  for (std::int32_t n = 1; n <= z - 1; ++n) {
    r = reader.skip_lines(4);
    if (!r)
      fail(file, r,
           "the block of element " + std::to_string(n) + " on the way to the block of " + element +
               " (the table has fewer blocks)");
  }
  std::int32_t table_z = 0;
  r = reader.read_fixed_int(3, 6, table_z);
  if (!r) fail(file, r, "the block header of " + element + " (atomic number in columns 3-6)");
  r = reader.skip_lines(2);
  if (!r) fail(file, r, "the count and label lines of the block of " + element);
  r = reader.read(c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], c[8], c[9], c[10]);
  if (!r) fail(file, r, "the 11 coefficients a1..a5 c b1..b5 of " + element);
  table_atomic_number = table_z;
}

}  // namespace velmorant
