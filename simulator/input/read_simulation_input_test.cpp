// Tests of the reader of "VelmorantDS.dat" and of the examples.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/input/read_simulation_input.hpp"
#include "common/testing/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <memory>
#include <sstream>

#include "common/file_error.hpp"
#include "simulator/input/diagnostics.hpp"
#include "simulator/input/test_input_builder.hpp"
#include "simulator/scattering/structure_factor.hpp"
#include "common/angles.hpp"

namespace velmorant {
namespace {

namespace fs = std::filesystem;
using testing::TestInput;
using testing::TestSite;
using testing::TestSpecies;

std::unique_ptr<SimulationInput> parse(const std::string& text) {
  auto in = std::make_unique<SimulationInput>();
  std::istringstream s(text);
  parse_simulation_input(s, "VelmorantDS.dat", *in);
  return in;
}

// The what() of the InputError that parsing `text` throws ("" if none).
std::string parse_error(const std::string& text) {
  try {
    parse(text);
  } catch (const InputError& e) {
    return e.what();
  }
  return "";
}

void write_file(const fs::path& p, const std::string& text) {
  std::ofstream f(p);
  f << text;
}

TestInput silicon_input() {
  TestInput t;
  t.species.push_back(testing::silicon());
  return t;
}

TEST(ReadSimulationInput, TemplateWithNumbersAndTextInCaptionsReadsEveryField) {
  TestInput t = silicon_input();
  t.basis = {{{"5.5", "0.1", "0.2"}, {"0.3", "5.6", "0.4"}, {"0.5", "0.6", "5.7"}}};
  t.global_dw = "0.46";
  t.index_limit = "7";
  t.strength_fraction = "0.002";
  t.max_beams = "33";
  t.thickness = "1234.5";
  t.pixel_pitch = "0.05";
  t.image_directory = "'my images'";
  t.image_name = "\"exp 1.bmp\"";
  t.wavelength = "0.0251";
  t.camera_length = "500";
  t.euler = "10, 20, 30";
  t.surface_normal = "0.1 0.2 0.5";
  t.image_bits = "24";
  auto in = parse(t.text());
  EXPECT_FLOAT_EQ(in->cell_basis(1, 1), 5.5f);
  EXPECT_FLOAT_EQ(in->cell_basis(1, 3), 0.2f);
  EXPECT_FLOAT_EQ(in->cell_basis(2, 1), 0.3f);
  EXPECT_FLOAT_EQ(in->cell_basis(3, 2), 0.6f);
  EXPECT_EQ(in->form_factor_model, 1);
  EXPECT_EQ(in->species_count, 1);
  EXPECT_EQ(in->atomic_number[0], 14);
  EXPECT_EQ(in->site_count[0], 8);
  EXPECT_FLOAT_EQ(in->site_position[0][5][1], 0.75f);
  EXPECT_FLOAT_EQ(in->site_occupancy[0][7], 1.0f);
  EXPECT_FLOAT_EQ(in->site_debye_waller[0][7], 0.076f);
  EXPECT_FLOAT_EQ(in->global_debye_waller, 0.46f);
  EXPECT_EQ(in->index_limit, 7);
  EXPECT_FLOAT_EQ(in->strength_fraction, 0.002f);
  EXPECT_EQ(in->max_beams, 33);
  EXPECT_FLOAT_EQ(in->thickness, 1234.5f);
  EXPECT_FLOAT_EQ(in->pixel_pitch, 0.05f);
  EXPECT_EQ(in->image_directory, "my images");
  EXPECT_EQ(in->image_name, "exp 1.bmp");
  EXPECT_FLOAT_EQ(in->wavelength, 0.0251f);
  EXPECT_FLOAT_EQ(in->camera_length, 500.0f);
  EXPECT_FLOAT_EQ(in->euler_angles[0], 10.0f);  // degrees until derived
  EXPECT_FLOAT_EQ(in->euler_angles[2], 30.0f);
  EXPECT_FLOAT_EQ(in->surface_normal[2], 0.5f);
  EXPECT_EQ(in->image_bits, 24);
}

TEST(ReadSimulationInput, UnquotedTextKeepsOnlyThePartBeforeABlank) {
  TestInput t = silicon_input();
  t.image_directory = "my images";
  t.image_name = "exp 1.bmp";
  auto in = parse(t.text());
  EXPECT_EQ(in->image_directory, "my");
  EXPECT_EQ(in->image_name, "exp");
}

TEST(ReadSimulationInput, AtomLineWithTrailingTextReadsFiveValues) {
  TestInput t = silicon_input();
  auto lines = t.lines();
  // Line 23 is the first site line of species 1 (L(1) = 16, sites from L+7).
  ASSERT_EQ(lines[22], "  " + std::to_string(0.0f) + " " + std::to_string(0.0f) + " " +
                           std::to_string(0.0f) + " " + std::to_string(1.0f) + " " +
                           std::to_string(0.076f));
  lines[22] = "  0.0 0.0 0.0 0.9 0.05 silicon 1 2 3, trailing text";
  auto in = parse(TestInput::join(lines));
  EXPECT_FLOAT_EQ(in->site_occupancy[0][0], 0.9f);
  EXPECT_FLOAT_EQ(in->site_debye_waller[0][0], 0.05f);
  EXPECT_FLOAT_EQ(in->site_position[0][1][1], 0.5f);  // the next site is unaffected
  EXPECT_EQ(in->image_bits, 8);
}

TEST(ReadSimulationInput, AtomLineWithFourValuesTakesTheFifthFromTheNextLine) {
  TestInput t = silicon_input();
  t.global_dw = "0.46";
  auto lines = t.lines();
  // The last site line (line 30) loses its fifth value; the line after it
  // (P = 31, caption 16) starts with "16 2.5, ...": u = 16.
  lines[29] = "  0.75 0.75 0.25 1.0";
  ASSERT_EQ(lines[30].substr(0, 3), "16 ");
  // Every later field moves down one line: global_debye_waller is now read
  // from line P+6 = 37, caption 21.
  ASSERT_EQ(lines[36].substr(0, 3), "21 ");
  std::string error = parse_error(TestInput::join(lines));
  // ... and the reads run one line past the end of the file.
  EXPECT_NE(error.find("line 91"), std::string::npos) << error;
  EXPECT_NE(error.find("image_bits"), std::string::npos) << error;
  // With one line added at the end, the shifted file reads through.
  lines.push_back("  24");
  auto in = parse(TestInput::join(lines));
  EXPECT_FLOAT_EQ(in->site_debye_waller[0][7], 16.0f);
  EXPECT_FLOAT_EQ(in->global_debye_waller, 21.0f);
  EXPECT_EQ(in->image_bits, 24);
  // Inserting the fifth value as a line of its own is the same shift done
  // deliberately: the file then reads correctly with one more line.
  lines = t.lines();
  lines[29] = "  0.75 0.75 0.25 1.0";
  lines.insert(lines.begin() + 30, "  0.08");
  in = parse(TestInput::join(lines));
  EXPECT_FLOAT_EQ(in->site_debye_waller[0][7], 0.08f);
  EXPECT_FLOAT_EQ(in->global_debye_waller, 0.46f);
  EXPECT_EQ(in->image_bits, 8);
}

TEST(ReadSimulationInput, ZeroSpeciesReadsGlobalDebyeWallerFromLine21) {
  TestInput t;
  t.global_dw = "0.77";
  auto lines = t.lines();
  ASSERT_EQ(lines[20], "  0.77");  // line 21
  auto in = parse(t.text());
  EXPECT_EQ(in->species_count, 0);
  EXPECT_FLOAT_EQ(in->global_debye_waller, 0.77f);
  // A negative count reads no blocks either.
  t.species_count = "-2";
  in = parse(t.text());
  EXPECT_EQ(in->species_count, -2);
  EXPECT_FLOAT_EQ(in->global_debye_waller, 0.77f);
}

TEST(ReadSimulationInput, TwoSpeciesBlocksFollowEachOther) {
  TestInput t;
  t.species.push_back({31, {{0, 0, 0, 1, 0.08f}, {0, 0.5f, 0.5f, 1, 0.08f}}});
  t.species.push_back({33, {{0.25f, 0.25f, 0.25f, 0.5f, 0.07f}}});
  t.global_dw = "0.3";
  auto lines = t.lines();
  // L(1) = 16, L(2) = 16 + 7 + 2 = 25, P = 25 + 7 + 1 = 33, B on P+5 = 38.
  ASSERT_EQ(lines[25], "  33");
  ASSERT_EQ(lines[37], "  0.3");
  auto in = parse(t.text());
  EXPECT_EQ(in->atomic_number[1], 33);
  EXPECT_EQ(in->site_count[1], 1);
  EXPECT_FLOAT_EQ(in->site_occupancy[1][0], 0.5f);
  EXPECT_FLOAT_EQ(in->global_debye_waller, 0.3f);
}

TEST(ReadSimulationInput, ValueLineWithFewerValuesContinuesOnTheNextLine) {
  TestInput t = silicon_input();
  t.euler = "10 20\n 30";  // the angles on two lines: the file has one line more
  t.surface_normal = "0 0 0.8";
  auto in = parse(t.text());
  EXPECT_FLOAT_EQ(in->euler_angles[1], 20.0f);
  EXPECT_FLOAT_EQ(in->euler_angles[2], 30.0f);
  EXPECT_FLOAT_EQ(in->surface_normal[2], 0.8f);  // later fields one line further down
  EXPECT_EQ(in->image_bits, 8);
}

// ---- Failures: file, line and what was expected ----

TEST(ReadSimulationInput, MissingFileNamesTheFile) {
  const common::testing::ScratchFolder dir_folder("velmorant_input_test_missing");
  const fs::path& dir = dir_folder.path();
  auto in = std::make_unique<SimulationInput>();
  BeamList beams;
  try {
    read_simulation_input(dir, *in, beams);
    FAIL() << "no error";
  } catch (const common::FileError& e) {
    std::string m = e.what();
    EXPECT_NE(m.find((dir / "VelmorantDS.dat").string()), std::string::npos) << m;
    EXPECT_NE(m.find("cannot open"), std::string::npos) << m;
    EXPECT_EQ(m.find('\n'), std::string::npos);
    EXPECT_EQ(e.file(), (dir / "VelmorantDS.dat").string());
    EXPECT_TRUE(e.not_found());
  }
}

TEST(ReadSimulationInput, PrematureEndNamesLineAndExpectedValue) {
  TestInput t = silicon_input();
  auto lines = t.lines();
  lines.resize(40);  // ends inside the skip before index_limit
  std::string m = parse_error(TestInput::join(lines));
  EXPECT_EQ(m,
            "VelmorantDS.dat, line 41: the file ends here; expected 11 caption lines before "
            "index_limit");
  lines = t.lines();
  lines.resize(10);  // ends before form_factor_model (line 11)
  m = parse_error(TestInput::join(lines));
  EXPECT_EQ(m,
            "VelmorantDS.dat, line 11: the file ends here; expected form_factor_model (an "
            "integer: 0 X-ray coefficients, 1 absorptive electron form factors)");
  EXPECT_NE(parse_error("").find("line 1:"), std::string::npos);
}

TEST(ReadSimulationInput, WrongTypeNamesLineValueAndExpectation) {
  TestInput t = silicon_input();
  t.model = "1.0";
  EXPECT_EQ(parse_error(t.text()),
            "VelmorantDS.dat, line 11: \"1.0\" is not an integer; expected form_factor_model (an "
            "integer: 0 X-ray coefficients, 1 absorptive electron form factors)");
  t = silicon_input();
  t.basis[1][2] = "abc";
  EXPECT_EQ(parse_error(t.text()),
            "VelmorantDS.dat, line 7: \"abc\" is not a real number; expected row 2 of the cell "
            "basis: b_x b_y b_z (three reals, Å)");
  t = silicon_input();
  t.wavelength = "0.025x";
  std::string m = parse_error(t.text());
  EXPECT_NE(m.find("line 78"), std::string::npos) << m;
  EXPECT_NE(m.find("wavelength"), std::string::npos) << m;
}

TEST(ReadSimulationInput, CountsAreCheckedBeforeAnythingIsStored) {
  TestInput t;
  t.species_count = "17";
  EXPECT_EQ(parse_error(t.text()),
            "VelmorantDS.dat, line 14: species_count is 17; expected at most 16 atom species");
  t = TestInput();
  for (int s = 0; s < 16; ++s) t.species.push_back({6, {{0, 0, 0, 1, 0.05f}}});
  EXPECT_EQ(parse_error(t.text()), "");  // 16 species fit
  t = TestInput();
  TestSpecies big{6, {}};
  for (int j = 0; j < 129; ++j) big.sites.push_back({0, 0, 0, 1, 0.05f});
  t.species.push_back(big);
  EXPECT_EQ(parse_error(t.text()),
            "VelmorantDS.dat, line 20: the number of sites of species 1 is 129; expected 0..128");
  big.sites.pop_back();  // 128 fit
  t.species = {big};
  EXPECT_EQ(parse_error(t.text()), "");
  auto lines = silicon_input().lines();
  lines[19] = "  -1";
  EXPECT_EQ(parse_error(TestInput::join(lines)),
            "VelmorantDS.dat, line 20: the number of sites of species 1 is -1; expected 0..128");
}

TEST(ReadSimulationInput, ZeroCameraLengthAndSurfaceNormalAreRejected) {
  TestInput t = silicon_input();
  t.camera_length = "0.0";
  std::string m = parse_error(t.text());
  EXPECT_EQ(m.rfind("VelmorantDS.dat, line 81: camera_length is 0; expected a non-zero real", 0),
            0u)
      << m;
  t = silicon_input();
  t.surface_normal = "1.0 1.0 0.0";
  m = parse_error(t.text());
  EXPECT_EQ(m.rfind("VelmorantDS.dat, line 87: the third component of surface_normal is 0", 0), 0u)
      << m;
}

TEST(ReadSimulationInput, AtomicNumberAbove98IsRejectedInTheAbsorptiveModel) {
  TestInput t;
  t.species.push_back({99, {{0, 0, 0, 1, 0.05f}}});
  std::string m = parse_error(t.text());
  EXPECT_EQ(
      m.rfind("VelmorantDS.dat, line 17: the atomic number of species 1 is 99; expected 2..98", 0),
      0u)
      << m;
  t.model = "0";  // the X-ray model ends at Cf too, and says so at the input line
  m = parse_error(t.text());
  EXPECT_EQ(
      m.rfind("VelmorantDS.dat, line 17: the atomic number of species 1 is 99; expected 1..98", 0),
      0u)
      << m;
}

// Each model's range of atomic numbers, checked where the number is read:
// Z = 0 must not become hydrogen in the X-ray model, hydrogen has no
// Weickenmeier-Kohl parameters, and neither table goes beyond Cf.
TEST(ReadSimulationInput, AtomicNumberOutsideTheModelNamesTheInputLine) {
  const struct {
    const char* model;
    int z;
    bool accepted;
  } cases[] = {{"0", 0, false},  {"0", -3, false},  {"0", 1, true},  {"0", 98, true},
               {"0", 99, false}, {"0", 113, false}, {"1", 0, false}, {"1", 1, false},
               {"1", 2, true},   {"1", 98, true},   {"2", 1, false}, {"1", 113, false}};
  for (const auto& c : cases) {
    TestInput t;
    t.model = c.model;
    t.species.push_back(testing::silicon());
    t.species.push_back({c.z, {{0.1f, 0.2f, 0.3f, 1, 0.05f}}});  // species 2: Z on line 32
    const std::string m = parse_error(t.text());
    const std::string where = "model " + std::string(c.model) + " Z " + std::to_string(c.z);
    if (c.accepted) {
      EXPECT_EQ(m, "") << where;
      continue;
    }
    EXPECT_EQ(m.rfind("VelmorantDS.dat, line 32: the atomic number of species 2 is " +
                          std::to_string(c.z) + "; expected ",
                      0),
              0u)
        << where << ": " << m;
    EXPECT_NE(m.find("with form_factor_model " + std::string(c.model)), std::string::npos) << m;
    EXPECT_EQ(m.find("f0_WaasKirf"), std::string::npos) << m;  // not the coefficient file's line
  }
}

// A comma inside a number splits it into two values; the line is refused
// when it then holds more numbers than are read from it.
TEST(ReadSimulationInput, NumberSplitByACommaIsRefused) {
  const struct {
    const char* what;
    void (*change)(TestInput&);
    int line;           // 0: accepted
    const char* shown;  // the text the message suggests
  } cases[] = {
      {"thousands separator in the thickness", [](TestInput& t) { t.thickness = "1,500.0"; }, 57,
       "(1500.0)"},
      {"decimal comma in the pixel pitch", [](TestInput& t) { t.pixel_pitch = "0,025"; }, 60,
       "(0.025)"},
      {"decimal comma in a cell row",
       [](TestInput& t) {
         t.basis[0] = {"5,4309", "0", "0"};
       },
       6, "(5.4309)"},
      {"thousands separator in an integer", [](TestInput& t) { t.max_beams = "1,000"; }, 54,
       "(1000)"},
      {"commas between the Euler angles", [](TestInput& t) { t.euler = "0,54.7356,45"; }, 0, ""},
      {"commas and blanks between values", [](TestInput& t) { t.surface_normal = "0.0, 0.0, 1.0"; },
       0, ""},
      {"a comment after the value", [](TestInput& t) { t.thickness = "1500.0, about 1,5 um"; }, 0,
       ""},
  };
  for (const auto& c : cases) {
    TestInput t;
    t.species.push_back(testing::silicon());
    c.change(t);
    const std::string m = parse_error(t.text());
    if (c.line == 0) {
      EXPECT_EQ(m, "") << c.what;
      continue;
    }
    EXPECT_EQ(m.rfind("VelmorantDS.dat, line " + std::to_string(c.line) + ": ", 0), 0u)
        << c.what << ": " << m;
    EXPECT_NE(m.find("holds a comma"), std::string::npos) << c.what << ": " << m;
    EXPECT_NE(m.find(c.shown), std::string::npos) << c.what << ": " << m;
  }
}

// Values that betray a unit mistake are refused by the whole reader with the
// file, the line, the value and a likely cause; the shipped examples pass.
TEST(ReadSimulationInput, UnitMistakesNameLineValueAndCause) {
  const struct {
    const char* what;
    void (*change)(TestInput&);
    int line;
    const char* value;
    const char* cause;
  } cases[] = {
      {"cell in nm",
       [](TestInput& t) {
         t.basis = {{{"0.54309", "0", "0"}, {"0", "0.54309", "0"}, {"0", "0", "0.4"}}};
       },
       8, "0.4 Å", "is the cell in Å"},
      {"cell in pm",
       [](TestInput& t) {
         t.basis[1] = {"0", "5430.9", "0"};
       },
       7, "5430.9 Å", "is the cell in Å"},
      {"kV as wavelength", [](TestInput& t) { t.wavelength = "200"; }, 78, "200 Å",
       "did you give kV?"},
      {"wavelength in nm", [](TestInput& t) { t.wavelength = "0.0002508"; }, 78, "0.0002508 Å",
       "did you give kV?"},
      {"negative thickness", [](TestInput& t) { t.thickness = "-1500"; }, 57, "-1500 Å",
       "positive thickness"},
      {"zero thickness", [](TestInput& t) { t.thickness = "0"; }, 57, "0 Å", "positive thickness"},
      {"pitch in um, camera length in mm", [](TestInput& t) { t.pixel_pitch = "25"; }, 81,
       "25 / 640", "same unit"},
  };
  for (const auto& c : cases) {
    TestInput t = silicon_input();
    c.change(t);
    const common::testing::ScratchFolder dir_folder("velmorant_input_test_units");
    const fs::path& dir = dir_folder.path();
    write_file(dir / "VelmorantDS.dat", t.text());
    auto in = std::make_unique<SimulationInput>();
    BeamList beams;
    try {
      read_simulation_input(dir, *in, beams);
      ADD_FAILURE() << c.what << ": accepted";
    } catch (const InputError& e) {
      const std::string m = e.what();
      EXPECT_EQ(
          m.rfind((dir / "VelmorantDS.dat").string() + ", line " + std::to_string(c.line) + ": ",
                  0),
          0u)
          << c.what << ": " << m;
      EXPECT_NE(m.find(c.value), std::string::npos) << c.what << ": " << m;
      EXPECT_NE(m.find(c.cause), std::string::npos) << c.what << ": " << m;
      EXPECT_EQ(m.find('\n'), std::string::npos) << c.what;
    }
  }
  // The edges of the accepted ranges.
  TestInput t = silicon_input();
  t.wavelength = "0.1";
  t.pixel_pitch = "0.6";  // 2 atan(256 * 0.6 / 640) = 0.4706 rad
  t.thickness = "0.001";
  InputLines lines;
  auto in = std::make_unique<SimulationInput>();
  std::istringstream text(t.text());
  parse_simulation_input(text, "VelmorantDS.dat", *in, &lines);
  EXPECT_EQ(lines.cell_row, (std::array<int, 3>{6, 7, 8}));
  EXPECT_EQ(lines.thickness, 57);
  EXPECT_EQ(lines.pixel_pitch, 60);
  EXPECT_EQ(lines.wavelength, 78);
  EXPECT_EQ(lines.camera_length, 81);
  derive_simulation_input(*in, VELMORANT_SOURCE_DATA_DIR);
  EXPECT_NO_THROW(check_plausible_values(*in, lines, "VelmorantDS.dat"));
  for (const char* example : {"si-111", "cu-110", "gaas-001"}) {
    std::ifstream f(fs::path(VELMORANT_EXAMPLES_DIR) / example / "VelmorantDS.dat");
    std::stringstream s;
    s << f.rdbuf();
    std::istringstream e(s.str());
    parse_simulation_input(e, example, *in, &lines);
    derive_simulation_input(*in, VELMORANT_SOURCE_DATA_DIR);
    EXPECT_NO_THROW(check_plausible_values(*in, lines, example)) << example;
  }
}

// ---- Derivations ----

TEST(DeriveSimulationInput, DerivedFieldsInTheirOrderAndPrecision) {
  TestInput t = silicon_input();
  t.index_limit = "0";
  t.euler = "90 0 0";
  t.thickness = "1000";
  t.surface_normal = "0 0 0.5";
  t.pixel_pitch = "0.02";
  t.camera_length = "400";
  auto in = parse(t.text());
  derive_simulation_input(*in, VELMORANT_SOURCE_DATA_DIR);
  EXPECT_FLOAT_EQ(in->euler_angles[0], common::radians(90.0f));
  EXPECT_EQ(in->euler_degrees, (Vec3f{90.0f, 0.0f, 0.0f}));  // as read, kept by the derivations
  EXPECT_NEAR(in->orientation_matrix(1, 2), 1.0f, 1e-6f);    // sin φ1
  EXPECT_FLOAT_EQ(in->pixel_scale, 0.02f / 400.0f);
  EXPECT_FLOAT_EQ(in->effective_thickness, 2000.0f);
  EXPECT_FLOAT_EQ(in->thickness, 1000.0f);
  EXPECT_EQ(in->hkl_limit, 1);
  EXPECT_FLOAT_EQ(in->reciprocal_basis(1, 1), 1.0f / 5.4309f);
  EXPECT_FLOAT_EQ(in->reciprocal_metric(2, 2), (1.0f / 5.4309f) * (1.0f / 5.4309f));
  EXPECT_FLOAT_EQ(in->reciprocal_metric(1, 2), 0.0f);
  EXPECT_FLOAT_EQ(in->phase_position[0][4][0], 6.2831855f * 0.25f);
  const float volume = 5.4309f * 5.4309f * 5.4309f;
  EXPECT_NEAR(in->cell_volume, volume, volume * 1e-6f);
  EXPECT_NEAR(in->potential_factor, 1.0f / (volume * common::kPi), 1e-9f);
  EXPECT_EQ(in->table_atomic_number[0], 0);  // model 1: coefficient file not read
}

TEST(DeriveSimulationInput, HklLimitUsesTheLow16BitsSignExtended) {
  const std::pair<const char*, int> cases[] = {
      {"5", 5}, {"0", 1}, {"-3", 1}, {"65537", 1}, {"65541", 5}, {"65535", 1}, {"32767", 32767}};
  for (auto [text, expected] : cases) {
    TestInput t = silicon_input();
    t.index_limit = text;
    auto in = parse(t.text());
    derive_simulation_input(*in, VELMORANT_SOURCE_DATA_DIR);
    EXPECT_EQ(in->hkl_limit, expected) << text;
  }
}

TEST(DeriveSimulationInput, XrayModelReadsCoefficientsAndUsesGamma) {
  TestInput t = silicon_input();
  t.model = "0";
  t.wavelength = "0.0251";
  auto in = parse(t.text());
  derive_simulation_input(*in, VELMORANT_SOURCE_DATA_DIR);
  EXPECT_EQ(in->table_atomic_number[0], 14);
  EXPECT_FLOAT_EQ(in->xray_coefficients[0][0], 5.275329f);
  EXPECT_FLOAT_EQ(in->xray_coefficients[0][10], 1.170087f);
  const float volume = in->cell_volume;
  const float gamma = std::sqrt(0.00058869814f / (0.0251f * 0.0251f) + 1.0f);
  EXPECT_NEAR(gamma, 1.391f, 0.001f);
  EXPECT_FLOAT_EQ(in->potential_factor, gamma / (volume * common::kPi));
}

TEST(DeriveSimulationInput, ModelTwoBehavesLikeModelOneWithoutTheCoefficientFile) {
  TestInput t = silicon_input();
  t.model = "1";
  auto one = parse(t.text());
  t.model = "2";
  auto two = parse(t.text());
  // An empty folder first: the model-2 derivation must not need the file.
  const common::testing::ScratchFolder empty_folder("velmorant_input_test_model2");
  const fs::path& empty = empty_folder.path();
  derive_simulation_input(*one, empty);
  derive_simulation_input(*two, empty);
  EXPECT_EQ(two->table_atomic_number[0], 0);
  EXPECT_EQ(one->potential_factor, two->potential_factor);
  for (Miller hkl : {Miller{2, 2, 0}, Miller{1, 1, 1}, Miller{4, 0, 0}, Miller{2, 0, 0}}) {
    EXPECT_EQ(structure_factor(*one, hkl, true), structure_factor(*two, hkl, true));
    EXPECT_EQ(structure_strength(*one, hkl), structure_strength(*two, hkl));
  }
}

TEST(DeriveSimulationInput, SingularBasisStopsWithoutMessage) {
  TestInput t = silicon_input();
  t.basis = {{{"1", "0", "0"}, {"0", "1", "0"}, {"1", "1", "0"}}};
  auto in = parse(t.text());
  EXPECT_THROW(derive_simulation_input(*in, VELMORANT_SOURCE_DATA_DIR), SingularBasis);
  // The whole reader: SingularBasis, and no result file is written by it.
  const common::testing::ScratchFolder dir_folder("velmorant_input_test_singular");
  const fs::path& dir = dir_folder.path();
  write_file(dir / "VelmorantDS.dat", t.text());
  BeamList beams;
  EXPECT_THROW(read_simulation_input(dir, *in, beams), SingularBasis);
  EXPECT_FALSE(fs::exists(dir / "VelmorantDS.res"));
}

TEST(ReadSimulationInput, HydrogenInTheAbsorptiveModelNamesTheInputLine) {
  TestInput t;
  t.species.push_back({1, {{0, 0, 0, 1, 0.05f}}});
  const common::testing::ScratchFolder dir_folder("velmorant_input_test_hydrogen");
  const fs::path& dir = dir_folder.path();
  write_file(dir / "VelmorantDS.dat", t.text());
  auto in = std::make_unique<SimulationInput>();
  BeamList beams;
  try {
    read_simulation_input(dir, *in, beams);
    FAIL() << "no stop";
  } catch (const InputError& e) {
    const std::string m = e.what();
    EXPECT_EQ(m.rfind((dir / "VelmorantDS.dat").string() +
                          ", line 17: the atomic number of species 1 is 1; expected 2..98",
                      0),
              0u)
        << m;
    EXPECT_NE(m.find("hydrogen"), std::string::npos) << m;
  }
}

TEST(ReadSimulationInput, XrayModelWithAtomicNumberBeyondTheTableNamesTheInputLine) {
  TestInput t;
  t.model = "0";
  t.species.push_back({113, {{0, 0, 0, 1, 0.0f}}});
  const common::testing::ScratchFolder dir_folder("velmorant_input_test_z113");
  const fs::path& dir = dir_folder.path();
  write_file(dir / "VelmorantDS.dat", t.text());
  fs::copy_file(fs::path(VELMORANT_SOURCE_DATA_DIR) / "f0_WaasKirf.dat", dir / "f0_WaasKirf.dat");
  auto in = std::make_unique<SimulationInput>();
  BeamList beams;
  try {
    read_simulation_input(dir, *in, beams);
    FAIL() << "no error";
  } catch (const InputError& e) {
    std::string m = e.what();
    EXPECT_EQ(m.rfind((dir / "VelmorantDS.dat").string() +
                          ", line 17: the atomic number of species 1 is 113; expected 1..98",
                      0),
              0u)
        << m;
  }
}

TEST(ReadSimulationInput, CoefficientFileInTheWorkingDirectoryTakesPrecedence) {
  TestInput t = silicon_input();
  t.model = "0";
  t.max_beams = "5";
  const common::testing::ScratchFolder dir_folder("velmorant_input_test_precedence");
  const fs::path& dir = dir_folder.path();
  write_file(dir / "VelmorantDS.dat", t.text());
  auto in = std::make_unique<SimulationInput>();
  BeamList beams;
  read_simulation_input(dir, *in, beams);  // no file here: the shipped copy
  EXPECT_EQ(in->table_atomic_number[0], 14);
  EXPECT_FLOAT_EQ(in->xray_coefficients[0][0], 5.275329f);
  // A copy with silicon's a1 changed, in the working directory.
  std::ifstream shipped(fs::path(VELMORANT_SOURCE_DATA_DIR) / "f0_WaasKirf.dat");
  std::ofstream own(dir / "f0_WaasKirf.dat");
  std::string line;
  for (int n = 1; std::getline(shipped, line); ++n) {
    if (n == 69 + 4 * 13 + 4) line = "    4.000000" + line.substr(12);  // Si coefficients
    own << line << "\n";
  }
  own.close();
  read_simulation_input(dir, *in, beams);
  EXPECT_FLOAT_EQ(in->xray_coefficients[0][0], 4.0f);
  EXPECT_FLOAT_EQ(in->xray_coefficients[0][1], 3.191038f);
}

// ---- The shipped examples ----

struct ExampleRun {
  std::unique_ptr<SimulationInput> in = std::make_unique<SimulationInput>();
  BeamList beams;
};

ExampleRun read_example(const std::string& name) {
  ExampleRun r;
  read_simulation_input(fs::path(VELMORANT_EXAMPLES_DIR) / name, *r.in, r.beams);
  return r;
}

void expect_beam_list_well_formed(const ExampleRun& r) {
  const BeamList& b = r.beams;
  EXPECT_EQ(b.miller[0], (std::array<std::int32_t, 3>{0, 0, 0}));
  EXPECT_EQ(b.lab_vector[0], (std::array<float, 3>{0, 0, 0}));
  EXPECT_LE(b.count, r.in->max_beams);
  float previous = INFINITY;
  for (int i = 1; i <= b.count; ++i) {
    const float s = structure_strength(*r.in, b.miller[i]);
    EXPECT_LE(s, previous) << "beam " << i;  // strongest first
    previous = s;
    for (int c = 0; c < 3; ++c) EXPECT_LE(std::abs(b.miller[i][c]), r.in->hkl_limit);
  }
}

TEST(Examples, Silicon111Reads) {
  ExampleRun r = read_example("si-111");
  const SimulationInput& in = *r.in;
  EXPECT_EQ(in.form_factor_model, 1);
  EXPECT_EQ(in.species_count, 1);
  EXPECT_EQ(in.atomic_number[0], 14);
  EXPECT_EQ(in.site_count[0], 8);
  EXPECT_FLOAT_EQ(in.cell_basis(1, 1), 5.4309f);
  EXPECT_FLOAT_EQ(in.wavelength, 0.02508f);
  EXPECT_FLOAT_EQ(in.effective_thickness, 1500.0f);
  EXPECT_EQ(in.image_directory, ".");
  EXPECT_EQ(in.image_name, "experiment.bmp");
  EXPECT_EQ(in.image_bits, 8);
  // The beam direction (sample z) in crystal coordinates is near [111].
  const float bx = in.orientation_matrix(1, 3), by = in.orientation_matrix(2, 3),
              bz = in.orientation_matrix(3, 3);
  EXPECT_GT((bx + by + bz) / std::sqrt(3.0f), std::cos(common::radians(1.0f)));
  // A moderate beam count: a method-0 run of a few minutes.
  EXPECT_GE(r.beams.count, 20);
  EXPECT_LE(r.beams.count, 60);
  // The strongest beams are the six {220} of the zero layer.
  for (int i = 1; i <= 6; ++i) {
    const auto& m = r.beams.miller[i];
    EXPECT_EQ(std::abs(m[0]) + std::abs(m[1]) + std::abs(m[2]), 4) << i;
    EXPECT_EQ(m[0] + m[1] + m[2], 0) << i;
  }
  expect_beam_list_well_formed(r);
}

TEST(Examples, Copper110Reads) {
  ExampleRun r = read_example("cu-110");
  EXPECT_EQ(r.in->form_factor_model, 0);
  EXPECT_EQ(r.in->table_atomic_number[0], 29);
  EXPECT_EQ(r.in->site_count[0], 4);
  EXPECT_GE(r.beams.count, 10);
  expect_beam_list_well_formed(r);
}

TEST(Examples, GalliumArsenide001Reads) {
  ExampleRun r = read_example("gaas-001");
  EXPECT_EQ(r.in->form_factor_model, 1);
  EXPECT_EQ(r.in->species_count, 2);
  EXPECT_EQ(r.in->atomic_number[0], 31);
  EXPECT_EQ(r.in->atomic_number[1], 33);
  EXPECT_FLOAT_EQ(r.in->site_position[1][0][0], 0.25f);
  EXPECT_GE(r.beams.count, 10);
  expect_beam_list_well_formed(r);
}

TEST(Diagnostics, ListsDerivedQuantitiesAndEveryBeam) {
  ExampleRun r = read_example("si-111");
  std::ostringstream out;
  print_diagnostics(*r.in, r.beams, out);
  const std::string s = out.str();
  for (const char* key : {"reciprocal basis", "orientation matrix", "pixel scale",
                          "effective thickness", "potential factor"})
    EXPECT_NE(s.find(key), std::string::npos) << key;
  EXPECT_NE(s.find("beams N = " + std::to_string(r.beams.count)), std::string::npos);
  // One line per entry 0..N after the heading.
  const size_t table = s.find("  entry");
  ASSERT_NE(table, std::string::npos);
  int rows = 0;
  for (size_t i = s.find('\n', table); i != std::string::npos && i + 1 < s.size();
       i = s.find('\n', i + 1))
    ++rows;
  EXPECT_EQ(rows, r.beams.count + 1);
}

}  // namespace
}  // namespace velmorant

