// The suite's one version everywhere: --version of every program, CITATION.cff, CHANGELOG.md and the provenance line of written files.
// SPDX-License-Identifier: BSD-3-Clause
#include <sys/wait.h>
#include <unistd.h>

#ifdef TEM_RELEASE_TEST_TIFF
#include <tiffio.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/provenance.hpp"
#include "common/testing/scratch_folder.hpp"
#include "common/testing/shell_run.hpp"

namespace {

namespace fs = std::filesystem;

// From project(... VERSION ...) of the top CMakeLists.txt.
const std::string kVersion = TEM_PROJECT_VERSION;
const fs::path kBin = TEM_BIN_DIR;
const fs::path kSource = TEM_SOURCE_DIR;

std::string read_text(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

std::string first_line(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  std::string line;
  std::getline(f, line);
  return line;
}

// A fresh folder, removed at the end.
class Folder : public common::testing::ScratchFolder {
public:
  explicit Folder(const std::string& tag) : ScratchFolder("tem_release_test_" + tag) {}
  const fs::path& dir() const { return path(); }
};

using ProgramRun = common::testing::ShellRun;
using common::testing::run_in;

// The program's path in single quotes (appended piecewise: GCC 12 misreads
// "'" + std::string as an overlapping copy).
std::string program(const std::string& name) {
  std::string quoted(1, '\'');
  quoted += (kBin / name).string();
  quoted += '\'';
  return quoted;
}

// The provenance a file written between `before` and now must carry (the
// date may turn during the run).
class Provenance {
public:
  explicit Provenance(std::string program)
      : program_(std::move(program)), before_(common::utc_date_today()) {}
  bool matches(const std::string& text) const {
    for (const std::string& date : {before_, common::utc_date_today()})
      if (text == program_ + " " + kVersion + ", " + date) return true;
    return false;
  }

private:
  std::string program_, before_;
};

// ---- --version ----

struct VersionCase {
  const char* program;
  bool built;
};

void PrintTo(const VersionCase& c, std::ostream* out) { *out << c.program; }

class VersionFlag : public ::testing::TestWithParam<VersionCase> {};

// "<program> <version>" on standard output, nothing on standard error,
// exit status 0, nothing written in the working folder.
TEST_P(VersionFlag, PrintsTheProjectVersionAndExitsZero) {
  const VersionCase c = GetParam();
  if (!c.built) GTEST_SKIP() << c.program << " is not built here";
  Folder folder(std::string("version_") + c.program);
  const ProgramRun r = run_in(folder.dir(), program(c.program) + " --version");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, std::string(c.program) + " " + kVersion + "\n");
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(fs::is_empty(folder.dir()));
}

INSTANTIATE_TEST_SUITE_P(EveryProgram, VersionFlag,
                         ::testing::Values(VersionCase{"Velmorant", true},
                                           VersionCase{"Talvor2", true},
                                           VersionCase{"hklconv", true},
                                           VersionCase{"velmorant_input", TEM_HAVE_VELMORANT_INPUT},
                                           VersionCase{"velmorant_fit", TEM_HAVE_VELMORANT_FIT},
                                           VersionCase{"velmorant_converge", true},
                                           VersionCase{"velmorant_make_experiment", true},
                                           VersionCase{"talvor2_patterns", true},
                                           VersionCase{"talvor2_recovery", true}),
                         [](const auto& info) { return std::string(info.param.program); });

// ---- the release files ----

// The value of a top-level "key: value" line of a YAML file, quotes removed.
std::string yaml_value(const std::string& text, const std::string& key) {
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind(key + ":", 0) != 0) continue;
    std::string value = line.substr(key.size() + 1);
    value.erase(0, value.find_first_not_of(' '));
    value.erase(value.find_last_not_of(" \r") + 1);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
      value = value.substr(1, value.size() - 2);
    return value;
  }
  return {};
}

