// Choice of the presentation for a run: forced by VELMORANT_PRESENTATION, else by what the session offers.
// SPDX-License-Identifier: BSD-3-Clause
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "simulator/progress/presentation.hpp"
#include "simulator/progress/silent_presentation.hpp"
#include "simulator/progress/terminal_presentation.hpp"
#ifdef VELMORANT_HAVE_WINDOW
#include "simulator/progress/window_presentation.hpp"
#endif

namespace velmorant {

std::string_view choose_presentation(std::string_view forced, bool window_available,
                                     bool stderr_is_terminal, std::string* note) {
  std::string_view by_default = window_available     ? "window"
                                : stderr_is_terminal ? "terminal"
                                                     : "silent";
  if (forced.empty()) return by_default;
  if (forced == "terminal" || forced == "silent") return forced;
  if (forced == "window") {
    if (window_available) return "window";
    if (note)
      *note = "VELMORANT_PRESENTATION=window: no window can be opened here (" +
              std::string(stderr_is_terminal ? "terminal" : "silent") + " progress instead)";
    return stderr_is_terminal ? "terminal" : "silent";
  }
  if (note)
    *note = "VELMORANT_PRESENTATION=" + std::string(forced) +
            " is not one of window, terminal, silent (ignored)";
  return by_default;
}

std::unique_ptr<Presentation> make_presentation() {
  const char* env = std::getenv("VELMORANT_PRESENTATION");
  std::string_view forced = env ? env : "";
  const char* display = std::getenv("DISPLAY");
  bool window_possible = false;
#ifdef VELMORANT_HAVE_WINDOW
  window_possible = display && *display;
#else
  (void)display;
#endif
  bool stderr_tty = isatty(STDERR_FILENO) == 1;
  std::string note;
  std::string_view choice = choose_presentation(forced, window_possible, stderr_tty, &note);
#ifdef VELMORANT_HAVE_WINDOW
  if (choice == "window") {
    std::string why_not;
    if (auto window = make_window_presentation(&why_not)) return window;
    // DISPLAY was set but the server does not answer: say so, and go on without.
    note.clear();
    choice = choose_presentation(forced == "window" ? "" : forced, false, stderr_tty, &note);
    std::fprintf(stderr, "Velmorant: %s; %s progress instead\n", why_not.c_str(),
                 std::string(choice).c_str());
  }
#endif
  if (!note.empty()) std::fprintf(stderr, "Velmorant: %s\n", note.c_str());
  if (choice == "terminal")
    return std::make_unique<TerminalPresentation>(stderr, isatty(STDIN_FILENO) ? STDIN_FILENO : -1);
  return std::make_unique<SilentPresentation>();
}

}  // namespace velmorant