// ---- The bound of the reflection search ----

namespace velmorant {
namespace {

// The refusal at a given time per structure factor (1 µs unless said), with
// a budget of 60 s: two scans when strength_fraction > 0, one otherwise,
// (2n + 1)^3 - 1 structure factors each.
TEST(SearchBound, SearchesPredictedLongerThanTheBudgetAreRefused) {
  const struct {
    std::string index_limit;
    std::string strength_fraction;
    double seconds_per_evaluation;
    int largest;  // the largest index_limit offered; -1: not refused
  } cases[] = {
      {"154", "0.01", 1e-6, -1},   // 2 x (309^3 - 1) µs = 59.0 s
      {"155", "0.01", 1e-6, 154},  // 2 x (311^3 - 1) µs = 60.2 s
      {"195", "0.0", 1e-6, -1},    // one scan: 391^3 - 1 µs = 59.8 s
      {"196", "0.0", 1e-6, 195},    {"1000", "0.01", 1e-6, 154},
      {"1000", "0.01", 1e-9, -1},    // 16 s
      {"3", "0.01", 0.1, 2},         // a slow crystal: 2 x 342 x 0.1 s; 2 x 124 x 0.1 s fits
      {"1", "0.01", 10.0, -1},       // nothing smaller to offer: not refused
      {"2", "0.01", 10.0, 0},        // not even 1 stays within: no value offered
      {"66536", "0.01", 1e-6, 154},  // searched as 1000, the low 16 bits
      {"-5", "0.01", 1.0, -1},       // searched as 1
  };
  for (const auto& c : cases) {
    TestInput t = silicon_input();
    t.index_limit = c.index_limit;
    t.strength_fraction = c.strength_fraction;
    auto in = std::make_unique<SimulationInput>();
    std::istringstream s(t.text());
    InputLines lines;
    parse_simulation_input(s, "VelmorantDS.dat", *in, &lines);
    derive_simulation_input(*in, VELMORANT_SOURCE_DATA_DIR);
    EXPECT_EQ(lines.index_limit, 48);
    std::string message;
    try {
      check_search_time(*in, "VelmorantDS.dat", lines.index_limit, c.seconds_per_evaluation, 60.0);
    } catch (const InputError& e) {
      message = e.what();
    }
    const std::string what = "index_limit " + c.index_limit + ", fraction " + c.strength_fraction;
    if (c.largest < 0) {
      EXPECT_EQ(message, "") << what;
      continue;
    }
    EXPECT_EQ(message.rfind("VelmorantDS.dat, line 48: index_limit is " + c.index_limit, 0), 0u)
        << what << ": " << message;
    EXPECT_NE(message.find("VELMORANT_LONG_SEARCH=1"), std::string::npos)
        << what << ": " << message;
    const std::string offer =
        "The largest index_limit that stays within 60 s is " + std::to_string(c.largest) + ".";
    EXPECT_EQ(message.find(offer) != std::string::npos, c.largest > 0) << what << ": " << message;
    EXPECT_EQ(message.find('\n'), std::string::npos);
  }
  // One message in full.
  TestInput t = silicon_input();
  t.index_limit = "1000";
  auto in = testing::prepared(t, VELMORANT_SOURCE_DATA_DIR);
  try {
    check_search_time(*in, "VelmorantDS.dat", 48, 1e-6, 60.0);
    FAIL() << "not refused";
  } catch (const InputError& e) {
    EXPECT_STREQ(
        e.what(),
        "VelmorantDS.dat, line 48: index_limit is 1000: the reflection search would take up to "
        "about 4.5 hours (16024012000 structure factors at 1 microseconds each), longer than 60 s; "
        "its time grows with the cube of index_limit. The largest index_limit that stays within "
        "60 s is 154. Lower index_limit, or set VELMORANT_LONG_SEARCH=1 to run the search anyway");
  }
}

// The reader measures the time per structure factor of the crystal and
// refuses a search of hours before it starts (at any plausible speed:
// 1.6e10 structure factors of eight sites); a confirmed search is not
// checked, and a search within the budget is read as before.
TEST(SearchBound, ReaderRefusesIndexLimit1000UnlessConfirmed) {
  const common::testing::ScratchFolder dir_folder("velmorant_input_test_search_bound");
  const fs::path& dir = dir_folder.path();
  TestInput t = silicon_input();
  t.index_limit = "1000";
  write_file(dir / "VelmorantDS.dat", t.text());
  auto in = std::make_unique<SimulationInput>();
  auto beams = std::make_unique<BeamList>();
  try {
    read_simulation_input(dir, *in, *beams);
    FAIL() << "not refused";
  } catch (const InputError& e) {
    const std::string m = e.what();
    EXPECT_EQ(m.rfind((dir / "VelmorantDS.dat").string() + ", line 48: index_limit is 1000", 0), 0u)
        << m;
  }
  // Confirmed: the search starts; the poll shows it and stops it.
  struct Stop {};
  int polls = 0;
  ReadOptions confirmed;
  confirmed.long_search_confirmed = true;
  confirmed.poll = [&polls] {
    if (++polls == 3) throw Stop{};
  };
  EXPECT_THROW(read_simulation_input(dir, *in, *beams, confirmed), Stop);
  // Within the budget nothing changes.
  t.index_limit = "3";
  write_file(dir / "VelmorantDS.dat", t.text());
  EXPECT_NO_THROW(read_simulation_input(dir, *in, *beams));
  EXPECT_GT(beams->count, 0);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace velmorant
