// Starting another program with posix_spawnp and waiting for it.
// SPDX-License-Identifier: BSD-3-Clause
#include "common/run_program.hpp"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace common {

ProgramStatus run_program(const std::vector<std::string>& argv) {
  ProgramStatus status;
  if (argv.empty()) {
    status.failure = "no program was named";
    return status;
  }
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  const int error = ::posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ);
  if (error != 0) {
    status.failure = "cannot start " + argv[0] + ": " + std::strerror(error);
    return status;
  }
  status.started = true;
  int raw = 0;
  while (::waitpid(pid, &raw, 0) < 0) {
    if (errno != EINTR) {
      status.failure = "cannot wait for " + argv[0] + ": " + std::strerror(errno);
      return status;
    }
  }
  if (WIFEXITED(raw)) {
    status.exit_status = WEXITSTATUS(raw);
    if (status.exit_status != 0)
      status.failure = argv[0] + " exited with status " + std::to_string(status.exit_status);
  } else if (WIFSIGNALED(raw)) {
    status.signal = WTERMSIG(raw);
    status.failure = argv[0] + " was ended by signal " + std::to_string(status.signal);
  }
  return status;
}

std::string shell_words(const std::vector<std::string>& argv) {
  std::string out;
  for (const std::string& a : argv) {
    if (!out.empty()) out += ' ';
    const bool plain = !a.empty() && a.find_first_not_of(
                                         "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                         "0123456789_-./=:,+@%") == std::string::npos;
    if (plain) {
      out += a;
      continue;
    }
    out += '\'';
    for (char c : a) {
      if (c == '\'')
        out += "'\\''";
      else
        out += c;
    }
    out += '\'';
  }
  return out;
}

}  // namespace common
