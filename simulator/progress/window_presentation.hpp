// WindowPresentation: the progress dialog as a real FLTK window on an X display.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once
#include <deque>
#include <memory>
#include <string>

#include "simulator/progress/presentation.hpp"

class Fl_Double_Window;
class Fl_Button;
class Fl_Progress;
class Fl_Box;
class Fl_Widget;

namespace velmorant {

// How the message queue of the run control maps onto FLTK, which has no
// queue of its own that can be looked at without handling it:
//  - The window keeps a small queue of commands: a click on a button (from
//    the button's callback), the window manager's close (from the window's
//    callback) and the quit message (post_quit).
//  - peek: the command queue is not empty, or FLTK has window-system events
//    waiting (Fl::ready(), which handles nothing). Looked at every 10 ms at
//    most; each look also draws what changed (Fl::flush()).
//  - fetch: the next command; when there is none, the waiting window-system
//    events become the current message (blocking in Fl::wait() if nothing
//    is waiting at all).
//  - filter: always false. FLTK does the dialog's keyboard work (Tab and
//    arrow focus moves, Alt+mnemonic, Enter on the default button, Space on
//    the focused button) while it delivers the events, in dispatch.
//  - dispatch: a click calls the button's handler; a click on Exit or a
//    close request destroys the window (hide(), then the destroy handler);
//    window-system events are delivered by Fl::check(), which may queue
//    clicks for the following passes.
//  - post quit: the quit command is queued.
//  - set focus: Fl_Widget::take_focus() on the button.
//  - wait (while suspended): Fl::wait(0.1).
// Escape does not close the window (a dialog without a Cancel button ignores it).
//
// For UI automation (FLTK widgets are not X windows of their own, so a tool
// cannot read them) the window publishes its controls in the X property
// "_VELMORANT_DIALOG" (type STRING), one control per line:
//   "30002 1 &Continue" (id, enabled, text) for the buttons,
//   "1006 42" for the bar, "1007 <text>" for the time line, "focus 30002".
// It is refreshed when the window system is looked at (every 10 ms at most).
class WindowPresentation : public Presentation {
public:
  WindowPresentation();  // the X display must be open (make_window_presentation does that)
  ~WindowPresentation() override;
  WindowPresentation(const WindowPresentation&) = delete;
  WindowPresentation& operator=(const WindowPresentation&) = delete;

  void show() override;
  void close() override;
  void set_text(int control, std::string_view text) override;
  void enable(int control, bool enabled) override;
  void set_bar(int percent) override;
  void set_focus(int control) override;
  bool peek_message() override;
  FetchResult fetch_message() override;
  bool filter_message() override { return false; }
  void dispatch_message() override;
  void post_quit() override;
  void wait_for_message() override;
  std::string_view name() const override { return "window"; }

private:
  struct Command {
    enum Kind { events, click, close_request, quit } kind;
    int control = 0;
  };
  static void on_button(Fl_Widget* widget, void* self);
  static void on_window(Fl_Widget* widget, void* self);
  Fl_Widget* widget(int control) const;
  void publish_state();

  std::unique_ptr<Fl_Double_Window> window_;
  Fl_Button* start_ = nullptr;  // children, owned by the window
  Fl_Button* suspend_ = nullptr;
  Fl_Button* exit_ = nullptr;
  Fl_Progress* bar_ = nullptr;
  Fl_Box* text_ = nullptr;
  std::deque<Command> queue_;
  Command current_{Command::events};
  long long last_look_ns_ = 0;
  bool closed_ = false;
  std::string published_;
  unsigned long dialog_atom_ = 0;  // the X atom "_VELMORANT_DIALOG"
};

// Opens the X display named by DISPLAY and creates the window (not yet
// shown). Returns null, with the reason in `why_not`, when the display
// cannot be opened.
std::unique_ptr<Presentation> make_window_presentation(std::string* why_not);

}  // namespace velmorant
