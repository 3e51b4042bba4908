// Starting another program without a shell: an argument vector, the real exit status.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <string>
#include <vector>

namespace common {

// How a started program ended.
struct ProgramStatus {
  bool started = false;  // false: it could not be started (`failure` says why)
  int exit_status = -1;  // its exit status when it ended normally, else -1
  int signal = 0;        // the signal that ended it, 0 when it exited
  std::string failure;   // why it failed, in words ("" when it exited with status 0)
  bool succeeded() const { return started && signal == 0 && exit_status == 0; }
};

// Runs argv[0] (looked up on PATH when it holds no '/') with the arguments
// argv[1..], inheriting the standard streams and the environment, and waits
// for it. No shell sees the arguments: quotes, spaces and ';' in them reach
// the program as they are. An empty argv does not start anything.
ProgramStatus run_program(const std::vector<std::string>& argv);

// The command as a POSIX shell would read it back (each word in single
// quotes where it needs them), for messages that show a command to copy.
std::string shell_words(const std::vector<std::string>& argv);

}  // namespace common
