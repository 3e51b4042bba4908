// RunControl: the message pump served from inside the computation, Suspend/Continue/Exit, and the time-to-completion display.
//
// Usage by the driver (one run per process):
//
//   velmorant::ProgressState progress;
//   auto presentation = velmorant::make_presentation();
//   velmorant::RunControl control(progress, *presentation);   // ends with std::exit(0) on quit
//   control.open_dialog();           // handlers, all buttons disabled, shown, queue drained
//   progress.timing_phase = velmorant::TimingPhase::estimating;
//   progress.total_seconds = 60.0f; progress.remaining_seconds = 59.0f;
//   control.progress_update();       // "Estimating execution time.", bar at 2 %
//   ... read the input, calibrate (the engine calls progress_update) ...
//   write "  -101" to the result file
//   presentation->enable(velmorant::kSuspendButton, true);
//   progress.focus_request = velmorant::kSuspendButton;
//   seed seconds_per_unit, total_seconds, remaining_seconds, progress_percent = 1
//   compute_pattern(...)             // engine: progress_update per pixel, rate_update per row
//   ... correlate, write r ...
//   control.close_dialog();
//
// Ending a run from inside progress_update. When the quit message arrives
// (Exit clicked while suspended, the window closed by the window manager,
// or any other post_quit), progress_update un-initialises the dialog
// (Presentation::close) and calls the end hook given to the constructor.
// Nothing is written: the result file keeps whatever the driver last wrote
// ("  -101" once the run has started), and no image exists yet because the
// image is written only after the last pixel. The default hook is
// std::exit(0). A driver that prefers to unwind can pass a hook that throws
// its own exception and catch it in main(); a hook that returns makes
// progress_update return at once (the engine would then continue: only
// tests should do that).
// SPDX-License-Identifier: BSD-3-Clause
#pragma once
#include <chrono>
#include <csignal>
#include <functional>
#include <string>
#include <string_view>

#include "simulator/progress/presentation.hpp"
#include "simulator/progress/progress_state.hpp"

namespace velmorant {

// Hundredths of a second since local midnight, from the system clock (0..8639999).
int time_of_day_hundredths();

inline constexpr int kHundredthsPerDay = 8640000;

// The 38-character time line for a remaining time of `seconds`:
// "      Time to complete :" then hours (5 columns) "h", minutes (3) "m",
// seconds (3) "s"; seconds are rounded to nearest, so 119.7 s shows
// 0 h 1 m 60 s. A field too narrow for its value is filled with asterisks.
std::string time_to_complete_text(float seconds);

// The text shown while the run time is still being estimated.
inline constexpr std::string_view kEstimatingText = "       Estimating execution time.";

class RunControl : public DialogHandlers {
public:
  using EndHook = std::function<void()>;  // should not return (see above)
  using Clock = std::function<int()>;     // hundredths of a second since midnight

  // Keeps references to `state` and `presentation`; both must outlive this
  // object. An empty `end_run` means std::exit(0); an empty `clock` means
  // time_of_day_hundredths().
  RunControl(ProgressState& state, Presentation& presentation, EndHook end_run = {},
             Clock clock = {});

  // Dialog set-up: registers the handlers, disables Start, Exit and Suspend
  // (in this order), shows the dialog, sets running = true,
  // progress_percent = 1 and the last fetch result = true, then drains the
  // queue without waiting. A quit message found while draining ends the run
  // as in progress_update.
  void open_dialog();
  // Un-initialises the dialog (destroys the window).
  void close_dialog();

  // Called by the engine after every computed pixel (and once by the
  // driver). While running: handles at most one waiting message, or
  // refreshes the display when none is waiting. While suspended: keeps
  // serving messages until Continue; the quit message ends the run without
  // returning (see the end hook above).
  void progress_update();

  // For long work without pixels (the beam search): progress_update, but
  // at most every 20 ms, so that it may be called as often as convenient.
  void keep_alive();

  // From now on a non-zero *flag (a SIGINT or SIGTERM caught by
  // InterruptHandlers) ends the run at the next progress_update as the quit
  // message does. Null: no flag is watched.
  void watch_interrupt(const volatile std::sig_atomic_t* flag) { interrupt_ = flag; }
  bool interrupted() const { return interrupt_ != nullptr && *interrupt_ != 0; }

  // Called by the engine with 0 when a timed phase starts and with the
  // number of units done since the previous call (once per row). Switches
  // to the timing phase and folds the measured time per unit into
  // seconds_per_unit with weight 1/3. A clock that went backwards is taken
  // as a passage of midnight.
  void rate_update(int units);

  // Sets the time line (only when the shown whole seconds change) and the
  // bar position (every time) from the state.
  void refresh_display();

  // Handlers, called by the presentation while it dispatches a message.
  void on_continue() override;  // running again: Suspend enabled, Continue and Exit disabled
  void on_suspend() override;   // suspended: "&Continue" and Exit enabled, Suspend disabled
  void on_destroy() override;   // posts the quit message

  ProgressState& state() { return state_; }
  Presentation& presentation() { return presentation_; }

private:
  void end_run();

  ProgressState& state_;
  Presentation& presentation_;
  EndHook end_run_;
  Clock clock_;
  const volatile std::sig_atomic_t* interrupt_ = nullptr;
  std::chrono::steady_clock::time_point last_keep_alive_{};
};

}  // namespace velmorant
