// Whole-program tests of velmorant_fit: recovery of known parameters, Velmorant reproducing the best fit, bad input, MPI.
// SPDX-License-Identifier: BSD-3-Clause
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/fixed_format.hpp"
#include "simulator/fit/fit_parameters.hpp"
#include "common/testing/scratch_folder.hpp"
#include "common/testing/shell_run.hpp"
#include "simulator/fit/fit_run.hpp"
#include "simulator/input/read_simulation_input.hpp"

namespace velmorant::fit {
namespace {

namespace fs = std::filesystem;

std::string read_text(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

void write_text(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// A copy of an example in a fresh folder, removed at the end.
class ExampleCopy : public common::testing::ScratchFolder {
public:
  ExampleCopy(const std::string& example, const std::string& tag)
      : ScratchFolder("velmorant_fit_test_" + tag) {
    copy_files_of(fs::path(VELMORANT_EXAMPLES_DIR) / example);
  }
  const fs::path& dir() const { return path(); }
};

using ProgramRun = common::testing::ShellRun;
using common::testing::run_in;

// The input file with the wavelength line replaced.
void set_wavelength(const fs::path& dir, float wavelength) {
  const std::string text = read_text(dir / kInputFileName);
  std::istringstream s(text);
  SimulationInput in;
  InputLines lines;
  parse_simulation_input(s, kInputFileName, in, &lines);
  std::istringstream again(text);
  std::string out, line;
  for (int n = 1; std::getline(again, line); ++n)
    out += (n == lines.wavelength ? "  " + common::shortest_text(wavelength) : line) + "\n";
  write_text(dir / kInputFileName, out);
}

struct CsvRow {
  std::vector<std::string> fields;
  double number(int k) const { return std::stod(fields[std::size_t(k)]); }
};

std::vector<CsvRow> read_csv(const fs::path& file) {
  std::istringstream s(read_text(file));
  std::string line;
  std::vector<CsvRow> rows;
  do std::getline(s, line);  // the provenance comment, then the header
  while (line.rfind('#', 0) == 0);
  while (std::getline(s, line)) {
    CsvRow row;
    std::stringstream fields(line);
    std::string f;
    while (std::getline(fields, f, ',')) row.fields.push_back(f);
    rows.push_back(row);
  }
  return rows;
}

// Columns of points.csv.
enum Column {
  kStage,
  kMethod,
  kThickness,
  kVoltage,
  kWavelength,
  kPhi1,
  kPhi,
  kPhi2,
  kR,
  kPearson,
  kSeconds
};

const CsvRow& best_row(const std::vector<CsvRow>& rows) {
  std::size_t best = 0;
  for (std::size_t k = 1; k < rows.size(); ++k)
    if (rows[k].number(kPearson) > rows[best].number(kPearson)) best = k;
  return rows[best];
}

const std::string kFit = VELMORANT_FIT_PROGRAM;

struct Recovery {
  const char* example;
  float thickness;  // Å, of the synthetic experiment
  double voltage;   // kV
};

class RecoversKnownParameters : public ::testing::TestWithParam<Recovery> {};

// A synthetic experiment from the example at a known thickness and voltage
// with noise of 12 grey levels; the fit starts from the example's own 1500 Å
// and 200 kV. It must find the thickness within 1 % and the voltage within
// 0.5 kV, and Velmorant run on the written input must give the same r. The
// thickness grid is fine (the series makes it cheap): the score falls from
// its peak within a few tens of Å.
TEST_P(RecoversKnownParameters, ThicknessWithinOnePercentAndVoltageWithinHalfAKilovolt) {
  const Recovery c = GetParam();
  ExampleCopy copy(c.example, std::string("recovery_") + c.example);
  const std::string original = read_text(copy.dir() / kInputFileName);
  set_wavelength(copy.dir(), wavelength_from_voltage(c.voltage));
  const ProgramRun made = run_in(copy.dir(), std::string(VELMORANT_MAKE_EXPERIMENT) + " " +
                                                 std::to_string(c.thickness) + " 12 7 2");
  ASSERT_EQ(made.status, 0) << made.err;
  write_text(copy.dir() / kInputFileName, original);

  const ProgramRun fit =
      run_in(copy.dir(), kFit +
                             " --vary thickness=1200:2200:10 --vary voltage=196:206:2 --threads 2"
                             " --max-evaluations 40 --tolerance 0.05 --output result --no-plots");
  ASSERT_EQ(fit.status, 0) << fit.out << fit.err;
  const std::vector<CsvRow> rows = read_csv(copy.dir() / "result" / "points.csv");
  ASSERT_GE(rows.size(), 606u);  // the 101 x 6 grid first
  const CsvRow& best = best_row(rows);
  RecordProperty("thickness", best.fields[kThickness]);
  RecordProperty("voltage", best.fields[kVoltage]);
  EXPECT_NEAR(best.number(kThickness), c.thickness, 0.01 * c.thickness) << fit.out;
  EXPECT_NEAR(best.number(kVoltage), c.voltage, 0.5) << fit.out;
  EXPECT_NEAR(best.number(kWavelength), wavelength_from_voltage(best.number(kVoltage)), 1e-9);
  EXPECT_NE(fit.out.find("thickness"), std::string::npos);  // the final table

  // Velmorant in the output folder: the r of the best point, to the digits of its result file.
  const ProgramRun velmorant = run_in(copy.dir() / "result", std::string(VELMORANT_PROGRAM) + " 2");
  ASSERT_EQ(velmorant.status, 0) << velmorant.err;
  const double r = std::stod(read_text(copy.dir() / "result" / "VelmorantDS.res"));
  EXPECT_NEAR(r, best.number(kR), 1e-4);
}

INSTANTIATE_TEST_SUITE_P(Examples, RecoversKnownParameters,
                         ::testing::Values(Recovery{"si-111", 1700.0f, 202.0},
                                           Recovery{"cu-110", 1330.0f, 198.5},
                                           Recovery{"gaas-001", 1870.0f, 201.2}),
                         [](const auto& info) {
                           std::string name = info.param.example;
                           for (char& ch : name)
                             if (ch == '-') ch = '_';
                           return name;
                         });

struct BadInput {
  const char* name;
  const char* arguments;
  const char* prepare;  // shell command run in the folder first, or ""
  const char* message;  // part of the message on standard error
};

class RefusesBadInput : public ::testing::TestWithParam<BadInput> {};

TEST_P(RefusesBadInput, WithAMessageAndNonZeroStatusWritingNothing) {
  const BadInput c = GetParam();
  ExampleCopy copy("si-111", std::string("bad_") + c.name);
  if (*c.prepare) {
    ASSERT_EQ(run_in(copy.dir(), c.prepare).status, 0);
  }
  const auto before = std::distance(fs::directory_iterator(copy.dir()), fs::directory_iterator());
  const std::string output =
      std::string(c.arguments).find("--output") == std::string::npos ? " --output result" : "";
  const ProgramRun r = run_in(copy.dir(), kFit + " " + c.arguments + output + " --no-plots");
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(copy.dir() / "result"));
  EXPECT_EQ(std::distance(fs::directory_iterator(copy.dir()), fs::directory_iterator()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RefusesBadInput,
    ::testing::Values(
        BadInput{"low_above_high", "--vary thickness=2000:1200:100", "",
                 "low end is above the high end"},
        BadInput{"step_zero", "--vary thickness=1200:2000:0", "", "step must be above 0"},
        BadInput{"unknown_parameter", "--vary depth=1:2:1", "", "unknown parameter \"depth\""},
        BadInput{"no_parameter", "", "", "--vary"},
        BadInput{"misspelt_option", "--varry thickness=1200:2000:100", "",
                 "(--varry: did you mean --vary?)"},
        BadInput{"twice", "--vary phi1=0:1:1 --vary phi1=0:1:1", "", "given twice"},
        BadInput{"missing_image", "--vary thickness=1200:2000:100", "rm experiment.bmp",
                 "experiment.bmp"},
        BadInput{
            "image_of_another_size", "--vary thickness=1200:2000:100",
            "head -c 54 experiment.bmp > e && head -c 400000 /dev/zero >> e && mv e experiment.bmp "
            "&& printf '\\000\\001' | dd of=experiment.bmp bs=1 seek=18 conv=notrunc 2>/dev/null",
            "convert IN -resize 512x512! OUT.png"},
        BadInput{
            "no_experiment", "--vary thickness=1200:2000:100",
            "sed -i 's/^ *experiment.bmp *$/ -/' VelmorantDS.dat && grep -qx ' -' VelmorantDS.dat",
            "names no experimental image (image name \"-\")"},
        BadInput{"short_image", "--vary thickness=1200:2000:100",
                 "head -c 1000 experiment.bmp > e && mv e experiment.bmp", "experiment.bmp"},
        BadInput{"missing_input", "--vary thickness=1200:2000:100", "rm VelmorantDS.dat",
                 "VelmorantDS.dat"},
        BadInput{"output_is_a_file", "--vary thickness=1200:2000:100 --output VelmorantDS.dat", "",
                 "output folder is a file"},
        // A fit replaces its output folder as a whole: a folder with other files
        // is left alone, and one that cannot be made is found before computing.
        BadInput{"output_holds_other_files", "--vary thickness=1200:2000:100 --output mine",
                 "mkdir mine && echo keep > mine/notes.txt",
                 "holds \"notes.txt\", which a fit does not write"},
        BadInput{"output_cannot_be_made",
                 "--vary thickness=1200:2000:100 --output VelmorantDS.dat/fit", "",
                 "cannot make the folder"}),
    [](const auto& info) { return std::string(info.param.name); });

// A second fit into the same folder replaces the first as a whole: no file
// of the first is left (here its pictures), the table is the second's, and
// no staging folder remains beside it.
TEST(Output, ASecondFitReplacesTheFirstAsAWhole) {
  ExampleCopy copy("cu-110", "replace");
  ASSERT_EQ(run_in(copy.dir(), std::string(VELMORANT_MAKE_EXPERIMENT) + " 1330 12 7 2").status, 0);
  const std::string fit = kFit + " --max-evaluations 0 --threads 2 --output result --vary ";
  ProgramRun r = run_in(copy.dir(), fit + "thickness=1200:1500:100");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string first = read_text(copy.dir() / "result" / "points.csv");
  write_text(copy.dir() / "result" / "score.png", "an earlier picture");
  r = run_in(copy.dir(), fit + "thickness=1300:1400:50 --no-plots");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string second = read_text(copy.dir() / "result" / "points.csv");
  EXPECT_NE(second, first);
  EXPECT_NE(second.find(",1350,"), std::string::npos) << second;
  EXPECT_FALSE(fs::exists(copy.dir() / "result" / "score.png"));
  for (const auto& entry : fs::directory_iterator(copy.dir()))
    EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
}

// The same small fit in one process and on two MPI ranks: the same rows
// (all but the seconds) and the same best-fit input.
TEST(Mpi, TwoRanksWriteTheRowsAndTheBestFitOfOneProcess) {
  const std::string mpiexec = VELMORANT_FIT_MPIEXEC;
  if (mpiexec.empty()) GTEST_SKIP() << "built without MPI";
  ExampleCopy copy("cu-110", "mpi");  // X-ray coefficients: a new voltage's beams are quickly found
  ASSERT_EQ(run_in(copy.dir(), std::string(VELMORANT_MAKE_EXPERIMENT) + " 1330 12 7 2").status, 0);
  const std::string fit =
      " --vary voltage=198:202:2 --vary thickness=1250:1450:25 --threads 1"
      " --max-evaluations 4 --no-plots --output ";
  const ProgramRun one = run_in(copy.dir(), kFit + fit + "one");
  ASSERT_EQ(one.status, 0) << one.err;
  const ProgramRun two = run_in(
      copy.dir(), mpiexec + " --allow-run-as-root --oversubscribe -np 2 " + kFit + fit + "two");
  ASSERT_EQ(two.status, 0) << two.out << two.err;
  const std::vector<CsvRow> a = read_csv(copy.dir() / "one" / "points.csv");
  const std::vector<CsvRow> b = read_csv(copy.dir() / "two" / "points.csv");
  ASSERT_EQ(a.size(), b.size());
  ASSERT_GE(a.size(), 27u);
  for (std::size_t k = 0; k < a.size(); ++k) {
    ASSERT_EQ(a[k].fields.size(), 11u);
    for (int f = 0; f < kSeconds; ++f)
      EXPECT_EQ(a[k].fields[std::size_t(f)], b[k].fields[std::size_t(f)]) << k;
  }
  EXPECT_EQ(read_text(copy.dir() / "one" / kInputFileName),
            read_text(copy.dir() / "two" / kInputFileName));
}

TEST(Pictures, ScoreAndComparisonAreDrawnAsPng) {
  if (!VELMORANT_FIT_PICTURES) GTEST_SKIP() << "python3 with matplotlib was not found";
  ExampleCopy copy("cu-110", "pictures");
  ASSERT_EQ(run_in(copy.dir(), std::string(VELMORANT_MAKE_EXPERIMENT) + " 1330 12 7 2").status, 0);
  // An output folder whose name a shell would split and run: the pictures are
  // drawn in it, and nothing of the name runs.
  const std::string folder = "it's; touch injected; '";
  const ProgramRun r =
      run_in(copy.dir(), kFit +
                             " --vary thickness=1200:1500:50 --max-evaluations 0 --threads 2 "
                             "--output \"" +
                             folder + "\"");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(fs::exists(copy.dir() / "injected"));
  EXPECT_EQ(r.err.find("not drawn"), std::string::npos) << r.err;
  for (const char* name : {"score.png", "comparison.png"}) {
    const std::string png = read_text(copy.dir() / folder / name);
    ASSERT_GT(png.size(), 1000u) << name;
    EXPECT_EQ(png.substr(1, 3), "PNG") << name;
  }
}

}  // namespace
}  // namespace velmorant::fit
