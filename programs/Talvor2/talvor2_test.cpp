// Whole runs of Talvor2 in a temporary directory: console text and results file byte for byte.
// SPDX-License-Identifier: BSD-3-Clause
#include "programs/Talvor2/run_folder_fixture.hpp"
#include "programs/Talvor2/talvor2_run.hpp"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace talvor {
namespace {

namespace fs = std::filesystem;

// Twelve patterns of five exact plane normals of the default cubic crystal
// in known random orientations, and the lines they give (every vector used,
// fit 0; the angles agree with the generating orientations within 0.01
// degree after reduction by the cube's rotations).
const char* const kTwelvePatterns =
    "pattern 1\n"
    "5\n"
    " 0.085120 -0.221663 -0.971401\n"
    "-0.124949  0.694601  0.708461\n"
    "-0.378972 -0.385658 -0.841218\n"
    "-0.583013  0.748620  0.315694\n"
    " 0.127994 -0.963053 -0.236954\n"
    "pattern 2\n"
    "5\n"
    " 0.842524  0.265430  0.468722\n"
    " 0.220630 -0.722140  0.655619\n"
    "-0.487568 -0.663829 -0.567105\n"
    " 0.579026 -0.666694 -0.469306\n"
    " 0.122120  0.431333  0.893889\n"
    "pattern 3\n"
    "5\n"
    " 0.127144  0.909086  0.396732\n"
    " 0.662220 -0.704276  0.255853\n"
    " 0.423501 -0.661157  0.619289\n"
    " 0.939867 -0.238247  0.244722\n"
    "-0.626151 -0.707670 -0.327320\n"
    "pattern 4\n"
    "5\n"
    "-0.489708  0.852584  0.182446\n"
    " 0.298575 -0.032615  0.953829\n"
    "-0.221943 -0.844360  0.487644\n"
    " 0.351883 -0.884388  0.306652\n"
    " 0.793182 -0.064954  0.605511\n"
    "pattern 5\n"
    "5\n"
    " 0.468424 -0.723780  0.506677\n"
    " 0.047407 -0.963733  0.262625\n"
    " 0.034719 -0.938861 -0.342542\n"
    "-0.819548 -0.187836 -0.541349\n"
    "-0.829526 -0.369025  0.419175\n"
    "pattern 6\n"
    "5\n"
    " 0.823266  0.524967  0.215968\n"
    " 0.618566  0.750348 -0.233137\n"
    "-0.950587 -0.245456  0.190094\n"
    " 0.162409 -0.914996 -0.369333\n"
    " 0.634930 -0.652126 -0.414241\n"
    "pattern 7\n"
    "5\n"
    " 0.946598 -0.209910  0.244726\n"
    " 0.042424 -0.428078 -0.902745\n"
    "-0.223034 -0.405223  0.886595\n"
    "-0.704211  0.166011 -0.690310\n"
    " 0.355801 -0.528437  0.770818\n"
    "pattern 8\n"
    "5\n"
    "-0.750460 -0.222573 -0.622311\n"
    "-0.250874 -0.954786  0.159517\n"
    "-0.184362  0.974712 -0.126285\n"
    "-0.081867 -0.143270 -0.986292\n"
    "-0.431865 -0.489194 -0.757748\n"
    "pattern 9\n"
    "5\n"
    " 0.345426  0.875258 -0.338533\n"
    " 0.481006 -0.824471 -0.298130\n"
    " 0.038219  0.026793  0.998910\n"
    "-0.996103 -0.078499  0.040217\n"
    "-0.510772  0.477973  0.714601\n"
    "pattern 10\n"
    "5\n"
    " 0.587176 -0.138126  0.797587\n"
    "-0.911900  0.274865 -0.304775\n"
    "-0.495308  0.718025  0.488989\n"
    " 0.568284  0.737852  0.364182\n"
    "-0.635413  0.252410  0.729753\n"
    "pattern 11\n"
    "5\n"
    "-0.239618  0.859896 -0.450735\n"
    " 0.158293  0.492651  0.855709\n"
    "-0.796837 -0.174600 -0.578416\n"
    "-0.490208 -0.063649 -0.869278\n"
    "-0.951324 -0.252214 -0.177116\n"
    "pattern 12\n"
    "5\n"
    " 0.157945 -0.606163  0.779500\n"
    "-0.475357  0.822905 -0.311228\n"
    " 0.618310 -0.737636 -0.271267\n"
    " 0.563320 -0.453878 -0.690410\n"
    " 0.157934  0.247898 -0.955826\n";

const char* const kTwelveLines =
    "          1     265.91   28.07   75.28     5   5   0.000\n"
    "          2     202.59   41.10  175.77     5   5   0.000\n"
    "          3     181.71   42.60  203.80     5   5   0.000\n"
    "          4     158.93   46.97  204.24     5   5   0.000\n"
    "          5     178.50   15.27  139.17     5   5   0.000\n"
    "          6     320.46   31.52    0.05     5   5   0.000\n"
    "          7     156.70   44.99  195.76     5   5   0.000\n"
    "          8     271.80   39.42  101.47     5   5   0.000\n"
    "          9     125.03    2.67  194.50     5   5   0.000\n"
    "         10     241.26   18.11  146.39     5   5   0.000\n"
    "         11     227.66   50.82  131.74     5   5   0.000\n"
    "         12     254.06   24.50   93.64     5   5   0.000\n";

const std::string kBlank16(16, '\n');

std::string Banner() {
  std::ostringstream s;
  PrintBanner(s);
  return s.str();
}

std::string ResultsHeader(const std::string& input_name) {
  const std::string eq(55, '='), da(55, '-');
  return " " + eq + "\n " + da + "\n \n Talvor2 : Solutions for " + input_name + "\n \n " + da +
         "\n         no      ph1_1     Phi   phi_2  used/all     fit\n " + da + "\n";
}

// First `n` lines of a text.
std::string FirstLines(const std::string& text, int n) {
  std::size_t pos = 0;
  for (int i = 0; i < n; ++i) pos = text.find('\n', pos) + 1;
  return text.substr(0, pos);
}

const std::string kPause = " Press Enter to continue.\n";
const std::string kReport =
    std::string("\r") + std::string(60, ' ') + "\r CPU time :     0.000 sec\n\n";

std::string Saved(const std::string& name) { return " Results saved in file : " + name + "\n\n"; }

std::string Progress(int i, const char* total) {
  return "\r            Point nr : " + std::string(10 - std::to_string(i).size(), ' ') +
         std::to_string(i) + " -->" + total;
}

class Talvor2Run : public RunFolder {
protected:
  Talvor2Run() : RunFolder("talvor2_") {}
  // Runs the program; `stdin_text` is all the standard input there is. The
  // exit status is kept in `status`.
  std::string Run(const std::vector<std::string>& args, const std::string& stdin_text = "") {
    std::istringstream in(stdin_text);
    std::ostringstream out;
    RunEnvironment env{in, out, dir, [] { return 0.0f; }};
    status = RunTalvor2(args, env);
    return out.str();
  }
  int status = -1;
};

TEST_F(Talvor2Run, CommandLinesThatProcessNoFile) {
  const std::string options =
      "        options --map        also the map table <name>_tv2.csv and, for titles\n"
      "                             with positions x=.. y=.., the picture <name>_tv2.png\n"
      "                --ipf=CLASS  the picture's colours: cubic (m-3m) or hexagonal (6/mmm)\n";
  const std::string help =
      "\n This is a program for crystal orientation deterination\n based on normalized scattering "
      "vectors.\n"
      " For a description see the suite's README.md and docs/talvor2.md.\n\n"
      "        use    Talvor2 [options] [filename.tv2]\n" +
      options + "\n" + kPause;
  const std::string extension = " Error: Extention of filename is not .tv2.\n" + kPause;
  const std::string usage =
      " Error: Too many command line arguments.\n        use    Talvor2\n        or     Talvor2 "
      "-h\n"
      "        or     Talvor2 filename.tv2\n" +
      options + kPause;
  Put("a.tv2", "_PatternData\n");
  Put("b.tv2", "_PatternData\n");
  Put("sample.TV2", "_PatternData\n");
  const struct {
    std::vector<std::string> args;
    std::string console;
    int status;  // only the help text is a success
  } cases[] = {
      {{"h"}, help, 0},
      {{"help"}, help, 0},
      {{"-h"}, help, 0},
      {{"--help"}, help, 0},
      {{" -help "}, help, 0},
      {{"HELP"}, extension, 1},
      {{"sample.TV2"}, extension, 1},
      {{".tv2"}, extension, 1},
      {{"   "}, extension, 1},
      {{"a.tv2", "b.tv2"}, usage, 1},
      // A mistyped option is named, with the nearest one, before the usage.
      {{"--mapp", "a.tv2"}, " Error: unknown option --mapp; did you mean --map?\n" + usage, 1},
      {{"a.tv2", "--ipd=cubic"},
       " Error: unknown option --ipd=cubic; did you mean --ipf=CLASS?\n" + usage,
       1},
      {{"missing.tv2"}, " Error: Cannot open missing.tv2.\n" + kPause, 1},
      {{"  missing.tv2 "}, " Error: Cannot open missing.tv2.\n" + kPause, 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Run(c.args), c.console) << c.args[0];
    EXPECT_EQ(status, c.status) << c.args[0];
  }
  // Nothing was opened for writing.
  for (const auto& entry : fs::directory_iterator(dir))
    EXPECT_NE(entry.path().extension(), ".res") << entry.path();
}

TEST_F(Talvor2Run, DeclaredPatternsBeyondTheFileEndNormally) {
  Put("run1.tv2", std::string("_NumberOfPatterns\n25\n_PatternData\n") + kTwelvePatterns);
  EXPECT_EQ(Run({" run1.tv2  "}),
            kBlank16 + " Number of patterns :                                  25\n" + Banner() +
                Progress(10, "        25") + kReport + Saved("run1_tv2.res"));
  EXPECT_EQ(Get("run1_tv2.res"), ResultsHeader("run1.tv2") + kTwelveLines);
  EXPECT_EQ(status, 0);
  // A second run overwrites the results.
  Run({"run1.tv2"});
  EXPECT_EQ(Get("run1_tv2.res"), ResultsHeader("run1.tv2") + kTwelveLines);
}

TEST_F(Talvor2Run, WithoutAPatternCountTheFileIsReadToItsEnd) {
  Put("all.tv2", std::string("# every pattern\n_PatternData\n") + kTwelvePatterns);
  EXPECT_EQ(Run({"all.tv2"}),
            kBlank16 + Banner() + Progress(10, "2147483647") + kReport + Saved("all_tv2.res"));
  EXPECT_EQ(Get("all_tv2.res"), ResultsHeader("all.tv2") + kTwelveLines);
}

TEST_F(Talvor2Run, ThePatternCountLimitsTheRun) {
  Put("three.tv2", std::string("_NumberOfPatterns\n3\n_PatternData\n") + kTwelvePatterns);
  Run({"three.tv2"});
  EXPECT_EQ(Get("three_tv2.res"), ResultsHeader("three.tv2") + FirstLines(kTwelveLines, 3));
}

TEST_F(Talvor2Run, PrintFlagDecidesThePause) {
  for (int flag : {0, 1}) {
    Put("p.tv2", "_PrintComputationTime\n" + std::to_string(flag) + "\n_PatternData\n" +
                     FirstLines(kTwelvePatterns, 7));
    EXPECT_EQ(Run({"p.tv2"}), kBlank16 +
                                  " Print computation time :                               " +
                                  std::to_string(flag) + "\n" + Banner() + kReport +
                                  Saved("p_tv2.res") + (flag ? kPause : ""));
  }
}

TEST_F(Talvor2Run, NameFromThePrompt) {
  Put("typed.tv2", std::string("_PatternData\n") + FirstLines(kTwelvePatterns, 7));
  EXPECT_EQ(Run({}, "  typed.tv2, ignored\n"), Banner() + " Enter filename : " + kBlank16 +
                                                   Banner() + kReport + Saved("typed_tv2.res"));
  EXPECT_EQ(Get("typed_tv2.res"), ResultsHeader("typed.tv2") + FirstLines(kTwelveLines, 1));
  EXPECT_EQ(status, 0);
  // End of input at the prompt ends the program without waiting.
  EXPECT_EQ(Run({}, ""),
            Banner() + " Enter filename : \n Error: no file name was entered (end of input).\n");
  EXPECT_EQ(status, 1);
}

TEST_F(Talvor2Run, AnErrorInALaterPatternKeepsTheEarlierLines) {
  Put("bad.tv2", std::string("_PatternData\n") + FirstLines(kTwelvePatterns, 14) +
                     "pattern 3\n2\n1 0 0\n0 1 0\n");
  EXPECT_EQ(Run({"bad.tv2"}),
            kBlank16 + Banner() +
                "\n Error: Number of scattering vectors cannot be smaller than 3\n"
                " bad.tv2, line 17, pattern 3: found 2.\n\n" +
                kPause);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(Get("bad_tv2.res"), ResultsHeader("bad.tv2") + FirstLines(kTwelveLines, 2));
}

TEST_F(Talvor2Run, HeaderAndGeometryErrorsStopBeforeTheResultsFile) {
  const struct {
    const char* file;
    std::string console;
  } cases[] = {
      {"_LatticeBasis\n1 0 0\n0 1 0\n1 1 0\n_PatternData\n",
       " Basis vector 1 :      1.000000     0.000000     0.000000\n"
       " Basis vector 2 :      0.000000     1.000000     0.000000\n"
       " Basis vector 3 :      1.000000     1.000000     0.000000\n"
       "\n Error: Vectors of the crystal basis are coplanar.\n"
       " e.tv2, line 1: _LatticeBasis.\n\n"},
      {"_NumberOfFamiliesOfReflectingPlanes\n3\n_FamiliesOfReflectingPlanes\n1 0 0\n0 0 0\n1 1 "
       "1\n_PatternData\n",
       " Number of families of reflecting planes :              3\n"
       " Families of reflecting planes                       read\n"
       "\n Error: One of the reflections has Miller indices (0 0 0).\n"
       " e.tv2, line 5: family 2.\n\n"},
      {"_Unknown\n_PatternData\n",
       " Error reading e.tv2.\n e.tv2, line 1: \"_Unknown\" is not a keyword.\n"},
      {"# a misspelt keyword\n_IndexingStrategy\n2\n_NumberOfPaterns\n4\n_PatternData\n",
       " Indexing strategy :                                    2\n"
       " Error reading e.tv2.\n e.tv2, line 4: \"_NumberOfPaterns\" is not a keyword.\n"},
  };
  for (const auto& c : cases) {
    Put("e.tv2", c.file);
    EXPECT_EQ(Run({"e.tv2"}), kBlank16 + c.console + kPause) << c.file;
    EXPECT_EQ(status, 1) << c.file;
    EXPECT_FALSE(fs::exists(dir / "e_tv2.res"));
  }
}

TEST_F(Talvor2Run, ResultsFileThatCannotBeCreated) {
  Put("ro.tv2", std::string("_PatternData\n") + FirstLines(kTwelvePatterns, 7));
  fs::create_directory(dir / "ro_tv2.res");  // a directory where the file should go
  EXPECT_EQ(Run({"ro.tv2"}), kBlank16 + Banner() + " Error: Cannot open ro_tv2.res.\n" + kPause);
  EXPECT_EQ(status, 1);
}

// The numbers of each results line: pattern, three angles, used, all, fit.
std::vector<std::array<double, 7>> ResultNumbers(const std::string& text) {
  std::vector<std::array<double, 7>> rows;
  std::istringstream lines(text.substr(ResultsHeader("s.tv2").size()));
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::array<double, 7> row{};
    for (double& x : row) fields >> x;
    rows.push_back(row);
  }
  return rows;
}

