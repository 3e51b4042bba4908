// talvor2_recovery: recovery rates of the four strategies on generated patterns, with the causes of misses.
// SPDX-License-Identifier: BSD-3-Clause
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/version.hpp"
#include "orientation/synthetic/recovery_survey.hpp"

int main(int argc, char** argv) {
  using namespace talvor::tools;
  const char* usage =
      "usage: talvor2_recovery [-v] [PATTERNS (1..100000) [SEED]]\n"
      "       talvor2_recovery --version\n";
  int patterns = 500;
  unsigned long long seed = 1;
  bool verbose = false;
  int positional = 0;
  for (int a = 1; a < argc; ++a) {
    const std::string arg = argv[a];
    char* end = nullptr;
    if (arg == "--version") {
      std::printf("%s\n", common::program_version("talvor2_recovery").c_str());
      return 0;
    }
    if (arg == "-v") {
      verbose = true;
    } else if (positional == 0) {
      ++positional;
      const long value = std::strtol(argv[a], &end, 10);
      if (end == argv[a] || *end != '\0' || value < 1 || value > 100000) {
        std::fprintf(stderr, "%s", usage);
        return 2;
      }
      patterns = static_cast<int>(value);
    } else if (positional == 1) {
      ++positional;
      seed = std::strtoull(argv[a], &end, 10);
      if (end == argv[a] || *end != '\0') {
        std::fprintf(stderr, "%s", usage);
        return 2;
      }
    } else {
      std::fprintf(stderr, "%s", usage);
      return 2;
    }
  }
  std::printf(
      "%d patterns per case, 6-12 vectors, 0.3 deg noise, seed %llu; found = within %.1f deg\n",
      patterns, seed, kRecoveryToleranceDegrees);
  std::printf("%-14s %8s %9s %7s %7s %9s   misses: %9s %10s %9s %6s\n", "crystal", "strategy",
              "spurious", "found", "rate", "count ok", "ambiguous", "no trial", "voted out",
              "other");
  for (const char* crystal : {"default-cubic", "copper", "titanium"})
    for (double spurious : {0.0, 0.1})
      for (int strategy = 1; strategy <= 4; ++strategy) {
        SurveyCase c;
        c.crystal = crystal;
        c.strategy = strategy;
        c.spurious = spurious;
        c.patterns = patterns;
        c.seed = seed;
        const SurveyOutcome out = RunSurvey(c);
        std::printf("%-14s %8d %8.0f%% %7d %6.1f%% %9d           %9d %10d %9d %6d\n", crystal,
                    strategy, 100 * spurious, out.found, 100.0 * out.found / out.patterns,
                    out.rightCount, out.ambiguous, out.noTrial, out.votedOut, out.otherMisses);
        if (verbose) std::printf("%s", out.misses.c_str());
        std::fflush(stdout);
      }
  return 0;
}
