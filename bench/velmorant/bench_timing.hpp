// Timing helpers shared by the engine's benchmark programs: the fastest of three runs, and the load they ran under.
#pragma once

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>

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

}  // namespace velmorant::bench
