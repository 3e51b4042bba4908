// Entry of Velmorant: one convergent-beam pattern simulation in the working directory.
// SPDX-License-Identifier: BSD-3-Clause
#include <cstring>
#include <iostream>
#include <memory>

#include "common/version.hpp"
#include "programs/Velmorant/driver.hpp"
#include "simulator/progress/presentation.hpp"

namespace {

constexpr const char* kUsage =
    "Usage: Velmorant [0|1|2]\n"
    "Simulates the bright-field convergent-beam pattern described by VelmorantDS.dat in the\n"
    "working directory.\n"
    "  0   every pixel, full series\n"
    "  1   every second pixel, the rest interpolated where the neighbours agree\n"
    "  2   every third pixel, each standing for a 3 x 3 block\n"
    "  (anything else or nothing)   only estimate the run time of the three methods\n"
    "Writes the simulated image DS_<name> beside the experimental image and the correlation r\n"
    "(or the three estimates in seconds) to VelmorantDS.res; velmorant_input writes\n"
    "VelmorantDS.dat from a CIF file.\n"
    "  -h, --help   this text\n"
    "  --version    the program's version (the only argument)\n"
    "Environment variables:\n"
    "  VELMORANT_THREADS=n            threads that compute the pixels (default: every hardware "
    "thread)\n"
    "  VELMORANT_PRESENTATION=mode    window, terminal or silent (default: window on a display,\n"
    "                                 terminal when standard error is one, else silent)\n"
    "  VELMORANT_RAW=1                also write the unscaled intensities, DS_<name>_raw.tif\n"
    "  VELMORANT_BEAMS=1              also write every beam's disc: DS_<name>_beams.tif (a page "
    "per\n"
    "                                 beam), DS_<name>_beams.csv and the whole pattern "
    "DS_<name>_pattern.png\n"
    "  VELMORANT_BEAMS_APERTURE=mrad  with VELMORANT_BEAMS: cut each disc to this convergence "
    "semi-angle\n"
    "  VELMORANT_DIAGNOSTICS=1        list the derived quantities and the selected beams on "
    "standard error\n"
    "  VELMORANT_LONG_SEARCH=1        run a reflection search predicted to take over a minute\n"
    "The README and docs/velmorant.md describe the input file, the images and these variables.\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::cout << common::program_version("Velmorant") << '\n';
    return 0;
  }
  if (argc > 1 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0)) {
    std::cout << kUsage;
    return 0;
  }
  std::unique_ptr<velmorant::Presentation> presentation = velmorant::make_presentation();
  const int status =
      velmorant::run_velmorant(argc > 1 ? argv[1] : nullptr, *presentation, std::cout, std::cerr);
  std::cout.flush();
  return status;
}
