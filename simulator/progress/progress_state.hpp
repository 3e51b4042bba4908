// ProgressState: run/suspend flag, focus request and time-to-completion estimate of a simulation run.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

namespace velmorant {

// The time line shows "Estimating execution time." until the engine's first
// rate_update(); from then on it shows the time to completion.
enum class TimingPhase { estimating, timing };

// Whole seconds of the last displayed estimate before anything was shown.
inline constexpr int kNothingShownYet = 2147483647;

// One record per run, owned by the driver and passed by reference to the
// run control. The engine writes only `units_left`; everything else is
// written by the run control (and seeded by the driver at the start).
struct ProgressState {
  bool running = true;    // false while the user has suspended the run
  int focus_request = 0;  // control id to get the keyboard focus at the next pump pass; 0 = none
  TimingPhase timing_phase = TimingPhase::estimating;
  float total_seconds = 60.0f;      // estimated total run time, s (denominator of the percentage)
  float remaining_seconds = 59.0f;  // displayed remaining time, s; never increases while timing
  float seconds_per_unit = 0.0f;    // smoothed time per unit of work, s
  int units_left = 0;               // work units not yet done; written only by the engine
  int progress_percent = 1;         // bar position 0..100; never decreases
  int last_shown_seconds = kNothingShownYet;  // whole seconds of the last displayed estimate
  int last_tick = 0;  // time of the last rate_update, hundredths of a second since midnight
  bool last_fetch_result = true;  // false once the quit message has been fetched
};

}  // namespace velmorant
