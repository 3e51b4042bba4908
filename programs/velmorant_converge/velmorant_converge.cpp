// velmorant_converge: how many beams the pattern of "VelmorantDS.dat" needs, from runs with growing caps.
// SPDX-License-Identifier: BSD-3-Clause
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <memory>
#include <string>

#include "common/provenance.hpp"
#include "common/version.hpp"
#include "simulator/beams/beam_list.hpp"
#include "simulator/convergence/beam_convergence.hpp"
#include "simulator/engine/pixel_pool.hpp"
#include "simulator/image/write_file_whole.hpp"
#include "simulator/input/read_simulation_input.hpp"

namespace {

constexpr const char* kUsage =
    "usage: velmorant_converge [--tolerance RMS] [--time-limit SECONDS] [--method 1|2] [--csv "
    "FILE]\n"
    "       velmorant_converge --version\n"
    "Computes the pattern of VelmorantDS.dat (working directory) with max_beams x 1, 1.5, 2, 3, 4, "
    "6, 8,\n"
    "compares each pattern with the one before (largest and RMS difference of the intensity, in "
    "units of\n"
    "the incident intensity, and Pearson's r), stops once the RMS difference is below the "
    "tolerance\n"
    "[0.005] or a step took longer than the time limit [600 s], prints the table, writes it as "
    "CSV\n"
    "[convergence.csv] and recommends the smallest beam count that met the tolerance. Method 2 "
    "[default]\n"
    "samples every third pixel, method 1 every second. The CSV's first line says what made it:\n"
    "\"# velmorant_converge <version>, <date>\".\n";

bool number(const char* text, double& value) {
  char* end = nullptr;
  value = std::strtod(text, &end);
  return end != text && *end == '\0' && std::isfinite(value) && value > 0;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace velmorant;
  ConvergenceOptions options;
  options.threads = hardware_threads();
  std::string csv = "convergence.csv";
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "-h" || a == "--help") {
      std::cout << kUsage;
      return 0;
    }
    if (a == "--version") {
      std::cout << common::program_version("velmorant_converge") << '\n';
      return 0;
    }
    double v = 0;
    const bool has_value = i + 1 < argc;
    if (a == "--tolerance" && has_value && number(argv[i + 1], v)) {
      options.rms_tolerance = v;
    } else if (a == "--time-limit" && has_value && number(argv[i + 1], v)) {
      options.step_seconds_limit = v;
    } else if (a == "--method" && has_value &&
               (std::strcmp(argv[i + 1], "1") == 0 || std::strcmp(argv[i + 1], "2") == 0)) {
      options.method = argv[i + 1][0] == '1' ? SamplingMethod::adaptive : SamplingMethod::block;
    } else if (a == "--csv" && has_value) {
      csv = argv[i + 1];
    } else {
      std::cerr << "velmorant_converge: cannot use \"" << a << "\""
                << (has_value ? "" : " without a value") << " here\n"
                << kUsage;
      return 1;
    }
    ++i;
  }
  try {
    auto in = std::make_unique<SimulationInput>();
    auto beams = std::make_unique<BeamList>();
    read_simulation_input(".", *in, *beams);
    if (in->max_beams < 1) {
      std::cerr << "velmorant_converge: " << kInputFileName << ": max_beams is " << in->max_beams
                << ": there is no beam count to grow\n";
      return 1;
    }
    const ConvergenceResult result = run_convergence(*in, options, std::cerr);
    std::cout << convergence_table(result);
    const std::string text = "# " +
                             common::provenance("velmorant_converge", common::utc_date_today()) +
                             "\n" + convergence_csv(result);
    write_file_whole(csv, text.data(), text.size(), "the convergence table");
    std::cout << "Stopped: " << result.stop_reason << ". Table written to \"" << csv << "\".\n";
    if (result.recommended >= 0) {
      const ConvergenceStep& s = result.steps[size_t(result.recommended)];
      std::cout << "Recommended: N = " << s.beams << " (max_beams " << s.cap << ")";
      if (size_t(result.recommended) + 1 < result.steps.size()) {
        const ConvergenceStep& next = result.steps[size_t(result.recommended) + 1];
        std::cout << ": " << next.beams << " beams change the pattern by " << next.rms_change
                  << " RMS, below the tolerance " << options.rms_tolerance;
      }
      std::cout << ".\n";
      return 0;
    }
    std::cout << "No step met the tolerance " << options.rms_tolerance
              << "; raise max_beams or the time limit.\n";
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "velmorant_converge: " << e.what() << '\n';
    return 1;
  }
}
