// The order of one Velmorant run, from the progress dialog to the result file.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <ostream>

#include "simulator/progress/presentation.hpp"

namespace velmorant {

// Exit status of the program. The outcome itself is in "VelmorantDS.res".
enum ExitStatus : int {
  kExitDone = 0,    // estimates or correlation written
  kExitFailed = 1,  // stopped on an error; a message says why
  kExitByUser = 2,  // the user suspended the run and chose Exit
};

// One run in the working directory. `argument` is the first command-line
// argument (null when there is none): "0", "1", "2" choose the sampling
// method, anything else asks for the run-time estimates only. The dialog is
// shown through `presentation`. Error messages go to `err`; the one-line
// message of a failed form-factor check and the estimates of an estimate
// query go to `out`. A crystal for which no diffracted beam is selected
// stops with a message before anything is computed, unless max_beams < 1
// asks for the transmitted beam alone.
//
// In order: open the dialog (buttons disabled, queue drained); show
// "Estimating execution time."; read "VelmorantDS.dat" and select the beams;
// calibrate the speed; for an estimate query write " E0 E1 E2" and stop;
// otherwise write "  -101", enable Suspend, seed the time estimate, compute
// the pattern, write the simulated image, correlate it with the experimental
// image, write r; close the dialog. The pixels are computed on the number of
// threads VELMORANT_THREADS names (app/thread_count.hpp), every hardware
// thread by default.
//
// "VelmorantDS.res" is untouched until the estimates or "  -101" are written;
// from then on an error or the user's Exit leaves "  -101".
int run_velmorant(const char* argument, Presentation& presentation, std::ostream& out,
                  std::ostream& err);

}  // namespace velmorant
