// Tests of the result-file lines and of replacing the file whole.
// SPDX-License-Identifier: BSD-3-Clause
#include "programs/Velmorant/result_file.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "programs/Velmorant/app_test_support.hpp"
#include "simulator/image/file_error.hpp"

namespace velmorant {
namespace {

using testing::read_text;
using testing::ScratchWorkingDirectory;

TEST(ResultFile, LinesBeginWithABlankAndReadBackExactly) {
  const std::array<float, 3> e = {1234.5677f, 0.1f, 3.0e-5f};
  const std::string line = estimates_line(e);
  EXPECT_EQ(line[0], ' ');
  std::istringstream s(line);
  float back[3];
  s >> back[0] >> back[1] >> back[2];
  for (int k = 0; k < 3; ++k) EXPECT_EQ(back[k], e[k]);
  EXPECT_EQ(correlation_line(2.0f), " 2.0");
  EXPECT_EQ(correlation_line(-1.0f), " -1.0");
  EXPECT_EQ(std::stof(correlation_line(0.98765432f)), 0.98765432f);
}

TEST(ResultFile, ReplacedWholeWithNothingLeftBeside) {
  ScratchWorkingDirectory dir;
  testing::write_text(kResultFileName, " 0.1 0.2 0.3 and a much longer earlier content\n");
  write_result_file(kRunWithoutResult);
  EXPECT_EQ(read_text(kResultFileName), "  -101\n");
  write_result_file(correlation_line(0.5f));
  EXPECT_EQ(read_text(kResultFileName), " 0.5\n");
  int files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(".")) ++files;
  EXPECT_EQ(files, 1);
}

TEST(ResultFile, FailureIsAnErrorNamingTheFileAndLeavesNoTemporary) {
  ScratchWorkingDirectory dir;
  std::filesystem::create_directory(kResultFileName);  // cannot be replaced by a file
  try {
    write_result_file(" 0.5");
    FAIL() << "no error";
  } catch (const FileError& e) {
    EXPECT_NE(std::string(e.what()).find(kResultFileName), std::string::npos) << e.what();
  }
  int entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(".")) ++entries;
  EXPECT_EQ(entries, 1);
}

}  // namespace
}  // namespace velmorant
