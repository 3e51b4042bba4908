// Test support: a test's own command line run in a folder, with its exit status and output.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "common/testing/scratch_folder.hpp"

namespace common::testing {

struct ShellRun {
  int status = -1;  // exit status; -1 when the command did not exit normally
  std::string out, err;
};

// Runs `command`, the test's own text (environment assignments and program
// paths; no user input), by /bin/sh in `dir`. The folder is entered by the
// child itself and the output files are opened by it, so no path reaches
// the shell; standard input is /dev/null, so that a program's pause ends at
// once. Standard output and error are returned and their files removed.
inline ShellRun run_in(const std::filesystem::path& dir, const std::string& command) {
  const std::filesystem::path out = dir / "stdout.txt", err = dir / "stderr.txt";
  ShellRun r;
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int in = ::open("/dev/null", O_RDONLY);
    const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || o < 0 || e < 0 || ::chdir(dir.c_str()) != 0 || ::dup2(in, 0) < 0 ||
        ::dup2(o, 1) < 0 || ::dup2(e, 2) < 0)
      ::_exit(127);
    ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  if (pid > 0) {
    int raw = 0;
    while (::waitpid(pid, &raw, 0) < 0 && errno == EINTR) {
    }
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  r.out = read_file_text(out);
  r.err = read_file_text(err);
  std::filesystem::remove(out);
  std::filesystem::remove(err);
  return r;
}

}  // namespace common::testing
