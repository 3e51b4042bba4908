// Tests of the pump, the handlers, the display refresh and the rate estimate, against the scripted dialog.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/progress/run_control.hpp"
#include "common/testing/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include "simulator/progress/interrupt.hpp"
#include "simulator/progress/scripted_presentation.hpp"

namespace velmorant {
namespace {

struct RunEnded {};  // thrown by the tests' end hook instead of ending the process

class RunControlTest : public ::testing::Test {
protected:
  ProgressState state;
  ScriptedPresentation ui;
  int clock = 0;  // hundredths since midnight, moved by the tests
  int ends = 0;
  RunControl control{state, ui,
                     [this] {
                       ++ends;
                       throw RunEnded{};
                     },
                     [this] { return clock; }};

  // The driver's start of a run: dialog up, estimate shown, then the run
  // started with Suspend enabled and focused.
  void start_run(float estimate_seconds, int units) {
    control.open_dialog();
    control.progress_update();
    ui.enable(kSuspendButton, true);
    state.focus_request = kSuspendButton;
    state.seconds_per_unit = estimate_seconds * 1.5f / static_cast<float>(units);
    state.total_seconds = state.remaining_seconds = estimate_seconds;
    state.progress_percent = 1;
    state.units_left = units;
  }
  // A suspension that ends with the given control clicked while waiting.
  void answer_suspension_with(int control_id) {
    ui.on_idle = [control_id](ScriptedPresentation& p) { p.click(control_id); };
  }
};

TEST_F(RunControlTest, OpenDialogDisablesTheButtonsBeforeShowing) {
  control.open_dialog();
  std::vector<std::string> expected = {"enable 30002 0", "enable 30001 0", "enable 30003 0",
                                       "show"};
  EXPECT_EQ(ui.log, expected);
  EXPECT_TRUE(state.running);
  EXPECT_EQ(state.progress_percent, 1);
  EXPECT_TRUE(state.last_fetch_result);
  EXPECT_EQ(ui.text(kStartButton), "&Start");
}

TEST_F(RunControlTest, EstimatingPhaseShowsItsTextAndTwoPercent) {
  control.open_dialog();
  control.progress_update();
  EXPECT_EQ(ui.text(kTimeText), "       Estimating execution time.");
  EXPECT_EQ(ui.bar(), 2);
  EXPECT_EQ(state.last_shown_seconds, INT_MAX);
}

TEST_F(RunControlTest, SuspendRelabelsStartAsContinueForGood) {
  start_run(100.0f, 1000);
  control.progress_update();
  EXPECT_EQ(ui.focus(), 0);  // focus moves only on a pass that handles a message
  ui.push({ScriptedMessage::other});
  control.progress_update();
  EXPECT_EQ(ui.focus(), kSuspendButton);
  ui.click(kSuspendButton);
  answer_suspension_with(kStartButton);
  control.progress_update();  // suspends, waits, continues
  EXPECT_TRUE(state.running);
  EXPECT_EQ(ui.text(kStartButton), "&Continue");
  EXPECT_FALSE(ui.enabled(kStartButton));
  EXPECT_FALSE(ui.enabled(kExitButton));
  EXPECT_TRUE(ui.enabled(kSuspendButton));
  EXPECT_EQ(ui.focus(), kSuspendButton);
  // While suspended, Continue and Exit were usable and Continue had the focus.
  auto at = std::find(ui.log.begin(), ui.log.end(), "text 30002 &Continue");
  ASSERT_NE(at, ui.log.end());
  std::vector<std::string> while_suspended(at, at + 5);
  std::vector<std::string> expected = {"text 30002 &Continue", "enable 30002 1", "enable 30001 1",
                                       "enable 30003 0", "focus 30002"};
  EXPECT_EQ(while_suspended, expected);
  // A second suspension and continuation leave the label as it is.
  ui.click(kSuspendButton);
  control.progress_update();
  EXPECT_EQ(ui.text(kStartButton), "&Continue");
  EXPECT_EQ(std::count(ui.log.begin(), ui.log.end(), "text 30002 &Start"), 0);
}

TEST_F(RunControlTest, AltLetterActsOnlyOnEnabledButtons) {
  start_run(100.0f, 1000);
  ui.key('x');  // Exit is disabled while running
  control.progress_update();
  ui.key('c');  // so is Continue
  control.progress_update();
  EXPECT_TRUE(state.running);
  EXPECT_FALSE(ui.closed());
  ui.key('P');
  answer_suspension_with(kStartButton);
  control.progress_update();
  EXPECT_EQ(ui.text(kStartButton), "&Continue");
  EXPECT_EQ(ui.idles, 1);
  EXPECT_TRUE(state.running);
}

TEST_F(RunControlTest, ClicksOnDisabledButtonsDoNothing) {
  start_run(100.0f, 1000);
  ui.click(kExitButton);
  control.progress_update();
  ui.click(kStartButton);
  control.progress_update();
  EXPECT_TRUE(state.running);
  EXPECT_FALSE(ui.closed());
  EXPECT_EQ(ends, 0);
}

TEST_F(RunControlTest, ExitWhileSuspendedEndsTheRun) {
  start_run(100.0f, 1000);
  ui.click(kSuspendButton);
  answer_suspension_with(kExitButton);
  EXPECT_THROW(control.progress_update(), RunEnded);
  EXPECT_EQ(ends, 1);
  EXPECT_TRUE(ui.closed());
  EXPECT_FALSE(state.last_fetch_result);
  EXPECT_EQ(std::count(ui.log.begin(), ui.log.end(), "post_quit"), 1);
}

TEST_F(RunControlTest, WindowCloseWhileRunningEndsTheRunAtTheNextCall) {
  start_run(100.0f, 1000);
  ui.close_request();
  control.progress_update();  // destroys the window, posts quit: one message per call
  EXPECT_TRUE(ui.closed());
  EXPECT_EQ(ends, 0);
  EXPECT_THROW(control.progress_update(), RunEnded);
}

TEST_F(RunControlTest, QuitFromAnyOtherSourceEndsTheRun) {
  start_run(100.0f, 1000);
  ui.post_quit();
  EXPECT_THROW(control.progress_update(), RunEnded);
  EXPECT_TRUE(ui.closed());
}

TEST_F(RunControlTest, QuitFoundWhileDrainingEndsTheRun) {
  ui.push({ScriptedMessage::other});
  ui.close_request();  // the window closed before the run even started
  EXPECT_THROW(control.open_dialog(), RunEnded);
}

TEST_F(RunControlTest, AtMostOneMessagePerCallWhileRunning) {
  start_run(100.0f, 1000);
  ui.bar_history.clear();
  int fetches = ui.fetches;
  for (int i = 0; i < 3; ++i) ui.push({ScriptedMessage::other});
  control.progress_update();
  EXPECT_EQ(ui.fetches - fetches, 1);
  EXPECT_EQ(ui.pending(), 2u);
  EXPECT_TRUE(ui.bar_history.empty());  // the message path does not refresh
  control.progress_update();
  control.progress_update();
  EXPECT_EQ(ui.fetches - fetches, 3);
  control.progress_update();  // queue empty: the display is refreshed
  EXPECT_EQ(ui.bar_history.size(), 1u);
}

TEST_F(RunControlTest, FailedFetchIsNotDispatchedAndThePumpGoesOn) {
  start_run(100.0f, 1000);
  ui.push({ScriptedMessage::failure});
  ui.log.clear();
  control.progress_update();
  EXPECT_TRUE(state.last_fetch_result);
  EXPECT_EQ(std::count(ui.log.begin(), ui.log.end(), "dispatch"), 0);
  EXPECT_EQ(ends, 0);
}

// A caught SIGINT or SIGTERM ends the run at the next pass of the pump,
// running or suspended, and closes the presentation (which gives a terminal
// its modes back); before it, the pump goes on as usual.
TEST(RunControlInterrupt, CaughtSignalEndsTheRunAtTheNextPass) {
  for (int sig : {SIGINT, SIGTERM}) {
    for (bool suspended : {false, true}) {
      ProgressState state;
      ScriptedPresentation ui;
      int ends = 0;
      RunControl control(state, ui, [&ends] {
        ++ends;
        throw RunEnded{};
      });
      InterruptHandlers interrupts;
      control.watch_interrupt(interrupts.flag());
      control.open_dialog();
      control.progress_update();
      control.keep_alive();
      EXPECT_EQ(ends, 0);
      EXPECT_FALSE(control.interrupted());
      if (suspended) {
        ui.enable(kSuspendButton, true);
        ui.click(kSuspendButton);
        ui.on_idle = [sig](ScriptedPresentation&) { ::raise(sig); };  // Ctrl+C while waiting
      } else {
        ::raise(sig);
      }
      EXPECT_THROW(control.progress_update(), RunEnded) << sig << " " << suspended;
      EXPECT_EQ(ends, 1);
      EXPECT_EQ(interrupts.signal_number(), sig);
      EXPECT_TRUE(ui.closed());
    }
  }
  // The throttled pass of long work acts on a signal at once too.
  ProgressState state;
  ScriptedPresentation ui;
  RunControl control(state, ui, [] { throw RunEnded{}; });
  InterruptHandlers interrupts;
  control.watch_interrupt(interrupts.flag());
  control.keep_alive();
  ::raise(SIGINT);
  EXPECT_THROW(control.keep_alive(), RunEnded);
}

// While no object lives the signals have their earlier dispositions; one
// the process was started to ignore stays ignored.
TEST(RunControlInterrupt, HandlersArePutBackAndIgnoredSignalsStayIgnored) {
  struct sigaction before {
  }, now{};
  ::sigaction(SIGINT, nullptr, &before);
  {
    InterruptHandlers interrupts;
    ::sigaction(SIGINT, nullptr, &now);
    EXPECT_NE(now.sa_handler, before.sa_handler);
  }
  ::sigaction(SIGINT, nullptr, &now);
  EXPECT_EQ(now.sa_handler, before.sa_handler);

  ::signal(SIGTERM, SIG_IGN);
  {
    InterruptHandlers interrupts;
    ::sigaction(SIGTERM, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_IGN);
    ::raise(SIGTERM);
    EXPECT_EQ(interrupts.signal_number(), 0);
  }
  ::signal(SIGTERM, SIG_DFL);
}

TEST(TimeToCompleteText, FieldsRoundingAndOverflow) {
  struct Case {
    float seconds;
    const char* text;
  };
  const Case cases[] = {
      {119.7f, "      Time to complete :    0h  1m 60s"},
      {0.0f, "      Time to complete :    0h  0m  0s"},
      {59.4f, "      Time to complete :    0h  0m 59s"},
      {59.5f, "      Time to complete :    0h  0m 60s"},
      {3600.0f, "      Time to complete :    1h  0m  0s"},
      {3599.6f, "      Time to complete :    0h 59m 60s"},
      {90061.0f, "      Time to complete :   25h  1m  1s"},
      {360000000.0f, "      Time to complete :*****h  0m  0s"},
      {-30.0f, "      Time to complete :    0h  0m-30s"},
      {1.0e30f,
       "      Time to complete :*****h  0m  0s"},  // minutes and seconds vanish in the rounding
  };
  for (const Case& c : cases) {
    std::string text = time_to_complete_text(c.seconds);
    EXPECT_EQ(text, c.text) << c.seconds;
    EXPECT_EQ(text.size(), 38u) << c.seconds;
  }
}

TEST_F(RunControlTest, DisplayShowsTimeToCompleteOnlyWhenWholeSecondsChange) {
  start_run(1000.0f, 1000);
  control.rate_update(0);
  state.seconds_per_unit = 0.1197f;
  state.units_left = 1000;  // 119.7 s
  control.progress_update();
  EXPECT_EQ(ui.text(kTimeText), "      Time to complete :    0h  1m 60s");
  EXPECT_EQ(state.last_shown_seconds, 119);
  ui.log.clear();
  state.units_left = 999;  // 119.58 s: same whole seconds
  control.progress_update();
  EXPECT_EQ(std::count_if(ui.log.begin(), ui.log.end(),
                          [](const std::string& s) { return s.rfind("text 1007", 0) == 0; }),
            0);
  EXPECT_EQ(ui.bar_history.back(), state.progress_percent);  // the bar is set every time
}

// Reads the seconds shown by a time line back ("h m s" fields).
int shown_seconds(const std::string& text) {
  std::istringstream in(text.substr(24));
  int h = 0, m = 0, s = 0;
  char unit;
  in >> h >> unit >> m >> unit >> s;
  return h * 3600 + m * 60 + s;
}

TEST_F(RunControlTest, RemainingTimeNeverRisesAndPercentNeverFalls) {
  // A run whose speed changes: rows get slower, then faster; the second
  // sampling phase starts again with rate_update(0) and more units left.
  const int rows = 40, per_row = 50;
  start_run(200.0f, rows * per_row);
  state.seconds_per_unit = 0.05f;
  clock = 1000;
  control.rate_update(0);
  float last_remaining = state.remaining_seconds;
  int last_shown = INT_MAX;
  int last_percent = 0;
  for (int row = 0; row < rows; ++row) {
    for (int k = 0; k < per_row; ++k) {
      --state.units_left;
      control.progress_update();
      EXPECT_LE(state.remaining_seconds, last_remaining);
      last_remaining = state.remaining_seconds;
      int shown = shown_seconds(ui.text(kTimeText));
      EXPECT_LE(shown, last_shown);
      last_shown = shown;
      EXPECT_GE(ui.bar(), last_percent);
      EXPECT_LE(ui.bar(), 100);
      last_percent = ui.bar();
    }
    clock += (row < rows / 2 ? 40 + 20 * row : 30) * per_row;  // slower and slower, then fast
    control.rate_update(per_row);
    if (row == rows / 2) {  // a new phase: more work than before, displayed total again
      state.units_left += 500;
      control.rate_update(0);
      last_remaining = state.remaining_seconds;
    }
  }
  EXPECT_GE(last_percent, 50);
}

TEST_F(RunControlTest, PercentStopsAtHundred) {
  start_run(10.0f, 10);
  control.rate_update(0);
  state.remaining_seconds = -5.0f;  // an estimate that overshot
  control.progress_update();
  EXPECT_EQ(ui.bar(), 100);
  state.total_seconds = 0.0f;  // no percentage from a zero total: the bar stays
  control.progress_update();
  EXPECT_EQ(ui.bar(), 100);
}

TEST_F(RunControlTest, RateUpdateSmoothsTheTimePerUnitAcrossMidnight) {
  struct Case {
    int last_tick, now, units;
    float before, after;
  };
  const Case cases[] = {
      {1000, 1600, 100, 0.03f, (0.06f + 0.06f) / 3.0f},       // 600 cs over 100 units
      {8639990, 50, 100, 0.03f, (0.006f + 0.06f) / 3.0f},     // midnight: 60 cs
      {8639999, 0, 1, 0.0f, (0.01f + 0.0f) / 3.0f},           // one hundredth across midnight
      {5000, 4000, 10, 0.0f, (8639000.0f / 1000.0f) / 3.0f},  // clock stepped back: a day
      {5000, 5000, 10, 0.3f, 0.2f},                           // no time at all
  };
  for (const Case& c : cases) {
    state.last_tick = c.last_tick;
    state.seconds_per_unit = c.before;
    clock = c.now;
    control.rate_update(c.units);
    EXPECT_NEAR(state.seconds_per_unit, c.after, 1e-6f * std::max(1.0f, c.after))
        << c.last_tick << " -> " << c.now;
    EXPECT_GE(state.seconds_per_unit, 0.0f);
    EXPECT_EQ(state.last_tick, c.now);
    EXPECT_EQ(state.timing_phase, TimingPhase::timing);
  }
}

TEST_F(RunControlTest, RateUpdateZeroStartsATimedPhase) {
  state.total_seconds = 80.0f;
  state.remaining_seconds = 12.0f;
  state.seconds_per_unit = 0.25f;
  clock = 4242;
  control.rate_update(0);
  EXPECT_EQ(state.timing_phase, TimingPhase::timing);
  EXPECT_EQ(state.remaining_seconds, 80.0f);
  EXPECT_EQ(state.seconds_per_unit, 0.25f);
  EXPECT_EQ(state.last_tick, 4242);
}

TEST(TimeOfDay, IsWithinOneDay) {
  int t = time_of_day_hundredths();
  EXPECT_GE(t, 0);
  EXPECT_LT(t, kHundredthsPerDay);
}

// The driver's promise seen from here: a run ended by Exit leaves the result
// file as the driver left it and writes no image, because the engine writes
// the image only after its last pixel.
TEST_F(RunControlTest, ExitLeavesResultFileAndWritesNoImage) {
  namespace fs = std::filesystem;
  const common::testing::ScratchFolder scratch("velmorant_progress");
  const fs::path& dir = scratch.path();
  fs::path result = dir / "VelmorantDS.res";
  fs::path image = dir / "DS_pattern.bmp";
  std::ofstream(result) << "  -101\n";
  const int pixels = 400;
  start_run(100.0f, pixels);
  control.rate_update(0);
  int done = 0;
  ui.on_idle = [](ScriptedPresentation& p) { p.click(kExitButton); };
  try {
    for (; done < pixels; ++done) {
      if (done == 123) ui.click(kSuspendButton);
      control.progress_update();
      --state.units_left;
    }
    std::ofstream(image) << "image";
  } catch (const RunEnded&) {
  }
  EXPECT_EQ(done, 123);  // suspended in the call for pixel 123, never returned from it
  EXPECT_FALSE(fs::exists(image));
  std::ifstream in(result);
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(content, "  -101\n");
}

}  // namespace
}  // namespace velmorant
