// Whole-run tests of hklconv in temporary directories: output file and console text byte for byte.
// SPDX-License-Identifier: BSD-3-Clause
#include "reflections/reflection_list.hpp"
#include "common/testing/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <memory>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <algorithm>
#include <array>
#include <numeric>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string slurp(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

void put(const fs::path& p, const std::string& text) {
  std::ofstream f(p, std::ios::binary);
  f << text;
}

// The 24 proper rotations of the cube (signed permutation matrices with det +1),
// identity first.
std::string cubic_symmetry_file() {
  std::ostringstream s;
  s << "Symmetry operations\ncubic, point group 432\n 0 0 24\n";
  int perms[6][3] = {{0, 1, 2}, {1, 2, 0}, {2, 0, 1}, {0, 2, 1}, {2, 1, 0}, {1, 0, 2}};
  int n = 0;
  for (int p = 0; p < 6; ++p)
    for (int signs = 0; signs < 8; ++signs) {
      int sg[3] = {signs & 1 ? -1 : 1, signs & 2 ? -1 : 1, signs & 4 ? -1 : 1};
      int parity = p < 3 ? 1 : -1;
      if (sg[0] * sg[1] * sg[2] * parity != 1) continue;
      s << "operation " << ++n << "\n";
      for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) s << ' ' << (perms[p][r] == c ? sg[r] : 0) << ".0";
        s << "\n";
      }
    }
  return s.str();
}

std::string identity_symmetry_file() {
  return "Symmetry\n\n 1 1 1\nidentity\n 1 0 0\n 0 1 0\n 0 0 1\n";
}

std::string cubic_basis(const char* a) {
  std::ostringstream s;
  s << "Crystal basis\nin Angstrom\na1\n " << a << " 0 0\na2\n 0 " << a << " 0\na3\n 0 0 " << a
    << "\n";
  return s.str();
}

std::string index_list(const std::vector<std::array<int, 3>>& hkl, int n = -1) {
  std::ostringstream s;
  s << "Miller indices\n " << (n < 0 ? static_cast<int>(hkl.size()) : n) << "\n h k l\n";
  for (auto& e : hkl) s << ' ' << e[0] << ' ' << e[1] << ' ' << e[2] << "\n";
  return s.str();
}

const std::string kHeader = "       hkl-list for indexing converted from the list.hkl file.\n\n";

class HklconvRun : public ::testing::Test {
protected:
  void SetUp() override {
    scratch_ = std::make_unique<common::testing::ScratchFolder>("hklconv");
    dir = scratch_->path();
  }
  void TearDown() override { scratch_.reset(); }
  // Runs the program; the exit status must be 0 exactly when it printed nothing.
  std::string run(const std::string& stdin_text = "") {
    std::istringstream in(stdin_text);
    std::ostringstream out;
    const int status = hklconv::run(dir, in, out);
    EXPECT_EQ(status, out.str().empty() ? 0 : 1) << out.str();
    return out.str();
  }
  void inputs(const std::string& list, const std::string& sym, const std::string& basis) {
    put(dir / "list.hkl", list);
    put(dir / "symmetry.prp", sym);
    put(dir / "basis.kik", basis);
  }
  fs::path dir;
  std::unique_ptr<common::testing::ScratchFolder> scratch_;
};

const std::string kPause = " Press Enter to continue.\n";

}  // namespace

TEST_F(HklconvRun, CubicFamiliesMerge) {
  inputs(index_list({{1, 0, 0}, {0, 1, 0}, {-1, 0, 0}, {1, 1, 0}, {2, 0, 0}}),
         cubic_symmetry_file(), cubic_basis("4.0"));
  EXPECT_EQ(run(), "");
  EXPECT_EQ(slurp(dir / "reflects.kik"),
            kHeader + "     2\n\n" + "        1   0   0\n" + "        1   1   0\n");
}

