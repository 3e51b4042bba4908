// The .tv2 header and pattern reader: whole files in, console text and records out.
// SPDX-License-Identifier: BSD-3-Clause
#include "orientation/input/input_file.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "orientation/errors/report_fatal_error.hpp"
#include "orientation/geometry/crystal_geometry.hpp"

namespace talvor {
namespace {

const std::string kBlank16(16, '\n');

struct HeaderRun {
  std::string console;  // echo, then the stop text if the run stopped
  bool stopped = false;
  OrientationProblem problem;
  ScatteringPattern pattern;
  int patterns = 0;  // patterns read after the header
};

HeaderRun ReadFile(const std::string& text) {
  HeaderRun run;
  std::istringstream in(text);
  common::FreeFormReader reader(in);
  std::ostringstream out;
  SetDefaults(run.problem);
  try {
    ReadHeader(reader, "t.tv2", run.problem, out);
    while (ReadPattern(reader, run.patterns + 1, "t.tv2", run.pattern) == PatternStatus::read)
      ++run.patterns;
  } catch (const FatalStop& stop) {
    out << stop.what();
    run.stopped = true;
  }
  run.console = out.str();
  return run;
}

const std::string kPattern = "pattern 1\n3\n1 0 0\n0 1 0\n0 0 1\n";

TEST(ReadHeader, ConsoleTextOfWholeFiles) {
  const struct {
    const char* name;
    std::string file;
    std::string console;  // after the 16 empty lines
  } cases[] = {
      {"only _PatternData", "_PatternData\n" + kPattern, ""},
      {"no _PatternData", "# nothing\n_IndexingStrategy\n2\n",
       " Indexing strategy :                                    2\n Error reading t.tv2.\n"
       " t.tv2, line 4: the file ends before _PatternData.\n"},
      {"keyword in the wrong case", "_latticebasis\n1 0 0\n0 1 0\n0 0 1\n_PatternData\n",
       " Error reading t.tv2.\n t.tv2, line 1: \"_latticebasis\" is not a keyword.\n"},
      {"commented and ignored keywords",
       "#_LatticeBasis\nLatticeBasis\n  \n_PatternData  trailing words\n", ""},
      {"family count above the table", "_NumberOfFamiliesOfReflectingPlanes\n200\n_PatternData\n",
       " Number of families of reflecting planes :            128\n"},
      {"family count 0", "_NumberOfFamiliesOfReflectingPlanes\n0\n_PatternData\n",
       "\n Error: _NumberOfFamiliesOfReflectingPlanes cannot be smaller than 1\n t.tv2, line 2: "
       "found 0.\n\n"},
      {"family list before its count",
       "_FamiliesOfReflectingPlanes\n1 0 0\n1 1 0\n1 1 1\n2 1 "
       "0\n_NumberOfFamiliesOfReflectingPlanes\n4\n_PatternData\n",
       " Families of reflecting planes                       read\n"
       " Number of families of reflecting planes :              4\n"},
      {"parameters at their bounds", "_ParametersOfStrategy\n0.1 10.0\n_PatternData\n",
       " Parameters p_1 & p_2 of strategy :      0.1000   10.0000\n"},
      {"p1 below its range", "_ParametersOfStrategy\n0.09 2\n_PatternData\n",
       "\n Error: Parameter p_1 must be in the range [0.1,10.0]deg\n t.tv2, line 2: found "
       "0.09.\n\n"},
      {"p2 above its range", "_ParametersOfStrategy\n5, 10.5\n_PatternData\n",
       "\n Error: Parameter p_2 must be in the range [0.1,10.0]deg\n t.tv2, line 2: found "
       "10.5.\n\n"},
      {"strategy 0", "_IndexingStrategy\n0\n",
       "\n Error: _IndexingStrategy must be 1, 2, 3 or 4\n t.tv2, line 2: found 0.\n\n"},
      {"strategy 5", "# comment\n\n_IndexingStrategy\n5\n",
       "\n Error: _IndexingStrategy must be 1, 2, 3 or 4\n t.tv2, line 4: found 5.\n\n"},
      {"missing value at end of file", "_IndexingStrategy\n",
       "\n Error: Error reading _IndexingStrategy\n t.tv2, line 2: end of file.\n\n"},
      {"pattern count 0", "_NumberOfPatterns\n0\n",
       "\n Error: _NumberOfPatterns must be larger than 0\n t.tv2, line 2: found 0.\n\n"},
      {"symmetry count 25", "_NumberOfSymmetryOperations\n25\n",
       "\n Error: _NumberOfSymmetryOperations must be in the range [1,24]\n t.tv2, line 2: found "
       "25.\n\n"},
      {"symmetry count 0", "_NumberOfSymmetryOperations\n0\n",
       "\n Error: _NumberOfSymmetryOperations must be in the range [1,24]\n t.tv2, line 2: found "
       "0.\n\n"},
      {"unreadable basis", "_LatticeBasis\n1 0 0\n0 x 0\n",
       "\n Error: Error reading _LatticeBasis\n t.tv2, line 3: \"x\" is not a real number.\n\n"},
      {"every echo line",
       "_LatticeBasis\n4.05 0 0\n0 4.05 0\n0 0 "
       "-4.05\n_NumberOfSymmetryOperations\n1\n_SymmetryOperations\n0 0 0 0\n"
       "_IndexingStrategy\n1\n_NumberOfPatterns\n12\n_PrintComputationTime\n1\n_PatternData\n",
       " Basis vector 1 :      4.050000     0.000000     0.000000\n"
       " Basis vector 2 :      0.000000     4.050000     0.000000\n"
       " Basis vector 3 :      0.000000     0.000000    -4.050000\n"
       " Number of symmetry operations :                        1\n"
       " Symmetry operations                                 read\n"
       " Indexing strategy :                                    1\n"
       " Number of patterns :                                  12\n"
       " Print computation time :                               1\n"},
      {"two vectors", "_PatternData\ntitle\n2\n1 0 0\n0 1 0\n",
       "\n Error: Number of scattering vectors cannot be smaller than 3\n t.tv2, line 3, pattern "
       "1: found 2.\n\n"},
      {"33 vectors", "_PatternData\ntitle\n33\n",
       "\n Error: Number of scattering vectors cannot exceed 32\n t.tv2, line 3, pattern 1: found "
       "33.\n\n"},
      {"unreadable vector", "_PatternData\ntitle\n3\n1 0 0\n0 1 0\n0 0\n",
       "\n Error: Error reading _PatternData\n t.tv2, line 7, pattern 1: end of file.\n\n"},
      {"zero vector", "_PatternData\n" + kPattern + "second\n3\n1 0 0\n0 0 0\n0 0 1\n",
       "\n Error: A scattering vector has zero length: vector 2 of pattern 2 in t.tv2\n"
       " t.tv2, line 10, pattern 2.\n\n"},
      {"unreadable vector component",
       "_PatternData\n" + kPattern + "second\n3\n1 0 0\n0 1.0.0 0\n0 0 1\n",
       "\n Error: Error reading _PatternData\n t.tv2, line 10, pattern 2: \"1.0.0\" is not a real "
       "number.\n\n"},
      {"misspelt keyword after others",
       "_IndexingStrategy\n2\n# next\n_NumberOfPattern\n3\n_PatternData\n",
       " Indexing strategy :                                    2\n Error reading t.tv2.\n"
       " t.tv2, line 4: \"_NumberOfPattern\" is not a keyword.\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadFile(c.file).console, kBlank16 + c.console) << c.name;
}

TEST(ReadHeader, DefaultsAreTheCubicCrystal) {
  HeaderRun run = ReadFile("_PatternData\n" + kPattern);
  const OrientationProblem& p = run.problem;
  EXPECT_EQ(p.basis.a, Mat3::identity().a);
  ASSERT_EQ(p.familyCount, 4);
  EXPECT_EQ(p.families[3].h, 1);
  EXPECT_EQ(p.families[3].l, 3);
  EXPECT_EQ(p.symmetryCount, 24);
  EXPECT_EQ(p.strategy, IndexingStrategy::orientationVoting);
  EXPECT_FLOAT_EQ(p.cosP2, 0.9981348f);
  EXPECT_EQ(p.patternCount, 2147483647);
  EXPECT_EQ(p.printFlag, 0);
  EXPECT_EQ(run.patterns, 1);
}

TEST(ReadHeader, LaterBlocksOverwriteAndListsUseTheCountInForce) {
  HeaderRun run = ReadFile(
      "_NumberOfFamiliesOfReflectingPlanes\n2\n_FamiliesOfReflectingPlanes\n1 0 0\n1 1 0\n"
      "_IndexingStrategy\n1\n_IndexingStrategy\n4\n_PatternData\n");
  EXPECT_FALSE(run.stopped);
  EXPECT_EQ(run.problem.familyCount, 2);
  EXPECT_EQ(run.problem.families[1].k, 1);
  EXPECT_EQ(run.problem.strategy, IndexingStrategy::tripletVoting);
}

TEST(ReadHeader, ZeroAxisSymmetryIsTheIdentity) {
  HeaderRun run = ReadFile(
      "_NumberOfSymmetryOperations\n2\n_SymmetryOperations\n0 0 0 90\n1 0 0 180\n_PatternData\n");
  EXPECT_EQ(run.problem.symmetry[0].a, Mat3::identity().a);
  EXPECT_FLOAT_EQ(run.problem.symmetry[1](2, 2), -1.0f);
}

TEST(ReadPattern, VectorSplitOverTwoLinesAndNormalised) {
  HeaderRun run = ReadFile("_PatternData\ntitle\n3\n3\n4 0\n0 2 0\n0 0 5 extra words\n");
  ASSERT_EQ(run.patterns, 1);
  EXPECT_EQ(run.pattern.vectorCount, 3);
  EXPECT_FLOAT_EQ(run.pattern.vectors[0][0], 0.6f);
  EXPECT_FLOAT_EQ(run.pattern.vectors[0][1], 0.8f);
  EXPECT_FLOAT_EQ(run.pattern.vectors[2][2], 1.0f);
}

TEST(ReadPattern, EndOfFileOrUnreadableCountEndsThePatterns) {
  EXPECT_EQ(ReadFile("_PatternData\n" + kPattern + "trailing title only\n").patterns, 1);
  EXPECT_EQ(ReadFile("_PatternData\n" + kPattern + "title\nnot-a-count\n").patterns, 1);
  EXPECT_FALSE(ReadFile("_PatternData\n" + kPattern + "title\nnot-a-count\n").stopped);
}

}  // namespace
}  // namespace talvor
