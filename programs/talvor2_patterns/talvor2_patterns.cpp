// talvor2_patterns: writes a .tv2 input of synthetic patterns and the file of their true orientations.
// SPDX-License-Identifier: BSD-3-Clause
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>

#include "common/atomic_file.hpp"
#include "common/version.hpp"
#include "orientation/synthetic/pattern_generator.hpp"

namespace {

const char kUsage[] =
    "usage: talvor2_patterns CRYSTAL BASE [PATTERNS [SEED [STRATEGY [SPURIOUS]]]]\n"
    "  CRYSTAL   default-cubic, copper or titanium\n"
    "  BASE      output name: writes BASE.tv2 and BASE_truth.txt\n"
    "  PATTERNS  number of patterns (1..100000, default 30)\n"
    "  SEED      seed of the random numbers (default 1)\n"
    "  STRATEGY  indexing strategy written into the header (1..4, default 3)\n"
    "  SPURIOUS  share of random vectors per pattern (0..0.5, default 0)\n"
    "\n"
    "usage: talvor2_patterns map CRYSTAL BASE WIDTH HEIGHT GRAINS_X GRAINS_Y [SEED [STRATEGY\n"
    "                        [SPURIOUS [NOISE [VECTORS]]]]]\n"
    "  a map of WIDTH x HEIGHT points (titles \"Pattern k x=X y=Y\", x fastest) over\n"
    "  GRAINS_X x GRAINS_Y rectangular grains; writes BASE.tv2 and BASE_truth.txt\n"
    "  NOISE     angular noise in degrees, root mean square (0..5, default 0.3)\n"
    "  VECTORS   vectors per pattern (3..32; default 6 to 12 at random)\n"
    "\n"
    "usage: talvor2_patterns --version\n";

bool ParseLong(const char* text, long long lo, long long hi, long long& value) {
  char* end = nullptr;
  value = std::strtoll(text, &end, 10);
  return end != text && *end == '\0' && value >= lo && value <= hi;
}

bool ParseDouble(const char* text, double lo, double hi, double& value) {
  char* end = nullptr;
  value = std::strtod(text, &end);
  return end != text && *end == '\0' && value >= lo && value <= hi;
}

// Replaces `name` as a whole (common::write_file_whole): a failed write never
// leaves a partial file under the final name.
bool WriteFile(const std::string& name, const std::string& text) {
  return !common::write_file_whole(name, text.data(), text.size());
}

// The map form of the command line (argv[1] is "map").
int MapMain(int argc, char** argv) {
  using namespace talvor::tools;
  if (argc < 8 || argc > 13) {
    std::cerr << kUsage;
    return 2;
  }
  const std::string crystal_name = argv[2];
  if (crystal_name != "default-cubic" && crystal_name != "copper" && crystal_name != "titanium") {
    std::cerr << "talvor2_patterns: unknown crystal " << crystal_name << "\n" << kUsage;
    return 2;
  }
  const CrystalDescription crystal = CrystalByName(crystal_name);
  const std::string base = argv[3];
  MapSettings map;
  RunParameters run;
  long long v[4] = {0, 0, 0, 0};
  const char* names[4] = {"width", "height", "grain count along x", "grain count along y"};
  for (int k = 0; k < 4; ++k) {
    if (!ParseLong(argv[4 + k], 1, 10000000, v[k])) {
      std::cerr << "talvor2_patterns: bad " << names[k] << " " << argv[4 + k] << "\n" << kUsage;
      return 2;
    }
  }
  if (v[0] * v[1] > 2000000000LL || v[2] > v[0] || v[3] > v[1]) {
    std::cerr << "talvor2_patterns: the map must have at most 2e9 points and at least one point "
                 "per grain\n";
    return 2;
  }
  map.width = static_cast<int>(v[0]);
  map.height = static_cast<int>(v[1]);
  map.grainsX = static_cast<int>(v[2]);
  map.grainsY = static_cast<int>(v[3]);
  long long value = 0;
  double real = 0.0;
  if (argc > 8) {
    if (!ParseLong(argv[8], 0, 9223372036854775807LL, value)) {
      std::cerr << "talvor2_patterns: bad seed " << argv[8] << "\n" << kUsage;
      return 2;
    }
    map.patterns.seed = static_cast<std::uint64_t>(value);
  }
  if (argc > 9) {
    if (!ParseLong(argv[9], 1, 4, value)) {
      std::cerr << "talvor2_patterns: bad strategy " << argv[9] << "\n" << kUsage;
      return 2;
    }
    run.strategy = static_cast<int>(value);
  }
  if (argc > 10) {
    if (!ParseDouble(argv[10], 0.0, 0.5, real)) {
      std::cerr << "talvor2_patterns: bad spurious share " << argv[10] << "\n" << kUsage;
      return 2;
    }
    map.patterns.spuriousFraction = real;
  }
  if (argc > 11) {
    if (!ParseDouble(argv[11], 0.0, 5.0, real)) {
      std::cerr << "talvor2_patterns: bad noise " << argv[11] << "\n" << kUsage;
      return 2;
    }
    map.patterns.noiseDegrees = real;
  }
  if (argc > 12) {
    if (!ParseLong(argv[12], 3, 32, value)) {
      std::cerr << "talvor2_patterns: bad vector count " << argv[12] << "\n" << kUsage;
      return 2;
    }
    map.patterns.minVectors = map.patterns.maxVectors = static_cast<int>(value);
  }
  // Both files are made in memory and each replaced as a whole.
  const std::string input_name = base + ".tv2", truth_name = base + "_truth.txt";
  std::ostringstream input, truth;
  WriteMap(input, truth, crystal, run, map);
  if (!WriteFile(input_name, input.str()) || !WriteFile(truth_name, truth.str())) {
    std::cerr << "talvor2_patterns: cannot write " << input_name << " or " << truth_name << "\n";
    return 1;
  }
  std::cout << "wrote " << input_name << " and " << truth_name << " (" << v[0] * v[1]
            << " points)\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace talvor::tools;
  if (argc == 2 && std::string(argv[1]) == "--version") {
    std::cout << common::program_version("talvor2_patterns") << '\n';
    return 0;
  }
  if (argc > 1 && std::string(argv[1]) == "map") return MapMain(argc, argv);
  if (argc < 3 || argc > 7) {
    std::cerr << kUsage;
    return 2;
  }
  const std::string crystal_name = argv[1];
  CrystalDescription crystal;
  if (crystal_name == "default-cubic") {
    crystal = DefaultCubic();
  } else if (crystal_name == "copper") {
    crystal = CubicCopper();
  } else if (crystal_name == "titanium") {
    crystal = HexagonalTitanium();
  } else {
    std::cerr << "talvor2_patterns: unknown crystal " << crystal_name << "\n" << kUsage;
    return 2;
  }
  const std::string base = argv[2];

  PatternSettings settings;
  RunParameters run;
  long long value = 0;
  double real = 0.0;
  if (argc > 3) {
    if (!ParseLong(argv[3], 1, 100000, value)) {
      std::cerr << "talvor2_patterns: bad pattern count " << argv[3] << "\n" << kUsage;
      return 2;
    }
    settings.patternCount = static_cast<int>(value);
  }
  if (argc > 4) {
    if (!ParseLong(argv[4], 0, 9223372036854775807LL, value)) {
      std::cerr << "talvor2_patterns: bad seed " << argv[4] << "\n" << kUsage;
      return 2;
    }
    settings.seed = static_cast<std::uint64_t>(value);
  }
  if (argc > 5) {
    if (!ParseLong(argv[5], 1, 4, value)) {
      std::cerr << "talvor2_patterns: bad strategy " << argv[5] << "\n" << kUsage;
      return 2;
    }
    run.strategy = static_cast<int>(value);
  }
  if (argc > 6) {
    if (!ParseDouble(argv[6], 0.0, 0.5, real)) {
      std::cerr << "talvor2_patterns: bad spurious share " << argv[6] << "\n" << kUsage;
      return 2;
    }
    settings.spuriousFraction = real;
  }

  const auto patterns = GeneratePatterns(crystal, settings);
  if (!WriteFile(base + ".tv2", FormatInput(crystal, run, patterns)) ||
      !WriteFile(base + "_truth.txt", FormatTruth(crystal, patterns))) {
    std::cerr << "talvor2_patterns: cannot write " << base << ".tv2 or " << base << "_truth.txt\n";
    return 1;
  }
  std::cout << "wrote " << base << ".tv2 and " << base << "_truth.txt (" << patterns.size()
            << " patterns)\n";
  return 0;
}
