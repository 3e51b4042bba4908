// Helpers shared by the engine's benchmark programs: their example and thread count, the fastest of three runs, the load.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <fstream>
#include <string>

#include "simulator/input/read_simulation_input.hpp"

namespace velmorant::bench {

using Clock = std::chrono::steady_clock;

// Seconds of the fastest of three calls of f (other processes only ever slow a call down).
template <class F>
double fastest_of_three(F&& f) {
  double best = 1e30;
  for (int round = 0; round < 3; ++round) {
    const auto start = Clock::now();
    f();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
  }
  return best;
}

// The one-minute load average, printed beside every figure ("?" where unknown).
inline std::string load_average() {
  std::ifstream f("/proc/loadavg");
  std::string a;
  f >> a;
  return a.empty() ? "?" : a;
}

// The example a benchmark runs (argument 1, default the silicon example) and
// its thread count (argument 2, default 1), with the input read from it.
struct Example {
  std::string folder;
  int threads = 1;
  std::unique_ptr<SimulationInput> in = std::make_unique<SimulationInput>();
  std::unique_ptr<BeamList> beams = std::make_unique<BeamList>();
};

inline Example read_example(int argc, char** argv) {
  Example e;
  e.folder = argc > 1 ? argv[1] : std::string(VELMORANT_EXAMPLES_DIR) + "/si-111";
  e.threads = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
  read_simulation_input(e.folder, *e.in, *e.beams);
  return e;
}

}  // namespace velmorant::bench
