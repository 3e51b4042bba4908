// Tests of the driver run in-process with a scripted dialog: the order of the dialog operations and the user's Exit.
#include "app/driver.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "app/app_test_support.hpp"
#include "app/result_file.hpp"
#include "simulator/progress/scripted_presentation.hpp"

namespace velmorant {
namespace {

using testing::read_text;
using testing::ScratchWorkingDirectory;
using testing::tiny_input;
using testing::TinyCrystal;
using testing::write_text;

// A user who presses Suspend as soon as it can be pressed and then Exit.
class SuspendThenExit : public ScriptedPresentation {
public:
  SuspendThenExit() {
    on_idle = [](ScriptedPresentation& p) { p.click(kExitButton); };
  }
  void enable(int control, bool on) override {
    ScriptedPresentation::enable(control, on);
    if (control == kSuspendButton && on && !suspended_) {
      suspended_ = true;
      click(kSuspendButton);
    }
  }

private:
  bool suspended_ = false;
};

// A message of no interest to the dialog arrives as soon as the run starts:
// the pump passes its focus step.
class MessageAtStart : public ScriptedPresentation {
public:
  void enable(int control, bool on) override {
    ScriptedPresentation::enable(control, on);
    if (control == kSuspendButton && on) push({ScriptedMessage::other});
  }
};

class Driver : public ::testing::Test {
protected:
  ScratchWorkingDirectory dir;
  std::ostringstream out, err;
  void SetUp() override { write_text("VelmorantDS.dat", tiny_input(TinyCrystal{})); }
};

TEST_F(Driver, EstimateQueryOpensTheDialogDisabledAndEstimates) {
  ScriptedPresentation dialog;
  EXPECT_EQ(run_velmorant(nullptr, dialog, out, err), kExitDone) << err.str();
  // Start, Exit, Suspend disabled in this order before the dialog is shown.
  ASSERT_GE(dialog.log.size(), 5u);
  EXPECT_EQ(dialog.log[0], "enable 30002 0");
  EXPECT_EQ(dialog.log[1], "enable 30001 0");
  EXPECT_EQ(dialog.log[2], "enable 30003 0");
  EXPECT_EQ(dialog.log[3], "show");
  EXPECT_EQ(dialog.log[4], "text 1007        Estimating execution time.");
  ASSERT_FALSE(dialog.bar_history.empty());
  EXPECT_EQ(dialog.bar_history.front(), 2);  // 60 s total, 59 s remaining
  // Closing destroys the window, whose handler posts the quit message.
  ASSERT_GE(dialog.log.size(), 2u);
  EXPECT_EQ(dialog.log[dialog.log.size() - 2], "close");
  EXPECT_EQ(dialog.log.back(), "post_quit");
  // The query never enables Suspend.
  EXPECT_EQ(std::count(dialog.log.begin(), dialog.log.end(), "enable 30003 1"), 0);
  EXPECT_TRUE(dialog.closed());
  EXPECT_EQ(err.str(), "");
}

TEST_F(Driver, RunEnablesSuspendAndFocusesIt) {
  write_text("VelmorantDS.dat", tiny_input(TinyCrystal{.image_bits = 16}));
  MessageAtStart dialog;
  EXPECT_EQ(run_velmorant("2", dialog, out, err), kExitFailed);  // no experimental image
  auto enabled_at = std::find(dialog.log.begin(), dialog.log.end(), "enable 30003 1");
  ASSERT_NE(enabled_at, dialog.log.end());
  EXPECT_NE(std::find(enabled_at, dialog.log.end(), "focus 30003"), dialog.log.end());
  EXPECT_EQ(read_text(kResultFileName), "  -101\n");
  EXPECT_NE(err.str().find("experiment.bmp"), std::string::npos) << err.str();
  EXPECT_TRUE(dialog.closed());
}

TEST_F(Driver, MissingImageFolderStopsBeforeTheComputation) {
  write_text("VelmorantDS.dat", tiny_input(TinyCrystal{.folder = "missing"}));
  ScriptedPresentation dialog;
  EXPECT_EQ(run_velmorant("0", dialog, out, err), kExitFailed);
  EXPECT_EQ(err.str(),
            "Velmorant: cannot write the simulated image \"missing/DS_experiment.bmp\": the folder "
            "\"missing\" does not exist\n");
  EXPECT_EQ(read_text(kResultFileName), "  -101\n");
  // The run never started: Suspend was not enabled.
  EXPECT_EQ(std::count(dialog.log.begin(), dialog.log.end(), "enable 30003 1"), 0);
}

TEST_F(Driver, ExitWhileSuspendedLeavesMinus101AndNoImage) {
  write_text(kResultFileName, " 0.5\n");  // an earlier run's result
  SuspendThenExit dialog;
  EXPECT_EQ(run_velmorant("0", dialog, out, err), kExitByUser) << err.str();
  EXPECT_EQ(read_text(kResultFileName), "  -101\n");
  EXPECT_FALSE(std::filesystem::exists("DS_experiment.bmp"));
  EXPECT_EQ(dialog.text(kStartButton), "&Continue");
  EXPECT_TRUE(dialog.closed());
  EXPECT_EQ(out.str() + err.str(), "");
  // Only the input and the result file are left in the working directory.
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(".")) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"VelmorantDS.dat", "VelmorantDS.res"}));
}

}  // namespace
}  // namespace velmorant
