// Test support: a test's own command line run by the shell in a folder, with its exit status and output.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/testing/scratch_folder.hpp"

namespace common::testing {

struct ShellRun {
  int status = -1;  // exit status; -1 when the command did not exit normally
  std::string out, err;
};

// Runs `command` (the test's own text: no user input ever reaches a shell
// this way) in `dir` without standard input, so that a program's pause ends
// at once; standard output and error are returned and their files removed.
inline ShellRun run_in(const std::filesystem::path& dir, const std::string& command) {
  const std::string full =
      "cd '" + dir.string() + "' && (" + command + ") >stdout.txt 2>stderr.txt </dev/null";
  const int raw = std::system(full.c_str());
  ShellRun r{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read_file_text(dir / "stdout.txt"),
             read_file_text(dir / "stderr.txt")};
  std::filesystem::remove(dir / "stdout.txt");
  std::filesystem::remove(dir / "stderr.txt");
  return r;
}

}  // namespace common::testing
