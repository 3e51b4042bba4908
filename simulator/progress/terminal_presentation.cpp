// The progress dialog on a terminal: one line redrawn in place, keys read without echo.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/progress/terminal_presentation.hpp"

#include <poll.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <thread>

#include "simulator/progress/interrupt.hpp"

namespace velmorant {

namespace {

constexpr int kBarWidth = 16;     // characters of the drawn bar
constexpr int kIdleWaitMs = 100;  // wait for a key while suspended

long long now_ns() {
  using namespace std::chrono;
  return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

// Button slots in drawing order; index into labels_/enabled_.
constexpr int kButtons[3] = {kStartButton, kSuspendButton, kExitButton};

std::string without_ampersand(const std::string& label) {
  std::string plain;
  for (char c : label)
    if (c != '&') plain += c;
  return plain;
}

char mnemonic(const std::string& label) {
  auto amp = label.find('&');
  if (amp == std::string::npos || amp + 1 >= label.size()) return 0;
  return static_cast<char>(std::tolower(static_cast<unsigned char>(label[amp + 1])));
}

}  // namespace

TerminalPresentation::TerminalPresentation(std::FILE* out, int key_fd, int poll_ms, int redraw_ms)
    : out_(out),
      key_fd_(key_fd),
      poll_interval_ns_(poll_ms * 1000000LL),
      redraw_interval_ns_(redraw_ms * 1000000LL) {
  labels_[0] = std::string(kStartText);
  labels_[1] = std::string(kSuspendText);
  labels_[2] = std::string(kExitText);
}

TerminalPresentation::~TerminalPresentation() { restore_terminal(); }

int TerminalPresentation::button_index(int control) const {
  for (int i = 0; i < 3; ++i)
    if (kButtons[i] == control) return i;
  return -1;
}

void TerminalPresentation::show() {
  // A run started in the background must not touch the terminal's modes or
  // read from it (the shell would stop it): it gets no keys.
  if (key_fd_ >= 0 && isatty(key_fd_) && tcgetpgrp(key_fd_) != getpgrp()) key_fd_ = -1;
  if (key_fd_ >= 0 && isatty(key_fd_) && tcgetattr(key_fd_, &saved_termios_) == 0) {
    termios raw = saved_termios_;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    register_terminal_restore(key_fd_, saved_termios_);  // a second Ctrl+C puts it back at once
    if (tcsetattr(key_fd_, TCSANOW, &raw) == 0)
      terminal_saved_ = true;
    else
      unregister_terminal_restore();
  }
  shown_ = true;
  redraw(true);
}

void TerminalPresentation::restore_terminal() {
  if (terminal_saved_) {
    tcsetattr(key_fd_, TCSANOW, &saved_termios_);
    terminal_saved_ = false;
    unregister_terminal_restore();
  }
}

void TerminalPresentation::close() {
  if (closed_) return;
  redraw(true);
  if (shown_) {
    std::fputc('\n', out_);
    std::fflush(out_);
  }
  shown_ = false;
  closed_ = true;
  restore_terminal();
  if (handlers_) handlers_->on_destroy();
}

void TerminalPresentation::set_text(int control, std::string_view text) {
  if (control == kTimeText) {
    time_text_ = std::string(text);
    dirty_ = true;
    redraw(false);
  } else if (int i = button_index(control); i >= 0) {
    labels_[i] = std::string(text);
    redraw(true);
  }
}

void TerminalPresentation::enable(int control, bool on) {
  if (int i = button_index(control); i >= 0 && enabled_[i] != on) {
    enabled_[i] = on;
    redraw(true);
  }
}

void TerminalPresentation::set_bar(int percent) {
  if (percent != percent_) {
    percent_ = percent;
    dirty_ = true;
  }
  redraw(false);
}

void TerminalPresentation::set_focus(int control) {
  focus_ = control;
  redraw(true);
}

std::string TerminalPresentation::status_line() const {
  int p = percent_ < 0 ? 0 : percent_ > 100 ? 100 : percent_;
  int filled = p * kBarWidth / 100;
  std::string line = "[";
  line.append(static_cast<std::size_t>(filled), '#');
  line.append(static_cast<std::size_t>(kBarWidth - filled), '.');
  line += "] ";
  std::string pct = std::to_string(p);
  line.append(3 - std::min<std::size_t>(3, pct.size()), ' ');
  line += pct + "% ";
  auto first = time_text_.find_first_not_of(' ');
  if (first != std::string::npos) line += time_text_.substr(first);
  for (int i = 0; i < 3; ++i) {
    if (!enabled_[i]) continue;
    char key = mnemonic(labels_[i]);
    line += kButtons[i] == focus_ ? "  >" : "  ";
    if (key) {
      line += key;
      line += '=';
    }
    line += without_ampersand(labels_[i]);
  }
  return line;
}

void TerminalPresentation::redraw(bool force) {
  if (!shown_) return;
  long long t = now_ns();
  if (!force && (!dirty_ || t - last_draw_ns_ < redraw_interval_ns_)) return;
  std::fputc('\r', out_);
  std::fputs(status_line().c_str(), out_);
  std::fputs("\033[K", out_);  // clear what an earlier, longer line left
  std::fflush(out_);
  last_draw_ns_ = t;
  dirty_ = false;
}

void TerminalPresentation::read_keys(int timeout_ms) {
  if (key_fd_ < 0) {
    if (timeout_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(timeout_ms));
    return;
  }
  if (terminal_saved_ && tcgetpgrp(key_fd_) != getpgrp()) {  // sent to the background meanwhile
    if (timeout_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(timeout_ms));
    return;
  }
  pollfd pfd{key_fd_, POLLIN, 0};
  if (poll(&pfd, 1, timeout_ms) <= 0 || !(pfd.revents & POLLIN)) return;
  char buf[32];
  ssize_t n = read(key_fd_, buf, sizeof buf);
  if (n <= 0) {  // end of input: no more keys will come
    key_fd_ = -1;
    return;
  }
  for (ssize_t i = 0; i < n; ++i) {
    if (buf[i] == '\033') continue;  // Alt+letter arrives as ESC, letter
    queue_.push_back({Message::key, static_cast<unsigned char>(buf[i])});
  }
}

bool TerminalPresentation::peek_message() {
  if (queue_.empty()) {
    long long t = now_ns();
    if (t - last_poll_ns_ >= poll_interval_ns_) {
      last_poll_ns_ = t;
      read_keys(0);
    }
  }
  return !queue_.empty();
}

FetchResult TerminalPresentation::fetch_message() {
  while (queue_.empty()) {
    if (key_fd_ < 0) return FetchResult::failed;  // nothing can ever arrive
    read_keys(-1);
  }
  current_ = queue_.front();
  queue_.pop_front();
  return current_.kind == Message::quit ? FetchResult::quit : FetchResult::message;
}

bool TerminalPresentation::filter_message() {
  if (current_.kind != Message::key) return false;
  int c = std::tolower(current_.value);
  int target = 0;
  if (c == '\n' || c == '\r' || c == ' ') {
    target = focus_;
  } else {
    for (int i = 0; i < 3; ++i)
      if (mnemonic(labels_[i]) == c) target = kButtons[i];
  }
  press(target);  // the dialog clicks the button for its key
  return true;
}

void TerminalPresentation::dispatch_message() {
  if (current_.kind == Message::click) press(current_.value);
}

void TerminalPresentation::press(int control) {
  int i = button_index(control);
  if (i < 0 || !enabled_[i]) return;  // a disabled button does not react
  if (control == kExitButton)
    close();  // the Exit button's default action
  else if (handlers_ && control == kStartButton)
    handlers_->on_continue();
  else if (handlers_ && control == kSuspendButton)
    handlers_->on_suspend();
}

void TerminalPresentation::post_quit() { queue_.push_back({Message::quit, 0}); }

void TerminalPresentation::wait_for_message() {
  redraw(false);
  if (queue_.empty()) read_keys(kIdleWaitMs);
}

}  // namespace velmorant