// CITATION.cff cites the version CMake builds, and CHANGELOG.md has its
// section with the same release date.
TEST(ReleaseFiles, CitationAndChangelogNameTheProjectVersion) {
  const std::string citation = read_text(kSource / "CITATION.cff");
  ASSERT_FALSE(citation.empty());
  EXPECT_EQ(yaml_value(citation, "cff-version"), "1.2.0");
  EXPECT_EQ(yaml_value(citation, "version"), kVersion);
  EXPECT_EQ(yaml_value(citation, "license"), "BSD-3-Clause");
  const std::string released = yaml_value(citation, "date-released");
  EXPECT_EQ(released.size(), 10u) << released;
  const std::string changelog = read_text(kSource / "CHANGELOG.md");
  EXPECT_NE(changelog.find("\n## [Unreleased]\n"), std::string::npos);
  EXPECT_NE(changelog.find("\n## [" + kVersion + "] - " + released + "\n"), std::string::npos)
      << "CHANGELOG.md has no section \"## [" << kVersion << "] - " << released << "\"";
  EXPECT_EQ(read_text(kSource / "LICENSE").rfind("BSD 3-Clause License", 0), 0u);
}

// ---- the provenance of written files ----

// A copy of examples/cu-110 with a synthetic experiment (the simulation at
// 1330 A with noise), as velmorant_fit's own tests make it.
class Cu110 : public ::testing::Test {
protected:
  Cu110()
      : folder_("cu110_" +
                std::string(::testing::UnitTest::GetInstance()->current_test_info()->name())) {
    fs::copy_file(kSource / "examples" / "cu-110" / "VelmorantDS.dat", dir() / "VelmorantDS.dat");
    made_ = run_in(dir(), program("velmorant_make_experiment") + " 1330 12 7 2");
  }
  const fs::path& dir() const { return folder_.dir(); }
  Folder folder_;
  ProgramRun made_;
};

// The smallest fit (two grid points, no refinement): best.txt and points.csv
// begin with "# velmorant_fit <version>, <date>".
TEST_F(Cu110, FitNamesItsVersionInBestAndPoints) {
  if (!TEM_HAVE_VELMORANT_FIT) GTEST_SKIP() << "velmorant_fit is not built here";
  ASSERT_EQ(made_.status, 0) << made_.err;
  const Provenance expected("velmorant_fit");
  const ProgramRun fit =
      run_in(dir(), program("velmorant_fit") +
                        " --vary thickness=1300:1350:50 --max-evaluations 0 --threads 2"
                        " --no-plots --output result");
  ASSERT_EQ(fit.status, 0) << fit.err;
  for (const char* name : {"best.txt", "points.csv"}) {
    const std::string line = first_line(dir() / "result" / name);
    ASSERT_EQ(line.rfind("# ", 0), 0u) << name << ": " << line;
    EXPECT_TRUE(expected.matches(line.substr(2))) << name << ": " << line;
  }
  // The table follows its provenance line.
  std::ifstream points(dir() / "result" / "points.csv");
  std::string line;
  std::getline(points, line);
  std::getline(points, line);
  EXPECT_EQ(line.rfind("stage,method,thickness_A,", 0), 0u) << line;
}

// Velmorant with the raw intensities and every beam: each TIFF's Software
// tag and the beams' CSV name the program, its version and the date.
TEST_F(Cu110, VelmorantNamesItsVersionInTiffAndCsv) {
#ifndef TEM_RELEASE_TEST_TIFF
  GTEST_SKIP() << "built without libtiff";
#else
  ASSERT_EQ(made_.status, 0) << made_.err;
  const Provenance expected("Velmorant");
  const ProgramRun run =
      run_in(dir(), "VELMORANT_PRESENTATION=silent VELMORANT_RAW=1 VELMORANT_BEAMS=1 " +
                        program("Velmorant") + " 2");
  if (run.status != 0 && run.err.find("without TIFF or PNG support") != std::string::npos)
    GTEST_SKIP() << "Velmorant built without libtiff or libpng";
  ASSERT_EQ(run.status, 0) << run.err;
  for (const char* name : {"DS_experiment_raw.tif", "DS_experiment_beams.tif"}) {
    TIFF* t = TIFFOpen((dir() / name).c_str(), "r");
    ASSERT_NE(t, nullptr) << name;
    int pages = 0;
    do {
      const char* software = nullptr;
      ASSERT_EQ(TIFFGetField(t, TIFFTAG_SOFTWARE, &software), 1) << name << " page " << pages;
      EXPECT_TRUE(expected.matches(software)) << name << " page " << pages << ": " << software;
      ++pages;
    } while (TIFFReadDirectory(t));
    TIFFClose(t);
    EXPECT_GE(pages, 1) << name;
  }
  const std::string line = first_line(dir() / "DS_experiment_beams.csv");
  ASSERT_EQ(line.rfind("# ", 0), 0u) << line;
  EXPECT_TRUE(expected.matches(line.substr(2))) << line;
#endif
}

