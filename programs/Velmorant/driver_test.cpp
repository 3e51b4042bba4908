// Tests of the driver run in-process with a scripted dialog: the order of the dialog operations and the user's Exit.
// SPDX-License-Identifier: BSD-3-Clause
#include "programs/Velmorant/driver.hpp"

#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "programs/Velmorant/app_test_support.hpp"
#include "programs/Velmorant/result_file.hpp"
#include "simulator/image/encode_image.hpp"
#include "simulator/image/image_format.hpp"
#include "simulator/image/write_pattern_image.hpp"
#include "simulator/input/read_simulation_input.hpp"
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
  // No experimental image: the pattern is computed and r = 2.0.
  write_text("VelmorantDS.dat", tiny_input(TinyCrystal{.name = "-"}));
  MessageAtStart dialog;
  EXPECT_EQ(run_velmorant("2", dialog, out, err), kExitDone) << err.str();
  auto enabled_at = std::find(dialog.log.begin(), dialog.log.end(), "enable 30003 1");
  ASSERT_NE(enabled_at, dialog.log.end());
  EXPECT_NE(std::find(enabled_at, dialog.log.end(), "focus 30003"), dialog.log.end());
  EXPECT_EQ(read_text(kResultFileName), " 2.0\n");
  EXPECT_TRUE(dialog.closed());
}

// An experimental image that the comparison at the end could not read ends
// the run before the computation, with the outcome the end would have had:
// the error naming the file, "  -101", exit status 1; and no image written.
TEST_F(Driver, UnreadableExperimentalImageStopsBeforeTheComputation) {
  const struct {
    const char* what;
    std::string content;  // empty: no file
    const char* message;
  } cases[] = {
      {"missing", "",
       "Velmorant: cannot open the experimental image \"./experiment.bmp\": No such file or "
       "directory\n"},
      {"misspelt", "",
       "Velmorant: cannot open the experimental image \"./experiment.bmp\": No such file or "
       "directory\n"},
      {"short", "BM and nothing more",
       "Velmorant: the experimental image \"./experiment.bmp\" is too short: it ends in its "
       "54-byte header\n"},
  };
  for (const auto& c : cases) {
    std::filesystem::remove("experiment.bmp");
    std::filesystem::remove("Experiment.bmp");
    if (std::string(c.what) == "misspelt") write_text("Experiment.bmp", "BM");
    if (!c.content.empty()) write_text("experiment.bmp", c.content);
    write_text(kResultFileName, " 0.5\n");
    ScriptedPresentation dialog;
    std::ostringstream out, err;
    EXPECT_EQ(run_velmorant("0", dialog, out, err), kExitFailed) << c.what;
    EXPECT_EQ(err.str(), c.message) << c.what;
    EXPECT_EQ(read_text(kResultFileName), "  -101\n") << c.what;
    EXPECT_FALSE(std::filesystem::exists("DS_experiment.bmp")) << c.what;
    // No pixel was computed: the run never started, Suspend was never enabled.
    EXPECT_EQ(std::count(dialog.log.begin(), dialog.log.end(), "enable 30003 1"), 0) << c.what;
    EXPECT_TRUE(dialog.closed()) << c.what;
  }
}

