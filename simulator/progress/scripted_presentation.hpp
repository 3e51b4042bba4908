// ScriptedPresentation: a fake dialog for tests; records every operation and plays back scripted user actions.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once
#include <functional>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "simulator/progress/presentation.hpp"

namespace velmorant {

// A user action or system message waiting in the fake queue.
struct ScriptedMessage {
  enum Kind {
    click,          // mouse click on `control`; ignored when the control is disabled
    key,            // keyboard: Alt+`letter` clicks the enabled button with that mnemonic
                    // (consumed by the filter); other keys are consumed and do nothing
    close_request,  // the window manager's close: destroys the window
    other,          // a message the dialog does not care about (not filtered, dispatched to nobody)
    quit,           // the quit message
    failure         // a fetch that fails
  };
  Kind kind;
  int control = 0;
  char letter = 0;
};

class ScriptedPresentation : public Presentation {
public:
  ScriptedPresentation();

  // Puts messages on the queue, as if the user acted now.
  void push(ScriptedMessage message) { queue_.push_back(message); }
  void click(int control) { push({ScriptedMessage::click, control, 0}); }
  void key(char letter) { push({ScriptedMessage::key, 0, letter}); }
  void close_request() { push({ScriptedMessage::close_request, 0, 0}); }

  // Called from wait_for_message(), i.e. while the run is suspended and the
  // queue is empty: the test acts here as the waiting user. Without it, or
  // after `idle_limit` calls, wait_for_message throws std::runtime_error so
  // that a wrong pump fails the test instead of hanging it.
  std::function<void(ScriptedPresentation&)> on_idle;
  int idle_limit = 10000;

  // What a user would see.
  const std::string& text(int control) const;
  bool enabled(int control) const;
  int bar() const { return bar_; }
  int focus() const { return focus_; }
  bool shown() const { return shown_; }
  bool closed() const { return closed_; }
  std::size_t pending() const { return queue_.size(); }

  // Every operation in order, one line each ("text 1007 ...", "enable 30003 1",
  // "focus 30002", "show", "close", "fetch", "filter", "dispatch", "post_quit");
  // bar positions go to bar_history instead, peeks are only counted.
  std::vector<std::string> log;
  std::vector<int> bar_history;
  int peeks = 0;
  int fetches = 0;
  int idles = 0;

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
  std::string_view name() const override { return "scripted"; }

private:
  void press(int control);  // a click that reaches the dialog layer

  std::deque<ScriptedMessage> queue_;
  ScriptedMessage current_{ScriptedMessage::other};
  std::map<int, std::string> texts_;
  std::map<int, bool> enabled_;
  int bar_ = 0;
  int focus_ = 0;
  bool shown_ = false;
  bool closed_ = false;
};

}  // namespace velmorant
