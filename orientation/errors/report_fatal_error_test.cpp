// Fatal-error messages and the console text of a stop.
// SPDX-License-Identifier: BSD-3-Clause
#include "orientation/errors/report_fatal_error.hpp"

#include <gtest/gtest.h>

#include <sstream>

namespace talvor {
namespace {

std::string StopText(int code) {
  try {
    ReportFatalError(code);
  } catch (const FatalStop& stop) {
    std::istringstream in;  // end of input: the pause returns at once
    std::ostringstream out;
    ShowFatalStop(stop, in, out);
    return out.str();
  }
  return "no stop";
}

TEST(ReportFatalError, CoplanarBasisLinesAndPause) {
  EXPECT_EQ(StopText(kCoplanarBasis),
            "\n Error: Vectors of the crystal basis are coplanar.\n\n Press Enter to continue.\n");
}

TEST(ReportFatalError, VectorLimitComposedInThreeColumns) {
  EXPECT_EQ(
      StopText(kTooManyVectors),
      "\n Error: Number of scattering vectors cannot exceed 32\n\n Press Enter to continue.\n");
}

TEST(ReportFatalError, EveryCodeHasItsMessage) {
  const struct {
    int code;
    const char* message;
  } cases[] = {
      {2, "One of the reflections has Miller indices (0 0 0)."},
      {3, "Error reading _LatticeBasis"},
      {4, "Error reading _NumberOfFamiliesOfReflectingPlanes"},
      {5, "Error reading _FamiliesOfReflectingPlanes"},
      {6, "Error reading _NumberOfSymmetryOperations"},
      {7, "Error reading _SymmetryOperations"},
      {8, "Error reading _IndexingStrategy"},
      {9, "Error reading _ParametersOfStrategy"},
      {10, "Error reading _NumberOfPatterns"},
      {11, "Error reading _PrintComputationTime"},
      {12, "_IndexingStrategy must be 1, 2, 3 or 4"},
      {13, "Parameter p_1 must be in the range [0.1,10.0]deg"},
      {14, "Parameter p_2 must be in the range [0.1,10.0]deg"},
      {15, "_NumberOfPatterns must be larger than 0"},
      {16, "Number of scattering vectors cannot be smaller than 3"},
      {18, "Error reading _PatternData"},
      {19, "_NumberOfFamiliesOfReflectingPlanes cannot be smaller than 1"},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorMessage(c.code), c.message) << "code " << c.code;
}

TEST(ReportFatalError, DetailFollowsTheMessage) {
  try {
    ReportFatalError(kZeroLengthVector, ": vector 2 of pattern 5 in a.tv2");
  } catch (const FatalStop& stop) {
    EXPECT_EQ(std::string(stop.what()),
              "\n Error: A scattering vector has zero length: vector 2 of pattern 5 in a.tv2\n\n");
  }
}

TEST(StopWithLine, OneFreeFormLine) {
  try {
    StopWithLine("Error reading x.tv2.");
  } catch (const FatalStop& stop) {
    EXPECT_EQ(std::string(stop.what()), " Error reading x.tv2.\n");
  }
}

}  // namespace
}  // namespace talvor