// Every experimental image that cannot be compared or read is found before
// the computation (Suspend is never enabled, so no pixel is computed), with
// one line that names the file and the problem; an earlier simulated image
// stays as it was. Unusable images give r = 2.0 and exit status 0, unreadable
// ones "  -101" and exit status 1.
TEST_F(Driver, UnusableOrUnreadableExperimentStopsBeforeTheComputation) {
  PatternImage grey;
  for (int j = 1; j <= PatternImage::kSize; ++j)
    for (int i = 1; i <= PatternImage::kSize; ++i) grey(i, j) = float((i + 2 * j) % 256);
  std::vector<std::uint8_t> bmp(encoded_size(8));
  encode_pattern_image(grey, 8, bmp.data());
  auto patched = [](std::vector<std::uint8_t> b, std::size_t at, std::uint32_t v, int n) {
    for (int k = 0; k < n; ++k) b[at + std::size_t(k)] = static_cast<std::uint8_t>(v >> (8 * k));
    return b;
  };
  auto cut = [](std::vector<std::uint8_t> b) {
    b.resize(b.size() / 2);
    return b;
  };
  const bool png_built = format_built(ImageFormat::png),
             tiff_built = format_built(ImageFormat::tiff);
  const std::vector<std::uint8_t> png =
      png_built ? encode_png(grey, 16) : std::vector<std::uint8_t>{};
  const std::vector<std::uint8_t> tiff =
      tiff_built ? encode_tiff(grey, 32) : std::vector<std::uint8_t>{};
  const bool convert = std::system("convert -version > /dev/null 2>&1") == 0;
  const struct {
    const char* what;
    const char* name;
    std::vector<std::uint8_t> bytes;  // written as the experiment unless `made` is set
    const char* made;  // convert arguments before the output file; "folder": a folder
    int bits;          // image_bits
    int status;
    std::string message;
  } cases[] = {
      {"BMP 256 x 256", "e.bmp", patched(bmp, 18, 256, 4), nullptr, 8, kExitDone,
       "r = 2.0 without computing the pattern: the experimental image \"./e.bmp\" is 256 x 512 "
       "pixels; it must "
       "be 512 x 512 (images are not resampled)"},
      {"BMP 16 bits", "e.bmp", patched(bmp, 28, 16, 2), nullptr, 8, kExitDone,
       "r = 2.0 without computing the pattern: the experimental image \"./e.bmp\" has 16 bits per "
       "pixel; a BMP "
       "experiment must have 8 or 24"},
      {"BMP RLE4", "e.bmp", patched(bmp, 30, 2, 4), nullptr, 8, kExitDone,
       "r = 2.0 without computing the pattern: the experimental image \"./e.bmp\" is compressed "
       "(compression 2, "
       "RLE4); a BMP experiment must be uncompressed, or run-length encoded (RLE8) with 8 bits per "
       "pixel"},
      {"BMP truncated", "e.bmp", cut(bmp), nullptr, 8, kExitFailed,
       "the experimental image \"./e.bmp\" is too short: it ends in its pixel data"},
      {"BMP, image_bits 12", "e.bmp", bmp, nullptr, 12, kExitFailed,
       "cannot write the simulated image \"./DS_e.bmp\": image_bits is 12; a BMP pattern is "
       "written with 8 or "
       "24 bits per pixel"},
      {"PNG truncated", "e.png", cut(png), nullptr, 8, kExitFailed,
       "the experimental image \"./e.png\" is too short: it ends in its PNG data"},
      {"TIFF truncated", "e.tif", cut(tiff), nullptr, 8, kExitFailed,
       "the experimental image \"./e.tif\" cannot be read as TIFF: "},
      {"neither format",
       "e.jpg",
       {0xFF, 0xD8, 0xFF, 0xE0, 0, 0},
       nullptr,
       8,
       kExitDone,
       "r = 2.0 without computing the pattern: the experimental image \"./e.jpg\" is neither BMP, "
       "PNG nor TIFF "
       "(it starts with the bytes FF D8)"},
      {"a folder",
       "e.png",
       {},
       "folder",
       8,
       kExitFailed,
       "cannot read the experimental image \"./e.png\": Is a directory"},
      {"PNG 256 x 256",
       "e.png",
       {},
       "-size 256x256 xc:gray50 -depth 8",
       8,
       kExitDone,
       "r = 2.0 without computing the pattern: the experimental image \"./e.png\" is 256 x 256 "
       "pixels; it must "
       "be 512 x 512 (images are not resampled)"},
      {"PNG 1 bit",
       "e.png",
       {},
       "-size 512x512 pattern:checkerboard -type bilevel",
       8,
       kExitDone,
       "r = 2.0 without computing the pattern: the experimental image \"./e.png\" has 1 bits per "
       "sample; a PNG "
       "experiment must have 8 or 16"},
      {"TIFF 256 x 256",
       "e.tif",
       {},
       "-size 256x256 xc:gray50 -depth 8",
       8,
       kExitDone,
       "r = 2.0 without computing the pattern: the experimental image \"./e.tif\" is 256 x 256 "
       "pixels; it must "
       "be 512 x 512 (images are not resampled)"},
      {"TIFF 1 bit",
       "e.tif",
       {},
       "-size 512x512 pattern:checkerboard -depth 1",
       8,
       kExitDone,
       "r = 2.0 without computing the pattern: the experimental image \"./e.tif\" has 1-bit "
       "unsigned samples; "
       "a TIFF experiment must have 8- or 16-bit unsigned samples or 32-bit floats"},
  };
  for (const auto& c : cases) {
    const std::string name = c.name;
    if ((name == "e.png" && !png_built) || (name == "e.tif" && !tiff_built))
      continue;  // other messages
    std::filesystem::remove_all(c.name);
    if (c.made && std::string(c.made) == "folder") {
      std::filesystem::create_directory(c.name);
    } else if (c.made) {
      if (!convert) continue;  // ImageMagick makes these files
      const std::string command = std::string("convert ") + c.made + " " + c.name;
      ASSERT_EQ(std::system(command.c_str()), 0) << command;
    } else {
      testing::write_bytes(c.name, c.bytes);
    }
    write_text("VelmorantDS.dat", tiny_input(TinyCrystal{.name = c.name, .image_bits = c.bits}));
    write_text(kResultFileName, " 0.5\n");
    const std::string earlier = std::string("DS_") + c.name;
    write_text(earlier, "an earlier simulated image");
    ScriptedPresentation dialog;
    std::ostringstream out, err;
    EXPECT_EQ(run_velmorant("0", dialog, out, err), c.status) << c.what << ": " << err.str();
    const std::string said = err.str();
    EXPECT_EQ(said.substr(0, 11 + c.message.size()), "Velmorant: " + c.message) << c.what;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << c.what << ": " << said;
    EXPECT_EQ(read_text(kResultFileName), c.status == kExitDone ? " 2.0\n" : "  -101\n") << c.what;
    EXPECT_EQ(read_text(earlier), "an earlier simulated image") << c.what;
    EXPECT_EQ(std::count(dialog.log.begin(), dialog.log.end(), "enable 30003 1"), 0) << c.what;
    EXPECT_TRUE(dialog.closed()) << c.what;
    std::filesystem::remove(earlier);
  }
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
  write_text("VelmorantDS.dat", tiny_input(TinyCrystal{.name = "-"}));
  write_text("experiment.bmp", "not a bitmap");
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
  for (const auto& e : std::filesystem::directory_iterator("."))
    names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names,
            (std::vector<std::string>{"VelmorantDS.dat", "VelmorantDS.res", "experiment.bmp"}));
}

