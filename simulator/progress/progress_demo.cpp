// A stand-in run for trying the progress presentations: the driver's steps around a busy computation of rows x columns "pixels".
//
//   velmorant_progress_demo [rows columns milliseconds-per-pixel]
//
// Writes "  -101" to VelmorantDS.res in the working directory when the run
// starts, "DS_demo.bmp" (a placeholder, not an image) after the last pixel and
// then " 0.5" to VelmorantDS.res, like a finished simulation. Exit or closing
// the window ends it with the result file at "  -101" and no DS_demo.bmp.
// SPDX-License-Identifier: BSD-3-Clause
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "simulator/progress/run_control.hpp"

namespace {

void busy_for(double milliseconds) {  // the stand-in for one pixel of work
  auto until =
      std::chrono::steady_clock::now() + std::chrono::duration<double, std::milli>(milliseconds);
  while (std::chrono::steady_clock::now() < until) {
  }
}

bool write_whole_file(const char* name, const std::string& text) {
  std::ofstream out(name, std::ios::trunc);
  out << text;
  out.close();
  if (!out) std::fprintf(stderr, "velmorant_progress_demo: cannot write %s\n", name);
  return static_cast<bool>(out);
}

int parse_positive(const char* text, int fallback) {
  char* end = nullptr;
  long v = std::strtol(text, &end, 10);
  return (end && *end == '\0' && v > 0 && v <= 100000) ? static_cast<int>(v) : fallback;
}

}  // namespace

int main(int argc, char** argv) {
  int rows = argc > 1 ? parse_positive(argv[1], 100) : 100;
  int columns = argc > 2 ? parse_positive(argv[2], 100) : 100;
  double ms_per_pixel = argc > 3 ? std::atof(argv[3]) : 1.0;
  if (!(ms_per_pixel >= 0.0 && ms_per_pixel <= 1000.0)) ms_per_pixel = 1.0;

  velmorant::ProgressState progress;
  auto presentation = velmorant::make_presentation();
  velmorant::RunControl control(progress, *presentation);
  control.open_dialog();
  progress.timing_phase = velmorant::TimingPhase::estimating;
  progress.total_seconds = 60.0f;
  progress.remaining_seconds = 59.0f;
  control.progress_update();
  for (int k = 0; k < 200; ++k) {  // "calibration": half a second of estimating
    busy_for(2.5);
    control.progress_update();
  }
  if (!write_whole_file("VelmorantDS.res", "  -101\n")) return 1;
  presentation->enable(velmorant::kSuspendButton, true);
  progress.focus_request = velmorant::kSuspendButton;
  float estimate = static_cast<float>(rows * columns * ms_per_pixel / 1000.0);
  progress.seconds_per_unit = estimate * 1.5f / static_cast<float>(rows * columns);
  progress.total_seconds = progress.remaining_seconds = estimate;
  progress.progress_percent = 1;

  progress.units_left = rows * columns;
  control.rate_update(0);
  for (int i = 0; i < rows; ++i) {
    for (int j = 0; j < columns; ++j) {
      busy_for(ms_per_pixel);
      control.progress_update();
      --progress.units_left;
    }
    control.rate_update(columns);
  }
  if (!write_whole_file("DS_demo.bmp", "placeholder\n")) return 1;
  if (!write_whole_file("VelmorantDS.res", " 0.5\n")) return 1;
  control.close_dialog();
  return 0;
}
