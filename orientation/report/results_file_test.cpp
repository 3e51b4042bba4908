// Results lines, derived counts and fits, header and console report, text compared exactly.
// SPDX-License-Identifier: BSD-3-Clause
#include "orientation/report/results_file.hpp"
#include "common/testing/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "orientation/errors/report_fatal_error.hpp"
#include "orientation/geometry/rotation.hpp"
#include "orientation/input/input_file.hpp"

namespace talvor {
namespace {

namespace fs = std::filesystem;

struct ResultsFixture : ::testing::Test {
  OrientationProblem problem;
  ScatteringPattern pattern;
  SolutionStore store;
  void SetUp() override { SetDefaults(problem); }
  std::string Line(int number, int n, const Mat3& g, float fit) {
    pattern.vectorCount = n;
    store.count = 1;
    store.entries[0].orientation = g;
    store.entries[0].fit = fit;
    return SolutionLine(number, pattern, store, problem);
  }
};

TEST_F(ResultsFixture, DerivedUsedCountAndFit) {
  const struct {
    float fit;
    int n;
    const char* tail;  // used, all, fit: the last 16 columns
  } cases[] = {
      {2.013f, 12, "    10  12   2.922"},
      {0.9999999f, 5, "     4   5   0.000"},
      {0.0f, 3, "     3   3   0.000"},
      {5.0f, 5, "     0   5 180.000"},  // a stored solution that explains nothing
      {5.5f, 5, "     0   5 180.000"},  // never a negative count
  };
  for (const auto& c : cases) {
    std::string line = Line(3, c.n, Mat3::identity(), c.fit);
    ASSERT_EQ(line.size(), 56u);
    EXPECT_EQ(line.substr(38), c.tail) << c.fit;
  }
  EXPECT_EQ(UsedVectorCount(2.013f, 12), 10);
  EXPECT_NEAR(MeanFitDegrees(2.013f, 12, 10), 2.9218f, 1e-3f);
}

TEST_F(ResultsFixture, IdentityAndBungeAngles) {
  EXPECT_EQ(Line(1, 4, Mat3::identity(), 0.0f),
            "          1       0.00    0.00    0.00     4   4   0.000");
  // A rotation about the sample z axis: phi1 only (identity is its own fundamental image).
  float w = 0.5f;
  Vec3 z = {0, 0, 1};
  Mat3 g = RotationFromAxisAngle(w, z);
  problem.symmetryCount = 1;
  EXPECT_EQ(Line(2, 4, g, 0.0f).substr(0, 38), "          2      28.65    0.00    0.00");
}

TEST_F(ResultsFixture, NoSolutionLine) {
  pattern.vectorCount = 9;
  store.count = 0;
  EXPECT_EQ(SolutionLine(7, pattern, store, problem),
            "          7      -1.00   -1.00   -1.00     0   9 999.999");
}

TEST(ResultsFile, NameHeaderAndOverwrite) {
  EXPECT_EQ(ResultsFileName("run1.tv2"), "run1_tv2.res");
  const common::testing::ScratchFolder scratch("talvor_results_header");
  const fs::path& dir = scratch.path();
  for (int run = 0; run < 2; ++run) {  // the second run overwrites
    ResultsFile f(dir / "run1_tv2.res", "run1_tv2.res", "run1.tv2");
    EXPECT_EQ(f.lines(), 8);
    f.Close();
  }
  std::ifstream in(dir / "run1_tv2.res");
  std::stringstream text;
  text << in.rdbuf();
  const std::string eq(55, '='), da(55, '-');
  EXPECT_EQ(text.str(), " " + eq + "\n " + da + "\n \n Talvor2 : Solutions for run1.tv2\n \n " +
                            da + "\n         no      ph1_1     Phi   phi_2  used/all     fit\n " +
                            da + "\n");
}

TEST(ResultsFile, MissingDirectoryStopsWithItsName) {
  try {
    ResultsFile f(fs::temp_directory_path() / "no_such_dir_talvor" / "a_tv2.res", "a_tv2.res",
                  "a.tv2");
    FAIL() << "no stop";
  } catch (const FatalStop& stop) {
    EXPECT_EQ(std::string(stop.what()), " Error: Cannot open a_tv2.res.\n");
  }
}

TEST(ResultsFile, AFullDeviceStopsAtTheFirstLineItCannotWrite) {
  // A results name that is a link to a device that is always full.
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  const common::testing::ScratchFolder scratch("talvor_results_full");
  const fs::path& dir = scratch.path();
  fs::create_symlink("/dev/full", dir / "f_tv2.res");
  try {
    ResultsFile f(dir / "f_tv2.res", "f_tv2.res", "f.tv2");
    FAIL() << "no stop";
  } catch (const FatalStop& stop) {
    EXPECT_EQ(
        std::string(stop.what()),
        "\n Error: Cannot write f_tv2.res.\n"
        " f_tv2.res, line 1: No space left on device; the 0 lines before it are complete.\n\n");
    EXPECT_EQ(stop.where().file, "f_tv2.res");
    EXPECT_EQ(stop.where().line, 1);
  }
  EXPECT_TRUE(fs::is_symlink(dir / "f_tv2.res"));  // the link itself is left alone
}

TEST(ConsoleReport, ProgressAndRunReport) {
  std::ostringstream out;
  WriteProgress(out, 10, 2147483647);
  WriteRunReport(out, 1.25f, "x_tv2.res");
  EXPECT_EQ(out.str(), "\r            Point nr :         10 -->2147483647\r" +
                           std::string(60, ' ') +
                           "\r CPU time :     1.250 sec\n\n Results saved in file : x_tv2.res\n\n");
}

}  // namespace
}  // namespace talvor