// Sets an environment variable for the life of the object.
class ScopedVariable {
public:
  ScopedVariable(const char* name, const char* value) : name_(name) { ::setenv(name, value, 1); }
  ~ScopedVariable() { ::unsetenv(name_); }

private:
  const char* name_;
};

// Acts at the n-th time the presentation is asked for messages. The first
// two asks are the driver's drain and its first progress_update; every
// later one before Suspend is enabled comes from the beam search.
class ActAtPeek : public ScriptedPresentation {
public:
  ActAtPeek(int n, std::function<void(ActAtPeek&)> act) : n_(n), act_(std::move(act)) {}
  bool peek_message() override {
    if (++asked_ == n_) act_(*this);
    return ScriptedPresentation::peek_message();
  }

private:
  int n_;
  int asked_ = 0;
  std::function<void(ActAtPeek&)> act_;
};

// A confirmed search of hours (index_limit 1000) keeps the dialog served:
// closing the window ends the run within a few polls. Without the polls
// this test would run for hours.
TEST_F(Driver, WindowClosedDuringALongBeamSearchEndsTheRun) {
  write_text("VelmorantDS.dat", tiny_input(TinyCrystal{.index_limit = 1000}));
  write_text(kResultFileName, " 0.5\n");
  ScopedVariable confirmed(kLongSearchVariable, "1");
  ActAtPeek dialog(5, [](ActAtPeek& d) { d.close_request(); });
  EXPECT_EQ(run_velmorant("0", dialog, out, err), kExitByUser) << err.str();
  EXPECT_TRUE(dialog.closed());
  EXPECT_EQ(read_text(kResultFileName), " 0.5\n");  // the run had not started
  EXPECT_EQ(out.str() + err.str(), "");
}