// The convergence table, stopped after its second step (any change meets
// a tolerance of 1).
TEST_F(Cu110, ConvergenceTableNamesItsVersion) {
  const Provenance expected("velmorant_converge");
  const ProgramRun run =
      run_in(dir(), program("velmorant_converge") + " --tolerance 1 --csv table.csv");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string line = first_line(dir() / "table.csv");
  ASSERT_EQ(line.rfind("# ", 0), 0u) << line;
  EXPECT_TRUE(expected.matches(line.substr(2))) << line;
}

// Talvor2's map table: the provenance comment, then the column names.
TEST(Talvor2Map, TableNamesItsVersion) {
  Folder folder("talvor2_map");
  fs::copy_file(kSource / "examples" / "talvor2" / "copper.tv2", folder.dir() / "copper.tv2");
  const Provenance expected("Talvor2");
  const ProgramRun run =
      run_in(folder.dir(), "TALVOR2_THREADS=2 " + program("Talvor2") + " --map copper.tv2");
  ASSERT_EQ(run.status, 0) << run.out;
  std::ifstream table(folder.dir() / "copper_tv2.csv");
  std::string line;
  std::getline(table, line);
  ASSERT_EQ(line.rfind("# ", 0), 0u) << line;
  EXPECT_TRUE(expected.matches(line.substr(2))) << line;
  std::getline(table, line);
  EXPECT_EQ(line, "pattern,x,y,phi1,Phi,phi2,used,all,fit,solved,title");
}

// The Software text of a PNG file ("" when it has none): the tEXt chunk
// whose keyword is "Software".
std::string png_software(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  const std::string key = std::string("tEXtSoftware") + '\0';
  const std::size_t at = bytes.find(key);
  if (at < 4) return "";
  const std::size_t length = (std::size_t(std::uint8_t(bytes[at - 4])) << 24) |
                             (std::size_t(std::uint8_t(bytes[at - 3])) << 16) |
                             (std::size_t(std::uint8_t(bytes[at - 2])) << 8) |
                             std::uint8_t(bytes[at - 1]);
  return bytes.substr(at + key.size(), length - (key.size() - 4));
}

// The map picture carries the program, the version and the date as its
// Software text (Velmorant's PNG files and velmorant_fit's pictures as well).
TEST(Pictures, PngSoftwareTextNamesTheVersion) {
  Folder folder("talvor2_map_picture");
  const ProgramRun map =
      run_in(folder.dir(), program("talvor2_patterns") + " map default-cubic m 6 4 2 2");
  ASSERT_EQ(map.status, 0) << map.out << map.err;
  const ProgramRun run =
      run_in(folder.dir(), "TALVOR2_THREADS=2 " + program("Talvor2") + " --map m.tv2");
  ASSERT_EQ(run.status, 0) << run.out;
  if (!fs::exists(folder.dir() / "m_tv2.png")) GTEST_SKIP() << "built without libpng";
  const std::string software = png_software(folder.dir() / "m_tv2.png");
  EXPECT_TRUE(Provenance("Talvor2").matches(software)) << "\"" << software << "\"";
}

// Only the exact argument --version asks for the version: an input file
// whose name begins like it is read as before.
TEST(Talvor2Arguments, AFileNamedLikeTheOptionIsStillAnInput) {
  Folder folder("talvor2_option_name");
  fs::copy_file(kSource / "examples" / "talvor2" / "copper.tv2", folder.dir() / "--version.tv2");
  const ProgramRun run =
      run_in(folder.dir(), "TALVOR2_THREADS=2 " + program("Talvor2") + " --version.tv2");
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_TRUE(fs::exists(folder.dir() / "--version_tv2.res")) << run.out;
  EXPECT_EQ(run.out.find(kVersion + "\n"), std::string::npos) << run.out;
}

}  // namespace
