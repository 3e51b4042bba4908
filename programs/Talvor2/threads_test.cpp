// Talvor2 on a pool of threads: the same bytes for any thread count, and maps solved to their grains.
// SPDX-License-Identifier: BSD-3-Clause
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <numbers>

#include "programs/Talvor2/run_folder_fixture.hpp"
#include "programs/Talvor2/talvor2_run.hpp"
#include "orientation/synthetic/pattern_generator.hpp"

namespace talvor {
namespace {

namespace fs = std::filesystem;

class ThreadedRun : public RunFolder {
protected:
  ThreadedRun() : RunFolder("talvor2_threads_") {}
  // Console text of a run with `threads` solving threads; the files stay in `dir`.
  std::string Run(const std::vector<std::string>& args, int threads) {
    std::istringstream in;
    std::ostringstream out;
    RunEnvironment env{in, out, dir, [] { return 0.0f; }, threads};
    status = RunTalvor2(args, env);
    return out.str();
  }
  int status = -1;
};

// The map table after its first line, the provenance comment (whose date
// may turn between two runs).
std::string TableRows(const std::string& table) {
  EXPECT_EQ(table.rfind("# Talvor2 ", 0), 0u) << table.substr(0, 80);
  const std::size_t end = table.find('\n');
  return end == std::string::npos ? std::string() : table.substr(end + 1);
}

std::string Map(const char* crystal_name, int width, int height, int strategy, double spurious,
                std::uint64_t seed) {
  const tools::CrystalDescription crystal = tools::CrystalByName(crystal_name);
  tools::MapSettings map;
  map.width = width;
  map.height = height;
  map.patterns.seed = seed;
  map.patterns.spuriousFraction = spurious;
  tools::RunParameters run;
  run.strategy = strategy;
  std::ostringstream input, truth;
  tools::WriteMap(input, truth, crystal, run, map);
  return input.str();
}

TEST_F(ThreadedRun, AnyThreadCountWritesTheSameBytes) {
  // The shipped examples and generated maps of every strategy, with unsolved
  // points among them (a third of the vectors spurious).
  std::vector<std::pair<std::string, std::string>> inputs;
  for (const char* example : {"copper", "titanium"}) {
    std::ifstream f(std::string(TALVOR2_EXAMPLES) + "/" + example + ".tv2", std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    ASSERT_FALSE(s.str().empty()) << example;
    inputs.emplace_back(example, s.str());
  }
  for (int strategy = 1; strategy <= 4; ++strategy)
    inputs.emplace_back(
        "cubic map " + std::to_string(strategy),
        Map(strategy % 2 ? "copper" : "titanium", 23, 17, strategy, 0.34, 11 + strategy));
  for (const auto& [label, text] : inputs) {
    Put("in.tv2", text);
    const std::string console1 = Run({"--map", "in.tv2"}, 1);
    ASSERT_EQ(status, 0) << label;
    const std::string results1 = Get("in_tv2.res"), table1 = TableRows(Get("in_tv2.csv")),
                      picture1 = Get("in_tv2.png");
    for (int threads : {2, 3, 4, 7}) {
      EXPECT_EQ(Run({"--map", "in.tv2"}, threads), console1)
          << label << ", " << threads << " threads";
      EXPECT_EQ(Get("in_tv2.res"), results1) << label << ", " << threads << " threads";
      EXPECT_EQ(TableRows(Get("in_tv2.csv")), table1) << label << ", " << threads << " threads";
      EXPECT_EQ(Get("in_tv2.png"), picture1) << label << ", " << threads << " threads";
    }
  }
}

TEST_F(ThreadedRun, AnErrorInPatternKGivesTheSingleThreadOutput) {
  // Pattern k has a vector that cannot be read, at several places of the
  // window of patterns in flight; also the pattern count ends the run early.
  const std::string good = Map("copper", 50, 20, 3, 0.1, 5);
  for (int k : {1, 10, 77, 128, 129, 300, 999}) {
    // Find the title of pattern k and break its second vector.
    const std::string title = "Pattern " + std::to_string(k) + " x=";
    const std::size_t at = good.find(title);
    ASSERT_NE(at, std::string::npos);
    std::size_t line = good.find('\n', at) + 1;  // count line
    line = good.find('\n', line) + 1;            // first vector
    line = good.find('\n', line) + 1;            // second vector
    std::string bad = good;
    bad.replace(line, good.find('\n', line) - line, "0.1 0.2 zero");
    Put("bad.tv2", bad);
    const std::string console1 = Run({"bad.tv2"}, 1);
    ASSERT_EQ(status, 1);
    ASSERT_NE(console1.find(", pattern " + std::to_string(k) + ":"), std::string::npos) << console1;
    const std::string results1 = Get("bad_tv2.res");
    for (int threads : {2, 4}) {
      EXPECT_EQ(Run({"bad.tv2"}, threads), console1) << k << ", " << threads << " threads";
      EXPECT_EQ(status, 1);
      EXPECT_EQ(Get("bad_tv2.res"), results1) << k << ", " << threads << " threads";
    }
  }
}

// Bunge matrix g (sample -> crystal) of angles in degrees.
tools::Matrix3d Bunge(double phi1, double Phi, double phi2) {
  const double r = std::numbers::pi / 180.0;
  const double c1 = std::cos(phi1 * r), s1 = std::sin(phi1 * r), c = std::cos(Phi * r),
               s = std::sin(Phi * r), c2 = std::cos(phi2 * r), s2 = std::sin(phi2 * r);
  return {{{c1 * c2 - s1 * s2 * c, s1 * c2 + c1 * s2 * c, s2 * s},
           {-c1 * s2 - s1 * c2 * c, -s1 * s2 + c1 * c2 * c, c2 * s},
           {s1 * s, -c1 * s, c}}};
}

TEST_F(ThreadedRun, AMapOfFourGrainsIsSolvedToItsGrains) {
  // 100 x 100 points, 2 x 2 grains, 0.3 degrees of noise, 10 % spurious
  // vectors: at least 99 % of the points within 2 degrees (after symmetry)
  // of their grain's orientation, for the voting strategies.
  const tools::CrystalDescription crystal = tools::DefaultCubic();
  tools::MapSettings map;
  map.patterns.seed = 2024;
  map.patterns.noiseDegrees = 0.3;
  map.patterns.spuriousFraction = 0.1;
  const std::vector<tools::Matrix3d> grains = tools::MapGrains(map);
  for (int strategy : {1, 3, 4}) {
    tools::RunParameters run;
    run.strategy = strategy;
    std::ostringstream input, truth;
    tools::WriteMap(input, truth, crystal, run, map);
    Put("map.tv2", input.str());
    Run({"--map", "map.tv2"}, 0);
    ASSERT_EQ(status, 0);
    std::istringstream table(TableRows(Get("map_tv2.csv")));
    std::string row;
    std::getline(table, row);  // column names
    int points = 0, close = 0;
    while (std::getline(table, row)) {
      int number, x, y, used, all, solved;
      double phi1, Phi, phi2, fit;
      ASSERT_EQ(std::sscanf(row.c_str(), "%d,%d,%d,%lf,%lf,%lf,%d,%d,%lf,%d", &number, &x, &y,
                            &phi1, &Phi, &phi2, &used, &all, &fit, &solved),
                10)
          << row;
      ++points;
      const tools::Matrix3d& truth_g = grains[tools::GrainAt(map, x, y)];
      if (solved && tools::MisorientationDegrees(Bunge(phi1, Phi, phi2), truth_g, crystal) <= 2.0)
        ++close;
    }
    EXPECT_EQ(points, 10000);
    EXPECT_GE(close, 9900) << "strategy " << strategy;
    std::cout << "strategy " << strategy << ": " << close << " of " << points
              << " points within 2 degrees\n";
  }
}

}  // namespace
}  // namespace talvor
