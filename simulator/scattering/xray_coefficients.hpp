// Reader of the Waasmaier–Kirfel X-ray coefficient file "f0_WaasKirf.dat".
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>

namespace velmorant {

inline constexpr const char* kXrayFileName = "f0_WaasKirf.dat";

// Where the coefficient file is taken from, first match wins:
//  1. first_dir / "f0_WaasKirf.dat" (read_simulation_input passes the folder
//     of VelmorantDS.dat, i.e. the working directory for the program);
//  2. the folder of the running executable (/proc/self/exe), where the build
//     copies the shipped table (build/bin/);
//  3. the build's data folder (build/data/, compiled in as VELMORANT_DATA_DIR).
// Throws common::FileError (not found) naming every place tried when none has the file.
std::filesystem::path find_xray_coefficient_file(const std::filesystem::path& first_dir);

// Reads the given file: skips 69 lines and (z-1) blocks of 4, reads the
// table atomic number from columns 3-6 of the block header, skips 2 lines and
// reads a1..a5, c, b1..b5 in free form. z = 1 reads the first block.
// Throws common::FileError on a file that cannot be opened, and InputError
// (file, line, what was expected) on a premature end or a value that is not
// a number, and for z < 1 (which would otherwise read hydrogen's block).
void read_xray_coefficients(const std::filesystem::path& file, std::int32_t z,
                            std::int32_t& table_atomic_number, std::array<float, 11>& coefficients);

}  // namespace velmorant