TEST_F(Talvor2Run, TheLengthUnitOfTheBasisDoesNotChangeTheResults) {
  // The default cube written with edges from 1e-20 to 1e20. A power of two
  // changes no bit, so the results file is the same byte for byte; a power
  // of ten moves the plane normals by a rounding, so the angles agree to
  // the last printed digit.
  const std::string reference = ResultsHeader("s.tv2") + kTwelveLines;
  auto run_with_edge = [&](const std::string& a) {
    const std::string basis = a + " 0 0\n0 " + a + " 0\n0 0 " + a + "\n";
    Put("s.tv2", "_LatticeBasis\n" + basis + "_PatternData\n" + kTwelvePatterns);
    Run({"s.tv2"});
    EXPECT_EQ(status, 0) << a;
    return Get("s_tv2.res");
  };
  for (int exponent : {-66, -40, -10, 0, 2, 10, 40, 66}) {  // 2^66 = 7.4e19
    std::ostringstream a;
    a.precision(10);
    a << std::ldexp(1.0f, exponent);
    EXPECT_EQ(run_with_edge(a.str()), reference) << a.str();
  }
  const auto expected = ResultNumbers(reference);
  for (const char* a : {"1e-20", "1e-12", "1e-6", "0.001", "4.05", "1e3", "1e6", "1e12", "1e20"}) {
    const auto got = ResultNumbers(run_with_edge(a));
    ASSERT_EQ(got.size(), expected.size()) << a;
    for (std::size_t i = 0; i < got.size(); ++i)
      for (int k = 0; k < 7; ++k)
        EXPECT_NEAR(got[i][k], expected[i][k], 0.0101) << a << " line " << i + 1;
  }
}

