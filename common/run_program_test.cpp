// Tests of starting a program without a shell.
// SPDX-License-Identifier: BSD-3-Clause
#include "common/run_program.hpp"

#include <gtest/gtest.h>

#include <filesystem>

#include "common/testing/scratch_folder.hpp"

namespace common {
namespace {

TEST(RunProgram, ArgumentsReachTheProgramAsTheyAreAndNoShellReadsThem) {
  const testing::ScratchFolder dir("run_program");
  // A name that a shell would split and run: with a shell, `touch` would
  // make a file called "injected" and the first file would be named "it".
  const std::string name = (dir / "it's; touch injected; '").string();
  const ProgramStatus s = run_program({"touch", name});
  EXPECT_TRUE(s.succeeded()) << s.failure;
  EXPECT_TRUE(std::filesystem::exists(name));
  EXPECT_FALSE(std::filesystem::exists("injected"));
  EXPECT_FALSE(std::filesystem::exists(dir / "injected"));
}

TEST(RunProgram, ReportsTheRealEnding) {
  struct Case {
    std::vector<std::string> argv;
    bool started;
    int exit_status;
    int signal;
  };
  const Case cases[] = {
      {{"true"}, true, 0, 0},
      {{"sh", "-c", "exit 3"}, true, 3, 0},
      {{"sh", "-c", "kill -TERM $$"}, true, -1, 15},
      {{"no-such-program-anywhere"}, false, -1, 0},
      {{}, false, -1, 0},
  };
  for (const Case& c : cases) {
    const ProgramStatus s = run_program(c.argv);
    const std::string what = c.argv.empty() ? "(none)" : c.argv.back();
    EXPECT_EQ(s.started, c.started) << what;
    EXPECT_EQ(s.exit_status, c.exit_status) << what;
    EXPECT_EQ(s.signal, c.signal) << what;
    EXPECT_EQ(s.succeeded(), c.started && c.exit_status == 0 && c.signal == 0) << what;
    EXPECT_EQ(s.failure.empty(), s.succeeded()) << what << ": " << s.failure;
  }
}

TEST(ShellWords, ReadBackByAShellAsTheSameWords) {
  const std::vector<std::string> words = {"python3", "/a b/plot.py", "it's", "pearson", ""};
  EXPECT_EQ(shell_words(words), "python3 '/a b/plot.py' 'it'\\''s' pearson ''");
}

}  // namespace
}  // namespace common
