// Tests of the writer of "VelmorantDS.dat": what it writes reads back as the same record.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/input_writer/input_file_text.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "simulator/input/read_simulation_input.hpp"
#include "simulator/input_writer/writer_errors.hpp"

namespace velmorant::crystal_file {
namespace {

namespace fs = std::filesystem;

std::unique_ptr<SimulationInput> parse_text(const std::string& text, InputLines* lines = nullptr) {
  auto in = std::make_unique<SimulationInput>();
  std::istringstream s(text);
  parse_simulation_input(s, "VelmorantDS.dat", *in, lines);
  return in;
}

std::string read_text(const fs::path& p) {
  std::ifstream f(p);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// Every field that the file holds, compared exactly.
void expect_same_file_fields(const SimulationInput& a, const SimulationInput& b,
                             const std::string& what) {
  for (int r = 1; r <= 3; ++r)
    for (int c = 1; c <= 3; ++c) EXPECT_EQ(a.cell_basis(r, c), b.cell_basis(r, c)) << what;
  EXPECT_EQ(a.form_factor_model, b.form_factor_model) << what;
  ASSERT_EQ(a.species_count, b.species_count) << what;
  for (int s = 0; s < a.species_count; ++s) {
    EXPECT_EQ(a.atomic_number[s], b.atomic_number[s]) << what;
    ASSERT_EQ(a.site_count[s], b.site_count[s]) << what;
    for (int j = 0; j < a.site_count[s]; ++j) {
      EXPECT_EQ(a.site_position[s][j], b.site_position[s][j]) << what << " site " << j;
      EXPECT_EQ(a.site_occupancy[s][j], b.site_occupancy[s][j]) << what;
      EXPECT_EQ(a.site_debye_waller[s][j], b.site_debye_waller[s][j]) << what;
    }
  }
  EXPECT_EQ(a.global_debye_waller, b.global_debye_waller) << what;
  EXPECT_EQ(a.index_limit, b.index_limit) << what;
  EXPECT_EQ(a.strength_fraction, b.strength_fraction) << what;
  EXPECT_EQ(a.max_beams, b.max_beams) << what;
  EXPECT_EQ(a.thickness, b.thickness) << what;
  EXPECT_EQ(a.pixel_pitch, b.pixel_pitch) << what;
  EXPECT_EQ(a.image_directory, b.image_directory) << what;
  EXPECT_EQ(a.image_name, b.image_name) << what;
  EXPECT_EQ(a.wavelength, b.wavelength) << what;
  EXPECT_EQ(a.camera_length, b.camera_length) << what;
  EXPECT_EQ(a.euler_angles, b.euler_angles) << what;
  EXPECT_EQ(a.surface_normal, b.surface_normal) << what;
  EXPECT_EQ(a.image_bits, b.image_bits) << what;
}

TEST(FloatText, ShortestTextThatReadsBackToTheSameFloat) {
  const struct {
    float value;
    const char* text;
  } cases[] = {{5.4309f, "5.4309"},   {1500.0f, "1500.0"},
               {0.025f, "0.025"},     {640.0f, "640.0"},
               {0.0f, "0.0"},         {-0.5f, "-0.5"},
               {1e-4f, "0.0001"},     {3.90625e-05f, "3.90625e-05"},
               {54.7356f, "54.7356"}, {1.0f / 3.0f, "0.33333334"},
               {2.5e9f, "2.5e+09"}};
  for (const auto& c : cases) {
    EXPECT_EQ(float_text(c.value), c.text);
    EXPECT_EQ(std::strtof(float_text(c.value).c_str(), nullptr), c.value) << c.text;
  }
}

TEST(InputFileText, TheExamplesReadBackFieldForField) {
  for (const char* example : {"si-111", "cu-110", "gaas-001"}) {
    const auto original =
        parse_text(read_text(fs::path(VELMORANT_EXAMPLES_DIR) / example / "VelmorantDS.dat"));
    InputFileNotes notes{"round trip of " + std::string(example), {"first", "second"}, {}};
    const std::string text = input_file_text(*original, notes);
    InputLines lines;
    const auto back = parse_text(text, &lines);
    expect_same_file_fields(*original, *back, example);
    // Nothing after the last value; the lines of the checked values are value lines.
    std::istringstream s(text);
    std::string line, last;
    while (std::getline(s, line)) last = line;
    EXPECT_EQ(last, "  8") << example;  // image_bits is the last line
    EXPECT_GT(lines.camera_length, lines.wavelength);
    auto derived = parse_text(text);
    derive_simulation_input(*derived, VELMORANT_SOURCE_DATA_DIR);
    EXPECT_NO_THROW(check_plausible_values(*derived, lines, example));
  }
}

TEST(InputFileText, NamesWithBlanksAndApostrophesAreQuoted) {
  auto in = parse_text(read_text(fs::path(VELMORANT_EXAMPLES_DIR) / "si-111" / "VelmorantDS.dat"));
  in->image_directory = "my images/it's here";
  in->image_name = "run 1, tilt 'a'.bmp";
  const auto back = parse_text(input_file_text(*in, {"quoted names", {}, {}}));
  EXPECT_EQ(back->image_directory, in->image_directory);
  EXPECT_EQ(back->image_name, in->image_name);
  in->image_name = "two\nlines.bmp";
  EXPECT_THROW(input_file_text(*in, {"bad", {}, {}}), SettingsError);
}

TEST(InputFileText, CountsBeyondTheTablesAreRefused) {
  auto in = parse_text(read_text(fs::path(VELMORANT_EXAMPLES_DIR) / "si-111" / "VelmorantDS.dat"));
  in->species_count = kMaxSpecies + 1;
  EXPECT_THROW(input_file_text(*in, {"too many species", {}, {}}), std::invalid_argument);
  in->species_count = 1;
  in->site_count[0] = kMaxSites + 1;
  EXPECT_THROW(input_file_text(*in, {"too many sites", {}, {}}), std::invalid_argument);
}

}  // namespace
}  // namespace velmorant::crystal_file
