// Tests of the in-memory entry point: overrides reproduce a file with the same values, bit for bit, in any order.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/engine/simulation.hpp"
#include "common/testing/scratch_folder.hpp"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "simulator/engine/pattern_computation.hpp"
#include "simulator/input/read_simulation_input.hpp"
#include "simulator/input/test_input_builder.hpp"
#include "simulator/progress/silent_presentation.hpp"

namespace velmorant {
namespace {

namespace fs = std::filesystem;
using testing::TestInput;

// A small silicon crystal (a few beams) so that a block pattern takes milliseconds.
TestInput small_silicon(const std::string& model) {
  TestInput t;
  t.model = model;
  t.species = {testing::silicon()};
  t.global_dw = "0.46";
  t.index_limit = "4";
  t.strength_fraction = "0.001";
  t.max_beams = "5";
  t.euler = "0.0 54.40 45.30";
  return t;
}

struct Read {
  std::unique_ptr<SimulationInput> in = std::make_unique<SimulationInput>();
  std::unique_ptr<BeamList> beams = std::make_unique<BeamList>();
};

// Reads `t` as the program would, from a file in a fresh folder (the X-ray
// coefficients are copied beside it).
Read read_file(const TestInput& t, const std::string& tag) {
  const common::testing::ScratchFolder scratch("velmorant_simulation_test_" + tag);
  const fs::path& dir = scratch.path();
  std::ofstream(dir / kInputFileName) << t.text();
  fs::copy_file(fs::path(VELMORANT_SOURCE_DATA_DIR) / "f0_WaasKirf.dat", dir / "f0_WaasKirf.dat",
                fs::copy_options::overwrite_existing);
  Read r;
  read_simulation_input(dir, *r.in, *r.beams);
  return r;
}

PatternImage program_pattern(const Read& r, int method) {
  ProgressState state;
  SilentPresentation silent;
  RunControl control(state, silent);
  PatternImage image;
  compute_pattern(*r.in, *r.beams, static_cast<SamplingMethod>(method), control, image);
  return image;
}

bool same_bits(const PatternImage& a, const PatternImage& b) {
  return std::memcmp(a.data(), b.data(), PatternImage::size() * sizeof(float)) == 0;
}

// One evaluation: the texts written into the file and the overrides that stand for them.
struct Case {
  const char* name;
  const char* thickness;  // nullptr: the base value
  const char* wavelength;
  const char* euler;
  Overrides overrides;
};

const Case kCases[] = {
    {"thickness", "1234.5", nullptr, nullptr, {1234.5f, {}, {}}},
    {"wavelength 100 kV", nullptr, "0.03701", nullptr, {{}, 0.03701f, {}}},
    {"tilt", nullptr, nullptr, "0.5 54.1 45.7", {{}, {}, Vec3f{0.5f, 54.1f, 45.7f}}},
    {"thickness again", "900", nullptr, nullptr, {900.0f, {}, {}}},
    {"all three",
     "2100",
     "0.0197",
     "359.5 55.0 44.8",
     {2100.0f, 0.0197f, Vec3f{359.5f, 55.0f, 44.8f}}},
    {"back to the file", nullptr, nullptr, nullptr, {}},
};

// The same Simulation goes through every case in turn, so each evaluation
// also checks that what was kept from the one before (beams, structure
// factors) is right for it.
class OverridesReproduceTheFile : public ::testing::TestWithParam<const char*> {};

TEST_P(OverridesReproduceTheFile, EveryPatternEqualsTheProgramsFromAFileWithTheSameValues) {
  const TestInput base = small_silicon(GetParam());
  const Read read = read_file(base, std::string("base") + GetParam());
  Simulation simulation(*read.in, *read.beams, 2);
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    TestInput t = base;
    if (c.thickness) t.thickness = c.thickness;
    if (c.wavelength) t.wavelength = c.wavelength;
    if (c.euler) t.euler = c.euler;
    const Read expected = read_file(t, std::string("case") + GetParam());
    PatternImage image;
    simulation.compute(c.overrides, SamplingMethod::block, image);
    EXPECT_EQ(simulation.beams().count, expected.beams->count);
    EXPECT_EQ(
        0, std::memcmp(simulation.beams().miller.data(), expected.beams->miller.data(),
                       sizeof(expected.beams->miller[0]) * std::size_t(expected.beams->order())));
    EXPECT_EQ(simulation.input().potential_factor, expected.in->potential_factor);
    EXPECT_EQ(simulation.input().effective_thickness, expected.in->effective_thickness);
    EXPECT_TRUE(same_bits(image, program_pattern(expected, 2)));
  }
}

// Model 0: the wavelength enters the potential factor; model 1: the absorptive form factors.
INSTANTIATE_TEST_SUITE_P(FormFactorModels, OverridesReproduceTheFile, ::testing::Values("0", "1"));

TEST(Simulation, EveryMethodGivesTheProgramsPatternAndTheSameEstimates) {
  const Read read = read_file(small_silicon("1"), "methods");
  Simulation simulation(*read.in, *read.beams, 2);
  for (int method : {0, 1, 2, 7}) {
    SCOPED_TRACE(method);
    PatternImage image;
    simulation.compute(static_cast<SamplingMethod>(method), image);
    EXPECT_TRUE(same_bits(image, program_pattern(read, method)));
  }
  // A fixed clock makes the estimates a function of the pixels only.
  int ticks = 0;
  auto clock = [&ticks] { return ticks += 7; };
  ProgressState s1, s2;
  SilentPresentation p1, p2;
  RunControl c1(s1, p1), c2(s2, p2);
  const auto mine = simulation.calibrate(c1, clock);
  ticks = 0;
  const auto theirs = calibrate_speed(*read.in, *read.beams, c2, clock, 2);
  EXPECT_EQ(mine, theirs);
}

TEST(Simulation,
     ThicknessSeriesLeavesTheCurrentThicknessAndMatchesSeparateRunsOfTheAdaptiveMethod) {
  const Read read = read_file(small_silicon("1"), "adaptive");
  Simulation simulation(*read.in, *read.beams, 2);
  simulation.prepare({1000.0f, {}, {}});
  std::vector<PatternImage> series;
  simulation.compute_series(SamplingMethod::adaptive, {800.0f, 150.0f, 3}, series);
  ASSERT_EQ(series.size(), 3u);
  EXPECT_EQ(simulation.input().thickness, 1000.0f);
  for (int k = 0; k < 3; ++k) {
    PatternImage image;
    simulation.compute({800.0f + 150.0f * float(k), {}, {}}, SamplingMethod::adaptive, image);
    EXPECT_TRUE(same_bits(series[std::size_t(k)], image)) << k;
  }
}

}  // namespace
}  // namespace velmorant
