// Ctrl+C and termination requests during a run: a flag the run control polls, and the terminal put back at once on a second request.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <signal.h>
#include <termios.h>

#include <csignal>

namespace velmorant {

// While an object of this class lives, SIGINT and SIGTERM only set a flag
// (the signal's number). RunControl::watch_interrupt makes the run control
// see it at its next pass (at least every pixel, every few structure
// factors of the beam search, every 100 ms while suspended) and end the run
// as the user's Exit does: the presentation is closed, which gives a
// terminal back its echo, and the driver leaves "  -101" in the result file.
// A second signal before that puts back the terminal registered with
// register_terminal_restore, if any, and ends the process by the signal's
// default action.
//
// Signal dispositions are process-wide: one object at a time. The only
// mutable globals of this mechanism are what a handler strictly needs: the
// flag (a volatile sig_atomic_t) and the terminal settings to put back.
class InterruptHandlers {
public:
  InterruptHandlers();   // installs the handlers, clears the flag
  ~InterruptHandlers();  // puts back the previous handlers
  InterruptHandlers(const InterruptHandlers&) = delete;
  InterruptHandlers& operator=(const InterruptHandlers&) = delete;

  // The signal number caught (SIGINT, SIGTERM), 0 while none.
  const volatile std::sig_atomic_t* flag() const;
  int signal_number() const { return static_cast<int>(*flag()); }

private:
  struct sigaction previous_int_ {};
  struct sigaction previous_term_ {};
};

// The terminal on `fd` has had its modes changed from `saved`: a second
// signal restores them before the process ends. Registered by the terminal
// presentation while its keys are read without echo.
void register_terminal_restore(int fd, const termios& saved);
void unregister_terminal_restore();

}  // namespace velmorant
