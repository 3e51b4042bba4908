// talvor2_patterns: writes a .tv2 input of synthetic patterns and the file of their true orientations.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

#include "tools/pattern_generator.hpp"

namespace {

const char kUsage[] =
    "usage: talvor2_patterns CRYSTAL BASE [PATTERNS [SEED [STRATEGY [SPURIOUS]]]]\n"
    "  CRYSTAL   default-cubic, copper or titanium\n"
    "  BASE      output name: writes BASE.tv2 and BASE_truth.txt\n"
    "  PATTERNS  number of patterns (1..100000, default 30)\n"
    "  SEED      seed of the random numbers (default 1)\n"
    "  STRATEGY  indexing strategy written into the header (1..4, default 3)\n"
    "  SPURIOUS  share of random vectors per pattern (0..0.5, default 0)\n";

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

// Writes `text` to `name` through a temporary file, so that a failed write
// never leaves a partial file under the final name.
bool WriteFile(const std::string& name, const std::string& text) {
  const std::string temporary = name + ".part";
  {
    std::ofstream out(temporary, std::ios::binary);
    out << text;
    out.close();
    if (!out) {
      std::remove(temporary.c_str());
      return false;
    }
  }
  return std::rename(temporary.c_str(), name.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace talvor::tools;
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