// Raises a signal in the middle of the run: at the fifth ask for messages
// (during the beam search) or at the first one of the computation (once
// Suspend has been enabled).
class RaiseSignal : public ScriptedPresentation {
public:
  RaiseSignal(int sig, bool during_computation)
      : sig_(sig), during_computation_(during_computation) {}
  void enable(int control, bool on) override {
    ScriptedPresentation::enable(control, on);
    if (control == kSuspendButton && on) computing_ = true;
  }
  bool peek_message() override {
    ++asked_;
    if (!raised_ && (during_computation_ ? computing_ : asked_ == 5)) {
      raised_ = true;
      ::raise(sig_);
    }
    return ScriptedPresentation::peek_message();
  }

private:
  int sig_;
  bool during_computation_;
  bool computing_ = false;
  bool raised_ = false;
  int asked_ = 0;
};

// Ctrl+C (SIGINT) or SIGTERM ends the run at the next pass of the run control
// and leaves "  -101", also when it comes before the run started (an
// earlier run's result must not pass for this one's).
TEST_F(Driver, SignalEndsTheRunAndLeavesMinus101) {
  const struct {
    const char* what;
    int signal;
    bool during_computation;  // otherwise during a confirmed search of hours (index_limit 1000)
    const char* message;
  } cases[] = {
      {"SIGINT during the beam search", SIGINT, false,
       "Velmorant: interrupted by SIGINT; VelmorantDS.res holds \"  -101\"\n"},
      {"SIGTERM during the beam search", SIGTERM, false,
       "Velmorant: interrupted by SIGTERM; VelmorantDS.res holds \"  -101\"\n"},
      {"SIGINT during the computation", SIGINT, true,
       "Velmorant: interrupted by SIGINT; VelmorantDS.res holds \"  -101\"\n"},
  };
  write_text("experiment.bmp", "not a bitmap");
  ScopedVariable confirmed(kLongSearchVariable, "1");
  for (const auto& c : cases) {
    write_text(
        "VelmorantDS.dat",
        tiny_input(TinyCrystal{.name = "-", .index_limit = c.during_computation ? 3 : 1000}));
    write_text(kResultFileName, " 0.5\n");
    RaiseSignal dialog(c.signal, c.during_computation);
    std::ostringstream out, err;
    EXPECT_EQ(run_velmorant("0", dialog, out, err), kExitByUser) << c.what;
    EXPECT_TRUE(dialog.closed()) << c.what;
    EXPECT_EQ(read_text(kResultFileName), "  -101\n") << c.what;
    EXPECT_EQ(err.str(), c.message) << c.what;
    EXPECT_FALSE(std::filesystem::exists("DS_experiment.bmp")) << c.what;
  }
  // The handlers are gone with the run: SIGINT is back to what it was.
  struct sigaction now {};
  ::sigaction(SIGINT, nullptr, &now);
  EXPECT_EQ(now.sa_handler, SIG_DFL);
}

}  // namespace
}  // namespace velmorant