TEST_F(HklconvRun, IdentityOnlyMergesDuplicatesAndOpposites) {
  inputs(index_list({{1, 1, 0}, {-1, -1, 0}, {1, -1, 0}, {2, 2, 0}, {0, 0, 1}, {0, 0, -3}}),
         identity_symmetry_file(), cubic_basis("4.0"));
  EXPECT_EQ(run(), "");
  EXPECT_EQ(slurp(dir / "reflects.kik"), kHeader + "     3\n\n" + "        1   1   0\n" +
                                             "        1  -1   0\n" + "        0   0   1\n");
}

TEST_F(HklconvRun, ZeroIndicesStopWithoutPauseOrFile) {
  inputs(index_list({{1, 0, 0}, {0, 0, 0}}), cubic_symmetry_file(), cubic_basis("4.0"));
  EXPECT_EQ(run(),
            " Norm of a vector equals 0 in SUBROUTINE NCRYST.\n"
            " One of the reflections must have Miller indices 0 0 0.\n");
  EXPECT_FALSE(fs::exists(dir / "reflects.kik"));
}

TEST_F(HklconvRun, LargeCellsKeepTheirLowIndexFamilies) {
  // |b_1| = 1/a is far above the reciprocal threshold 1/(100 a) for any cell,
  // so large cells give their list instead of a false zero-index stop.
  struct Case {
    const char* a;
    std::vector<std::array<int, 3>> hkl;
    std::string list;
  };
  const Case cases[] = {
      {"12.0",
       {{1, 0, 0}, {1, 1, 0}, {1, 1, 1}},
       "     3\n\n        1   0   0\n        1   1   0\n        1   1   1\n"},
      {"20.0",
       {{1, 0, 0}, {0, 0, 2}, {1, 1, 0}, {2, 1, 0}, {-1, 1, 1}},
       "     4\n\n        1   0   0\n        1   1   0\n        2   1   0\n       -1   1   1\n"},
  };
  for (const Case& c : cases) {
    inputs(index_list(c.hkl), cubic_symmetry_file(), cubic_basis(c.a));
    EXPECT_EQ(run(), "") << c.a;
    EXPECT_EQ(slurp(dir / "reflects.kik"), kHeader + c.list) << c.a;
  }
  // A true zero still stops in the large cell.
  fs::remove(dir / "reflects.kik");
  inputs(index_list({{1, 0, 0}, {0, 0, 0}}), cubic_symmetry_file(), cubic_basis("20.0"));
  EXPECT_EQ(run(),
            " Norm of a vector equals 0 in SUBROUTINE NCRYST.\n"
            " One of the reflections must have Miller indices 0 0 0.\n");
  EXPECT_FALSE(fs::exists(dir / "reflects.kik"));
}

TEST_F(HklconvRun, CoplanarBasisStops) {
  inputs(index_list({{1, 0, 0}}), cubic_symmetry_file(),
         "basis\n\na1\n 1 0 0\na2\n 0 1 0\na3\n 1 1 0\n");
  EXPECT_EQ(run(),
            " Determinant in SUBROUTINE INVMAT = 0.\n"
            " Vectors of the crystal basis are coplanar.\n");
}

TEST_F(HklconvRun, ListStopsAt150FamiliesAndLeavesTheRestUnread) {
  // 150 distinct directions under the identity; the lines after them are not
  // even valid numbers, so reading them would fail. Two different lattice
  // directions with indices up to 4 are at least asin(1/48) = 0.02 apart.
  std::ostringstream s;
  s << "list\n 300\n\n";
  int written = 0;
  for (int h = 0; h <= 4; ++h)
    for (int k = -4; k <= 4; ++k)
      for (int l = -4; l <= 4 && written < 150; ++l) {
        const bool first_positive = h > 0 || (h == 0 && (k > 0 || (k == 0 && l > 0)));
        if (!first_positive || std::gcd(std::gcd(h, k), l) != 1) continue;
        s << ' ' << h << ' ' << k << ' ' << l << "\n";
        ++written;
      }
  ASSERT_EQ(written, 150);
  for (int i = 0; i < 150; ++i) s << " not numbers\n";
  inputs(s.str(), identity_symmetry_file(), cubic_basis("0.01"));
  EXPECT_EQ(run(), "");
  std::string out = slurp(dir / "reflects.kik");
  EXPECT_EQ(out.substr(0, kHeader.size() + 8), kHeader + "   150\n\n");
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 4 + 150);
}

