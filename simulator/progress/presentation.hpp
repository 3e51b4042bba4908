// Presentation: the window operations the run control needs (controls, message queue), and the choice of one.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once
#include <memory>
#include <string>
#include <string_view>

namespace velmorant {

// Control ids of the progress dialog.
inline constexpr int kExitButton = 30001;     // "E&xit": closes the dialog (no handler of its own)
inline constexpr int kStartButton = 30002;    // "&Start", later "&Continue"; the default button
inline constexpr int kSuspendButton = 30003;  // "Sus&pend"
inline constexpr int kProgressBar = 1006;     // range 0..100
inline constexpr int kTimeText = 1007;        // the time-to-completion line

// Initial texts of the controls.
inline constexpr std::string_view kDialogCaption = "Velmorant - pattern simulation";
inline constexpr std::string_view kStartText = "&Start";
inline constexpr std::string_view kContinueText = "&Continue";
inline constexpr std::string_view kSuspendText = "Sus&pend";
inline constexpr std::string_view kExitText = "E&xit";

// What the dialog layer calls while it dispatches a message. Only clicks
// reach the two button handlers; the destroy handler is called once when
// the dialog's window is destroyed, whatever destroyed it (the Exit button,
// the window manager's close, or close()).
class DialogHandlers {
public:
  virtual ~DialogHandlers() = default;
  virtual void on_continue() = 0;  // Start/Continue clicked
  virtual void on_suspend() = 0;   // Suspend clicked
  virtual void on_destroy() = 0;   // the window was destroyed
};

// Result of fetching one message (the blocking fetch of the message queue).
enum class FetchResult {
  message,  // an ordinary message, now the current one (filter, then dispatch)
  quit,     // the quit message: the run must end
  failed    // the fetch failed; nothing is current, the pump goes on
};

// The dialog and its message queue as the run control sees them. A
// presentation keeps its own queue of messages (clicks, keys, close
// requests, quit); "the current message" is the one last fetched.
// Disabled buttons never produce clicks.
class Presentation {
public:
  virtual ~Presentation() = default;

  // Registers the handlers (destroy on the dialog, continue on Start,
  // suspend on Suspend). Call before show().
  void attach(DialogHandlers& handlers) { handlers_ = &handlers; }

  virtual void show() = 0;  // shows the dialog (modeless)
  virtual void
  close() = 0;  // un-initialises: destroys the window (calls on_destroy once); idempotent

  virtual void set_text(int control, std::string_view text) = 0;  // '&' marks the keyboard mnemonic
  virtual void enable(int control, bool enabled) = 0;
  virtual void set_bar(int percent) = 0;  // progress bar position, 0..100
  virtual void set_focus(int control) = 0;

  // True when a message is waiting; removes nothing. Called once per
  // computed pixel: must be cheap.
  virtual bool peek_message() = 0;
  // Removes the next message and makes it current; blocks while none is waiting.
  virtual FetchResult fetch_message() = 0;
  // The dialog's keyboard filter (Tab, Enter on the default button,
  // Alt+mnemonic): true when it consumed the current message.
  virtual bool filter_message() = 0;
  // Translates and dispatches the current message: a click on Start or
  // Suspend calls its handler, a click on Exit or a close request destroys
  // the window (which calls on_destroy).
  virtual void dispatch_message() = 0;
  // Puts the quit message on the queue.
  virtual void post_quit() = 0;
  // While suspended and nothing is waiting: sleeps until a message may be
  // waiting or a short while has passed, so that a suspended run does not
  // spin the processor. Serves the window system meanwhile.
  virtual void wait_for_message() = 0;

  virtual std::string_view name() const = 0;  // "window", "terminal", "silent", ...

protected:
  DialogHandlers* handlers_ = nullptr;
};

// The presentation for this run. VELMORANT_PRESENTATION=window|terminal|silent
// forces one; otherwise: the window when an X display can be opened and the
// window was built, else the terminal when standard error is a terminal,
// else silent. A forced window that cannot be opened falls back to the
// default rule with a note on standard error.
std::unique_ptr<Presentation> make_presentation();

// Same choice from explicit facts (for tests): `forced` is the variable's
// value or empty; returns "window", "terminal" or "silent" and, when the
// forced value cannot be honoured or is unknown, a note in `note`.
std::string_view choose_presentation(std::string_view forced, bool window_available,
                                     bool stderr_is_terminal, std::string* note);

}  // namespace velmorant
