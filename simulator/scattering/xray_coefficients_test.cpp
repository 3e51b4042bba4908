// Tests of the X-ray coefficient file reader and its lookup.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/scattering/xray_coefficients.hpp"
#include "common/testing/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "common/file_error.hpp"
#include "simulator/input/input_error.hpp"

namespace velmorant {
namespace {

namespace fs = std::filesystem;

const fs::path kShipped = fs::path(VELMORANT_SOURCE_DATA_DIR) / "f0_WaasKirf.dat";

// A small coefficient file: 69 header lines, then the given block header
// lines, each followed by a count line, a label line and coefficients.
fs::path small_file(const fs::path& dir, const std::vector<std::string>& headers) {
  fs::path p = dir / "f0_WaasKirf.dat";
  std::ofstream f(p);
  for (int i = 1; i <= 69; ++i) f << "#C header " << i << " 1 2 3\n";
  int n = 0;
  for (const auto& h : headers) {
    ++n;
    f << h << "\n#N 11\n#L a1 a2\n";
    f << n << " 2 3 4 5 6 7 8 9 10 11 trailing\n";
  }
  return p;
}

TEST(XrayCoefficients, ShippedFileHasAllElements) {
  std::int32_t z = 0;
  std::array<float, 11> c{};
  read_xray_coefficients(kShipped, 1, z, c);  // hydrogen: the first block, no skip
  EXPECT_EQ(z, 1);
  EXPECT_FLOAT_EQ(c[0], 0.413048f);
  EXPECT_FLOAT_EQ(c[5], 0.000049f);
  EXPECT_FLOAT_EQ(c[10], 1.334118f);
  read_xray_coefficients(kShipped, 14, z, c);
  EXPECT_EQ(z, 14);
  EXPECT_FLOAT_EQ(c[0], 5.275329f);
  EXPECT_FLOAT_EQ(c[9], 86.288643f);
  read_xray_coefficients(kShipped, 98, z, c);
  EXPECT_EQ(z, 98);
  // Z below 1 is refused rather than read as hydrogen's block.
  EXPECT_THROW(read_xray_coefficients(kShipped, 0, z, c), InputError);
  EXPECT_THROW(read_xray_coefficients(kShipped, -5, z, c), InputError);
}

TEST(XrayCoefficients, AtomicNumberIsTakenFromColumns3To6) {
  const common::testing::ScratchFolder dir_folder("velmorant_xray_test_columns");
  const fs::path& dir = dir_folder.path();
  auto p = small_file(dir, {"#S   8  X", "#S  8  Y", "#S     8 Z"});
  std::int32_t z = -1;
  std::array<float, 11> c{};
  read_xray_coefficients(p, 1, z, c);
  EXPECT_EQ(z, 8);  // blanks in columns 3-5, 8 in column 6
  EXPECT_FLOAT_EQ(c[0], 1.0f);
  EXPECT_FLOAT_EQ(c[10], 11.0f);
  read_xray_coefficients(p, 2, z, c);
  EXPECT_EQ(z, 8);  // "  8 " in columns 3-6
  EXPECT_FLOAT_EQ(c[0], 2.0f);
  read_xray_coefficients(p, 3, z, c);
  EXPECT_EQ(z, 0);  // the digit in column 7 is outside the field
  EXPECT_FLOAT_EQ(c[0], 3.0f);
}

TEST(XrayCoefficients, TwoSpeciesWithTheSameNumberReadTheSameBlock) {
  std::int32_t z1 = 0, z2 = 0;
  std::array<float, 11> c1{}, c2{};
  read_xray_coefficients(kShipped, 29, z1, c1);
  read_xray_coefficients(kShipped, 29, z2, c2);
  EXPECT_EQ(z1, z2);
  EXPECT_EQ(c1, c2);
}

TEST(XrayCoefficients, FailuresNameFileLineAndExpectation) {
  std::int32_t z = 0;
  std::array<float, 11> c{};
  try {
    read_xray_coefficients(kShipped, 99, z, c);
    FAIL();
  } catch (const InputError& e) {
    EXPECT_EQ(std::string(e.what()),
              kShipped.string() +
                  ", line 462: the file ends here; expected the block header of "
                  "atomic number 99 (atomic number in columns 3-6)");
  }
  const common::testing::ScratchFolder dir_folder("velmorant_xray_test_bad");
  const fs::path& dir = dir_folder.path();
  auto p = small_file(dir, {"#S  1  H"});
  {
    std::ofstream f(p, std::ios::app);
    f << "#S  2  He\n#N 11\n#L\n0.1 0.2 x 4 5 6 7 8 9 10 11\n";
  }
  try {
    read_xray_coefficients(p, 2, z, c);
    FAIL();
  } catch (const InputError& e) {
    EXPECT_EQ(std::string(e.what()),
              p.string() +
                  ", line 77: \"x\" is not a real number; expected the 11 coefficients "
                  "a1..a5 c b1..b5 of atomic number 2");
  }
  EXPECT_THROW(read_xray_coefficients(dir / "none.dat", 2, z, c), common::FileError);
  // No atomic number below 1 reads hydrogen's block.
  for (std::int32_t bad : {0, -5}) {
    try {
      read_xray_coefficients(kShipped, bad, z, c);
      ADD_FAILURE() << bad;
    } catch (const InputError& e) {
      EXPECT_NE(std::string(e.what()).find("no block for atomic number " + std::to_string(bad)),
                std::string::npos)
          << e.what();
    }
  }
}

TEST(XrayCoefficients, LookupPrefersTheWorkingDirectoryAndFallsBackToTheShippedCopy) {
  const common::testing::ScratchFolder dir_folder("velmorant_xray_test_lookup");
  const fs::path& dir = dir_folder.path();
  // No file in the folder: the copy beside the executable or in the build's
  // data folder is found.
  const fs::path found = find_xray_coefficient_file(dir);
  EXPECT_NE(found.parent_path(), dir);
  EXPECT_TRUE(fs::exists(found));
  std::int32_t z = 0;
  std::array<float, 11> c{};
  read_xray_coefficients(found, 14, z, c);
  EXPECT_EQ(z, 14);
  // A file in the folder takes precedence.
  auto own = small_file(dir, {"#S  1  H"});
  EXPECT_EQ(find_xray_coefficient_file(dir), own);
}

}  // namespace
}  // namespace velmorant