TEST_F(HklconvRun, FirstIndexLineIsReadEvenForCountZero) {
  inputs(index_list({{1, 1, 1}}, 0), identity_symmetry_file(), cubic_basis("4.0"));
  EXPECT_EQ(run(), "");
  EXPECT_EQ(slurp(dir / "reflects.kik"), kHeader + "     1\n\n        1   1   1\n");
}

TEST_F(HklconvRun, FileErrorsPrintTheirMessageThenPause) {
  struct Case {
    const char* name;
    std::string list, sym, basis;
    std::string console;
  };
  const std::string list = index_list({{1, 0, 0}});
  const std::string sym = identity_symmetry_file();
  const std::string basis = cubic_basis("4.0");
  const Case cases[] = {
      {"missing symmetry", list, "", basis, "       Cannot open SYMMETRY.PRP.\n\n"},
      {"missing list", "", sym, basis, "       Cannot open LIST.HKL.    \n\n"},
      {"missing basis", list, sym, "", "       Cannot open BASIS.KIK.   \n\n"},
      {"real index", "x\n 1\n\n 1.5 0 0\n", sym, basis, "       Cannot read LIST.HKL.    \n\n"},
      {"short list", "x\n 3\n\n 1 0 0\n", sym, basis, "       Cannot read LIST.HKL.    \n\n"},
      {"bad matrix", list, "s\n\n 1 1 1\nlabel\n 1 0 x\n", basis,
       "       Cannot read SYMMETRY.PRP.\n\n"},
      {"basis ends at a label", list, sym, "basis\n\na1\n 4 0 0\n",
       "       Cannot read BASIS.KIK.   \n"
       " basis.kik ends at line 4, before the label line of basis vector 2.\n\n"},
      {"too many operations", list, "s\n\n 0 0 25\n", basis,
       "       Cannot read SYMMETRY.PRP.\n"
       " symmetry.prp, line 3: 25 symmetry operations; between 1 and 24 are allowed.\n\n"},
      {"no operations", list, "s\n\n 0 0 0\n", basis,
       "       Cannot read SYMMETRY.PRP.\n"
       " symmetry.prp, line 3: 0 symmetry operations; between 1 and 24 are allowed.\n\n"},
  };
  for (const Case& c : cases) {
    fs::remove_all(dir);
    fs::create_directories(dir);
    if (!c.list.empty()) put(dir / "list.hkl", c.list);
    if (!c.sym.empty()) put(dir / "symmetry.prp", c.sym);
    if (!c.basis.empty()) put(dir / "basis.kik", c.basis);
    EXPECT_EQ(run(), c.console + kPause) << c.name;
    EXPECT_FALSE(fs::exists(dir / "reflects.kik")) << c.name;
  }
}

