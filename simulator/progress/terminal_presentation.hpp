// TerminalPresentation: the progress dialog as one line on a terminal, with keys for Suspend, Continue and Exit.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once
#include <cstdio>
#include <deque>
#include <string>

#include <termios.h>

#include "simulator/progress/presentation.hpp"

namespace velmorant {

// Draws, in place on one line of `out` (normally standard error):
//   [#########...........]  42%       Time to complete :    0h  1m 60s  <P>suspend
// followed by the keys that act now. Keys are read from `key_fd` (a
// terminal, switched to unbuffered input without echo while shown; -1 = no
// keys; also none when the run is not in the terminal's foreground): the mnemonic letters of the enabled buttons (p = Suspend,
// c = Continue, x = Exit, also with Alt), and Enter or space for the focused
// button. A disabled button ignores its key. Keys are looked for at most
// every `poll_ms` and the line is redrawn at most every `redraw_ms`
// milliseconds (button changes are drawn at once).
class TerminalPresentation : public Presentation {
public:
  TerminalPresentation(std::FILE* out, int key_fd, int poll_ms = 20, int redraw_ms = 200);
  ~TerminalPresentation() override;  // restores the terminal
  TerminalPresentation(const TerminalPresentation&) = delete;
  TerminalPresentation& operator=(const TerminalPresentation&) = delete;

  void show() override;
  void close() override;
  void set_text(int control, std::string_view text) override;
  void enable(int control, bool enabled) override;
  void set_bar(int percent) override;
  void set_focus(int control) override;
  bool peek_message() override;
  FetchResult fetch_message() override;
  bool filter_message() override;
  void dispatch_message() override;
  void post_quit() override;
  void wait_for_message() override;
  std::string_view name() const override { return "terminal"; }

  // The line as it would be drawn now (without the leading carriage return).
  std::string status_line() const;

private:
  struct Message {
    enum Kind { key, click, quit } kind;
    int value;  // the key's character or the clicked control
  };
  void read_keys(int timeout_ms);
  void redraw(bool force);
  int button_index(int control) const;
  void press(int control);  // a click on an enabled button reaches the dialog
  void restore_terminal();

  std::FILE* out_;
  int key_fd_;
  bool terminal_saved_ = false;
  termios saved_termios_{};
  bool shown_ = false;
  bool closed_ = false;
  bool escape_pending_ = false;  // ESC seen: the next letter is an Alt+letter
  std::deque<Message> queue_;
  Message current_{Message::key, 0};
  std::string time_text_;
  std::string labels_[3];  // Exit, Start/Continue, Suspend
  bool enabled_[3] = {true, true, true};
  int focus_ = 0;
  int percent_ = 0;
  long long poll_interval_ns_;
  long long redraw_interval_ns_;
  long long last_poll_ns_ = 0;
  long long last_draw_ns_ = 0;
  bool dirty_ = true;
};

}  // namespace velmorant
