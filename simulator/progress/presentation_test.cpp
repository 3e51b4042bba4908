// Tests of the presentation choice and of the silent and terminal presentations driven by the run control.
// SPDX-License-Identifier: BSD-3-Clause
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "simulator/progress/run_control.hpp"
#include "simulator/progress/silent_presentation.hpp"
#include "simulator/progress/terminal_presentation.hpp"

namespace velmorant {
namespace {

struct RunEnded {};

TEST(ChoosePresentation, ForcedOrByWhatTheSessionOffers) {
  struct Case {
    const char* forced;
    bool window, tty;
    const char* chosen;
    bool note;
  };
  const Case cases[] = {
      {"", true, true, "window", false},
      {"", false, true, "terminal", false},
      {"", false, false, "silent", false},
      {"silent", true, true, "silent", false},
      {"terminal", true, false, "terminal", false},
      {"window", true, false, "window", false},
      {"window", false, true, "terminal", true},
      {"window", false, false, "silent", true},
      {"fancy", false, true, "terminal", true},
      {"Window", true, true, "window", true},  // values are lower case; an unknown one is ignored
  };
  for (const Case& c : cases) {
    std::string note;
    EXPECT_EQ(choose_presentation(c.forced, c.window, c.tty, &note), c.chosen) << c.forced;
    EXPECT_EQ(!note.empty(), c.note) << c.forced << ": " << note;
  }
}

TEST(SilentPresentation, RunsTheDisplayAndEndsOnQuit) {
  ProgressState state;
  SilentPresentation silent;
  int ends = 0;
  RunControl control(
      state, silent,
      [&] {
        ++ends;
        throw RunEnded{};
      },
      [] { return 0; });
  control.open_dialog();
  control.progress_update();
  EXPECT_EQ(state.progress_percent, 2);
  silent.post_quit();
  EXPECT_THROW(control.progress_update(), RunEnded);
  EXPECT_EQ(ends, 1);
}

// A terminal presentation whose keys come from a pipe and whose line goes to a file.
class TerminalTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_EQ(pipe(fds), 0);
    out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    terminal = std::make_unique<TerminalPresentation>(out, fds[0], 0, 0);
    control = std::make_unique<RunControl>(
        state, *terminal,
        [this] {
          ++ends;
          throw RunEnded{};
        },
        [] { return 0; });
    control->open_dialog();
    terminal->enable(kSuspendButton, true);
    state.focus_request = kSuspendButton;
    state.units_left = 100;
  }
  void TearDown() override {
    control.reset();
    terminal.reset();
    close(fds[0]);
    close(fds[1]);
    std::fclose(out);
  }
  void type(const char* keys) {
    ASSERT_GT(write(fds[1], keys, std::char_traits<char>::length(keys)), 0);
  }
  std::string written() {
    std::fflush(out);
    std::rewind(out);
    std::string all;
    for (int c; (c = std::fgetc(out)) != EOF;) all += static_cast<char>(c);
    return all;
  }

  int fds[2] = {-1, -1};
  std::FILE* out = nullptr;
  ProgressState state;
  std::unique_ptr<TerminalPresentation> terminal;
  std::unique_ptr<RunControl> control;
  int ends = 0;
};

TEST_F(TerminalTest, LineShowsBarPercentTimeAndUsableKeys) {
  control->rate_update(0);
  state.total_seconds = state.remaining_seconds = 200.0f;
  state.seconds_per_unit = 1.197f;  // 119.7 s left
  control->progress_update();
  EXPECT_EQ(terminal->status_line(),
            "[######..........]  40% Time to complete :    0h  1m 60s  p=Suspend");
  EXPECT_NE(written().find("\r[######..........]  40% Time to complete :"), std::string::npos);
}

TEST_F(TerminalTest, KeysSuspendContinueAndDisabledKeysAreIgnored) {
  type("xc");  // Exit and Continue are disabled while running
  control->progress_update();
  control->progress_update();
  EXPECT_TRUE(state.running);
  // The focus asked for by the driver moved with the first message.
  EXPECT_NE(terminal->status_line().find(">p=Suspend"), std::string::npos);
  type("pc");  // suspend, then continue while suspended
  control->progress_update();
  EXPECT_TRUE(state.running);
  EXPECT_NE(terminal->status_line().find(">p=Suspend"), std::string::npos);
  type("p");
  type("\n");  // Enter: the focused button, now Continue
  control->progress_update();
  EXPECT_TRUE(state.running);
  EXPECT_EQ(ends, 0);
}

TEST_F(TerminalTest, SuspendedLineOffersContinueAndExitAndExitEnds) {
  type("p");
  terminal->set_text(kTimeText, "      Time to complete :    0h  0m  5s");
  // Suspend, then Exit typed while the pump waits for a key.
  type("x");
  EXPECT_THROW(control->progress_update(), RunEnded);
  EXPECT_EQ(ends, 1);
  std::string all = written();
  EXPECT_NE(all.find("  >c=Continue  x=Exit"), std::string::npos) << all;
  EXPECT_EQ(all.back(), '\n');  // the line is finished when the dialog closes
}

}  // namespace
}  // namespace velmorant
