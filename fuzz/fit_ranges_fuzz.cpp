// Fuzz harness of velmorant_fit's parameter ranges: each line of the input is
// one --vary argument; the accepted ones must give a bounded grid of finite
// values that the simulation takes.
// SPDX-License-Identifier: BSD-3-Clause
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.hpp"
#include "simulator/fit/fit_parameters.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream lines(std::string(reinterpret_cast<const char*>(data), size));
  std::vector<velmorant::fit::ParameterRange> ranges;
  std::string line;
  while (std::getline(lines, line)) {
    try {
      const velmorant::fit::ParameterRange r = velmorant::fit::parse_range(line);
      const int n = r.count();
      if (n < 1 || n > 10000) std::abort();  // the grid is bounded
      for (const int k : {0, n - 1}) {
        const double v = r.value(k);
        if (!std::isfinite(v)) std::abort();
        if (k > 0 && !(v > r.value(k - 1))) std::abort();  // every step moves the value
      }
      ranges.push_back(r);
    } catch (const velmorant::fit::FitError&) {
    }
  }
  try {
    velmorant::fit::check_ranges(ranges);
  } catch (const velmorant::fit::FitError&) {
  }
  return 0;
}