TEST_F(HklconvRun, FamiliesDoNotDependOnTheCellSize) {
  // Unit normals are compared with a fixed 0.01 (0.57 degrees): 7 1 0 and
  // 3 1 0 (10.3 degrees apart) and 20 1 0 and 1 0 0 (2.9 degrees) stay
  // apart in a cell of any size; 200 1 0 (0.29 degrees from 1 0 0), 0 0 2
  // and -1 3 0 are equivalents of earlier entries.
  const std::vector<std::array<int, 3>> hkl = {{1, 0, 0}, {3, 1, 0}, {7, 1, 0},  {1, 1, 0},
                                               {2, 1, 0}, {1, 1, 1}, {20, 1, 0}, {200, 1, 0},
                                               {0, 0, 2}, {-1, 3, 0}};
  const std::string expected = kHeader + "     7\n\n" + "        1   0   0\n" +
                               "        3   1   0\n" + "        7   1   0\n" +
                               "        1   1   0\n" + "        2   1   0\n" +
                               "        1   1   1\n" + "       20   1   0\n";
  for (const char* a : {"4.0", "20.0", "200.0", "2000.0"}) {
    fs::remove(dir / "reflects.kik");
    inputs(index_list(hkl), cubic_symmetry_file(), cubic_basis(a));
    EXPECT_EQ(run(), "") << "a = " << a;
    EXPECT_EQ(slurp(dir / "reflects.kik"), expected) << "a = " << a;
  }
}

TEST_F(HklconvRun, IndicesOutsideTheFourColumnsAreRefusedWithTheirLine) {
  const struct {
    std::array<int, 3> hkl;
    const char* console;  // empty: accepted
    const char* line;     // its line in reflects.kik when accepted
  } cases[] = {
      {{-999, 0, 1}, "", "     -999   0   1\n"},
      {{9999, 0, 1}, "", "     9999   0   1\n"},
      {{-1000, 0, 1},
       " list.hkl, line 5: index -1000 does not fit the four columns of reflects.kik (-999 to "
       "9999).\n",
       ""},
      {{1, 32768, 0},
       " list.hkl, line 5: index 32768 does not fit the four columns of reflects.kik (-999 to "
       "9999).\n",
       ""},
      {{0, 1, 65535},
       " list.hkl, line 5: index 65535 does not fit the four columns of reflects.kik (-999 to "
       "9999).\n",
       ""},
      {{10000, 1, 1},
       " list.hkl, line 5: index 10000 does not fit the four columns of reflects.kik (-999 to "
       "9999).\n",
       ""},
  };
  for (const auto& c : cases) {
    fs::remove(dir / "reflects.kik");
    inputs(index_list({{0, 0, 1}, c.hkl}), identity_symmetry_file(), cubic_basis("4.0"));
    const std::string console = run();
    if (*c.console == '\0') {
      EXPECT_EQ(console, "");
      EXPECT_EQ(slurp(dir / "reflects.kik"), kHeader + "     2\n\n        0   0   1\n" + c.line);
    } else {
      EXPECT_EQ(console,
                "       Cannot read LIST.HKL.    \n" + std::string(c.console) + "\n" + kPause);
      EXPECT_FALSE(fs::exists(dir / "reflects.kik"));
    }
  }
  // The first index line is checked too.
  inputs(index_list({{-1000, 0, 0}}), identity_symmetry_file(), cubic_basis("4.0"));
  EXPECT_EQ(
      run(),
      "       Cannot read LIST.HKL.    \n list.hkl, line 4: index -1000 does not fit the four "
      "columns of reflects.kik (-999 to 9999).\n\n" +
          kPause);
}

TEST_F(HklconvRun, CrLfInputsAndTheMessageWidth) {
  std::string list = index_list({{1, 0, 0}, {0, 0, 1}});
  std::string crlf;
  for (char c : list) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  inputs(crlf, cubic_symmetry_file(), cubic_basis("4.0"));
  EXPECT_EQ(run(), "");
  EXPECT_EQ(slurp(dir / "reflects.kik"), kHeader + "     1\n\n        1   0   0\n");
}

TEST(HklconvTolerance, OnePercentOfTheReciprocalCellEdge) {
  EXPECT_FLOAT_EQ(hklconv::reciprocal_length_tolerance(64.0f), 1.0f / 400.0f);
  EXPECT_FLOAT_EQ(hklconv::reciprocal_length_tolerance(1728.0f), 1.0f / 1200.0f);
}
