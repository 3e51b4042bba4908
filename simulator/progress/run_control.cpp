// The message pump, the run-control handlers, the display refresh and the run-time estimate.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/progress/run_control.hpp"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>

#include "common/fixed_format.hpp"

namespace velmorant {

int time_of_day_hundredths() {
  using namespace std::chrono;
  auto now = system_clock::now();
  std::time_t seconds = system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&seconds, &local);
  auto since_second = now - system_clock::from_time_t(seconds);
  int hundredths = static_cast<int>(duration_cast<milliseconds>(since_second).count() / 10);
  if (hundredths < 0 || hundredths > 99)  // from_time_t rounding on odd platforms
    hundredths = 0;
  int sec = local.tm_sec > 59 ? 59 : local.tm_sec;  // a leap second counts as :59
  return ((local.tm_hour * 60 + local.tm_min) * 60 + sec) * 100 + hundredths;
}

std::string time_to_complete_text(float r) {
  // Integer fields as the display truncates them; values beyond the integer
  // range (a run estimated at centuries) show as asterisks, like any field
  // too narrow for its value.
  auto whole = [](float x) -> long long {
    if (!(std::fabs(x) < 9.0e18f)) return 999999999999LL;
    return static_cast<long long>(std::trunc(x));
  };
  float hours_f = std::trunc(r / 3600.0f);
  long long h = whole(hours_f);
  long long m = whole(r / 60.0f - 60.0f * hours_f);
  long long s = whole(std::round(r - 60.0f * std::trunc(r / 60.0f)));  // halves away from zero
  std::string text = "      Time to complete :";
  text += common::format_int(h, 5);
  text += 'h';
  text += common::format_int(m, 3);
  text += 'm';
  text += common::format_int(s, 3);
  text += 's';
  return text;
}

RunControl::RunControl(ProgressState& state, Presentation& presentation, EndHook end_run,
                       Clock clock)
    : state_(state),
      presentation_(presentation),
      end_run_(end_run ? std::move(end_run) : EndHook([] { std::exit(0); })),
      clock_(clock ? std::move(clock) : Clock(time_of_day_hundredths)) {}

void RunControl::open_dialog() {
  presentation_.attach(*this);
  presentation_.enable(kStartButton, false);
  presentation_.enable(kExitButton, false);
  presentation_.enable(kSuspendButton, false);
  presentation_.show();
  state_.running = true;
  state_.progress_percent = 1;
  state_.last_fetch_result = true;
  // Drain without waiting: peek says something is there, so the fetch does
  // not block. A quit message cannot be passed on like the others (it
  // would be lost and the run would go on without its window).
  while (presentation_.peek_message()) {
    FetchResult fetched = presentation_.fetch_message();
    if (fetched == FetchResult::quit) {
      state_.last_fetch_result = false;
      end_run();
      return;
    }
    if (fetched == FetchResult::message && !presentation_.filter_message())
      presentation_.dispatch_message();
  }
}

void RunControl::close_dialog() { presentation_.close(); }

void RunControl::end_run() {
  presentation_.close();
  end_run_();
}

void RunControl::keep_alive() {
  constexpr std::chrono::milliseconds kInterval{20};
  const auto now = std::chrono::steady_clock::now();
  if (now - last_keep_alive_ < kInterval && !interrupted()) return;
  last_keep_alive_ = now;
  progress_update();
}

void RunControl::progress_update() {
  for (;;) {
    // A caught SIGINT/SIGTERM ends the run like the quit message.
    if (interrupted()) {
      end_run();
      return;  // only when the end hook returns (tests)
    }
    // 1. Fast path: running and nothing waiting.
    bool waiting = presentation_.peek_message();
    if (state_.running && !waiting) {
      refresh_display();
      return;
    }
    // 2. Fetch one message.
    FetchResult fetched = FetchResult::failed;
    if (waiting) {
      fetched = presentation_.fetch_message();
      state_.last_fetch_result = fetched != FetchResult::quit;  // a failed fetch counts as true
    }
    // 3. The quit message ends the run here.
    if (!state_.last_fetch_result) {
      end_run();
      return;  // only when the end hook returns (tests)
    }
    // 4. The dialog's keyboard filter first, then the window's own handling.
    //    A failed fetch leaves nothing to pass on.
    if (waiting && fetched == FetchResult::message && !presentation_.filter_message())
      presentation_.dispatch_message();
    // 5. Focus move requested by a handler.
    if (state_.focus_request != 0) {
      presentation_.set_focus(state_.focus_request);
      state_.focus_request = 0;
    }
    // 6. Running: at most one message per call. Suspended: keep serving.
    if (state_.running) return;
    if (!waiting) presentation_.wait_for_message();
  }
}

void RunControl::refresh_display() {
  ProgressState& s = state_;
  if (s.timing_phase == TimingPhase::estimating) {
    presentation_.set_text(kTimeText, kEstimatingText);
    s.last_shown_seconds = kNothingShownYet;
  } else {
    // The displayed time never rises: a growing per-unit estimate only
    // slows its fall. A non-finite product leaves it as it is.
    float estimate = static_cast<float>(s.units_left) * s.seconds_per_unit;
    float r = estimate < s.remaining_seconds ? estimate : s.remaining_seconds;
    s.remaining_seconds = r;
    if (static_cast<float>(s.last_shown_seconds) > r) {
      presentation_.set_text(kTimeText, time_to_complete_text(r));
      float t = std::trunc(r);
      s.last_shown_seconds = t < -2147483648.0f   ? -2147483647 - 1
                             : t >= 2147483647.0f ? kNothingShownYet
                                                  : static_cast<int>(t);
    }
  }
  // The bar never moves back and stops at 100. A zero or non-finite total
  // gives no percentage: the bar stays where it is.
  float p = std::round((s.total_seconds - s.remaining_seconds) * 100.0f / s.total_seconds);
  if (std::isfinite(p)) {
    if (p > 100.0f) p = 100.0f;
    if (p > static_cast<float>(s.progress_percent)) s.progress_percent = static_cast<int>(p);
  }
  if (s.progress_percent > 100) s.progress_percent = 100;
  presentation_.set_bar(s.progress_percent);
}

void RunControl::rate_update(int units) {
  ProgressState& s = state_;
  s.timing_phase = TimingPhase::timing;
  int now = clock_();
  if (units == 0) s.remaining_seconds = s.total_seconds;
  if (units > 0) {
    long long now_ll = now;
    if (now < s.last_tick) {  // midnight passed (or the clock stepped back)
      long long k = (static_cast<long long>(s.last_tick) - now - 1) / kHundredthsPerDay + 1;
      if (k < 1) k = 1;
      now_ll += k * kHundredthsPerDay;
    }
    // Elapsed hundredths over hundredths-units, in real arithmetic.
    float measured =
        static_cast<float>(now_ll - s.last_tick) / (static_cast<float>(units) * 100.0f);
    s.seconds_per_unit = (measured + 2.0f * s.seconds_per_unit) / 3.0f;
  }
  s.last_tick = now;
}

void RunControl::on_continue() {
  state_.running = true;
  presentation_.enable(kStartButton, false);
  presentation_.enable(kExitButton, false);
  presentation_.enable(kSuspendButton, true);
  state_.focus_request = kSuspendButton;
}

void RunControl::on_suspend() {
  state_.running = false;
  presentation_.set_text(kStartButton, kContinueText);
  presentation_.enable(kStartButton, true);
  presentation_.enable(kExitButton, true);
  presentation_.enable(kSuspendButton, false);
  state_.focus_request = kStartButton;
}

void RunControl::on_destroy() { presentation_.post_quit(); }

}  // namespace velmorant