// Runs Talvor2 in a child process whose files may not grow beyond `limit`
// bytes (the way a full disk ends a write); SIGXFSZ is ignored so that the
// write fails instead of killing the process. Returns the console text.
std::string RunWithFileSizeLimit(const fs::path& dir, const std::string& input, rlim_t limit,
                                 int& exit_status) {
  int fds[2];
  if (pipe(fds) != 0) return "pipe failed";
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    signal(SIGXFSZ, SIG_IGN);
    rlimit rl{limit, limit};
    setrlimit(RLIMIT_FSIZE, &rl);
    std::istringstream in;
    std::ostringstream out;
    RunEnvironment env{in, out, dir, [] { return 0.0f; }};
    const int status = RunTalvor2({input}, env);
    const std::string text = out.str();
    for (std::size_t done = 0; done < text.size();) {
      const ssize_t n = write(fds[1], text.data() + done, text.size() - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    _exit(status);
  }
  close(fds[1]);
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;)
    text.append(buffer, static_cast<std::size_t>(n));
  close(fds[0]);
  int wait_status = 0;
  waitpid(pid, &wait_status, 0);
  exit_status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
  return text;
}

TEST_F(Talvor2Run, AFullDiskStopsWithTheFileAndLineAndKeepsTheCompleteLines) {
  Put("full.tv2", std::string("_PatternData\n") + kTwelvePatterns);
  const std::string header = ResultsHeader("full.tv2");
  const struct {
    rlim_t limit;
    int complete;  // results lines that fit
  } cases[] = {
      {header.size() + 2 * 57 + 20, 2},  // the third line is cut in the middle
      {header.size() + 5 * 57, 5},       // the sixth line finds no room at all
      {30, -1},                          // not even the header fits
  };
  for (const auto& c : cases) {
    int exit_status = -1;
    const std::string console = RunWithFileSizeLimit(dir, "full.tv2", c.limit, exit_status);
    const int lines = c.complete < 0 ? 0 : 8 + c.complete;
    const std::string explanation = "\n Error: Cannot write full_tv2.res.\n full_tv2.res, line " +
                                    std::to_string(lines + 1) + ": File too large; the " +
                                    std::to_string(lines) + " lines before it are complete.\n\n";
    EXPECT_EQ(exit_status, 1) << c.limit;
    EXPECT_NE(console.find(explanation + kPause), std::string::npos) << console;
    EXPECT_EQ(console.find("Results saved"), std::string::npos) << console;
    const std::string expected =
        c.complete < 0 ? header.substr(0, 0) : header + FirstLines(kTwelveLines, c.complete);
    EXPECT_EQ(Get("full_tv2.res"), expected) << c.limit;
  }
}

}  // namespace
}  // namespace talvor
