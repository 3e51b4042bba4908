// SIGINT/SIGTERM handlers of a run: set a flag; on a second signal put the terminal back and end.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/progress/interrupt.hpp"

#include <unistd.h>

namespace velmorant {

namespace {

// What the handler needs, and nothing else (see the header): the caught
// signal, and the terminal whose modes the run changed.
volatile std::sig_atomic_t g_signal = 0;
volatile std::sig_atomic_t g_terminal_fd = -1;
termios g_terminal_saved{};

extern "C" void on_interrupt(int sig) {
  if (g_signal == 0) {
    g_signal = sig;  // the run control ends the run at its next pass
    return;
  }
  // Asked twice: the run did not get there in time. Only async-signal-safe calls.
  if (g_terminal_fd >= 0) ::tcsetattr(g_terminal_fd, TCSANOW, &g_terminal_saved);
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

}  // namespace

InterruptHandlers::InterruptHandlers() {
  g_signal = 0;
  struct sigaction action {};
  action.sa_handler = on_interrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a waiting poll returns at once
  ::sigaction(SIGINT, &action, &previous_int_);
  ::sigaction(SIGTERM, &action, &previous_term_);
  // A signal the process was started to ignore (a background job, nohup) stays ignored.
  if (previous_int_.sa_handler == SIG_IGN) ::sigaction(SIGINT, &previous_int_, nullptr);
  if (previous_term_.sa_handler == SIG_IGN) ::sigaction(SIGTERM, &previous_term_, nullptr);
}

InterruptHandlers::~InterruptHandlers() {
  ::sigaction(SIGINT, &previous_int_, nullptr);
  ::sigaction(SIGTERM, &previous_term_, nullptr);
  g_signal = 0;
}

const volatile std::sig_atomic_t* InterruptHandlers::flag() const { return &g_signal; }

void register_terminal_restore(int fd, const termios& saved) {
  g_terminal_fd = -1;  // the handler never reads half-copied settings
  g_terminal_saved = saved;
  g_terminal_fd = fd;
}

void unregister_terminal_restore() { g_terminal_fd = -1; }

}  // namespace velmorant
