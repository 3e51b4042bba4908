// Fuzz harness of Talvor2's .tv2 reader: the header, the catalogue built from
// it (lattice inversion, plane normals) and every pattern up to the count,
// with the map position its title line may carry.
// SPDX-License-Identifier: BSD-3-Clause
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "orientation/catalogue/catalogue.hpp"
#include "orientation/errors/report_fatal_error.hpp"
#include "fuzz/fuzz_support.hpp"
#include "orientation/input/input_file.hpp"
#include "orientation/maps/map_position.hpp"

// Patterns read per input at most: the reader's work per pattern is the same
// for every pattern, and a fuzzed count can be two thousand million.
constexpr int kLargestPatternCount = 1000;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace talvor;
  const std::string name = "fuzz.tv2";
  const auto file = fuzz::write_input(name, data, size);
  auto problem = std::make_unique<OrientationProblem>();
  auto catalogue = std::make_unique<Catalogue>();
  auto pattern = std::make_unique<ScatteringPattern>();
  std::ostringstream console;
  std::string title;
  try {
    std::ifstream input(file);
    common::FreeFormReader reader(input);
    SetDefaults(*problem);
    ReadHeader(reader, name, *problem, console);
    BuildCatalogue(*problem, *catalogue);
    for (int i = 1; i <= problem->patternCount && i <= kLargestPatternCount; ++i) {
      if (ReadPattern(reader, i, name, *pattern, title) != PatternStatus::read) break;
      const MapPosition at = ParseMapPosition(title);
      if (at.known && title.find("x=") == std::string::npos)
        std::abort();  // a position from nowhere
    }
  } catch (const FatalStop&) {
  } catch (const std::exception&) {
  }
  return 0;
}
