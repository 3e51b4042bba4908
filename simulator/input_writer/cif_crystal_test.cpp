// Tests of the CIF reader and of velmorant_input: the shipped crystals, their
// agreement with the hand-written examples, and the tool's messages.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/input_writer/cif_crystal.hpp"
#include "common/testing/scratch_folder.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <numbers>

#include "common/file_error.hpp"
#include "simulator/beams/select_beams.hpp"
#include "simulator/input_writer/crystal_input.hpp"
#include "simulator/input_writer/input_file_text.hpp"
#include "simulator/engine/pattern_computation.hpp"
#include "simulator/input/read_simulation_input.hpp"
#include "simulator/progress/run_control.hpp"
#include "simulator/progress/silent_presentation.hpp"
#include "common/angles.hpp"

namespace velmorant::crystal_file {
namespace {

namespace fs = std::filesystem;

fs::path crystal(const char* name) { return fs::path(VELMORANT_EXAMPLES_DIR) / "crystals" / name; }

std::string read_text(const fs::path& p) {
  std::ifstream f(p);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// Nearest distance between any site of species `a` and any other site of
// species `b` (periodic), and how many lie within `shell` Å of the first site of `a`.
struct Neighbours {
  double nearest = 1e9;
  int within_shell = 0;
};
Neighbours neighbours(const CrystalStructure& c, int a, int b, double shell) {
  const CellRows cell = crystal_cell_rows(c);
  Neighbours n;
  for (size_t i = 0; i < c.species[a].sites.size(); ++i)
    for (size_t j = 0; j < c.species[b].sites.size(); ++j) {
      for (int t0 = -1; t0 <= 1; ++t0)
        for (int t1 = -1; t1 <= 1; ++t1)
          for (int t2 = -1; t2 <= 1; ++t2) {
            const auto& p = c.species[a].sites[i].fract;
            const auto& q = c.species[b].sites[j].fract;
            const Vec3d d =
                cartesian_direction(cell, {q[0] + t0 - p[0], q[1] + t1 - p[1], q[2] + t2 - p[2]});
            const double r = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
            if (r < 1e-9) continue;
            n.nearest = std::fmin(n.nearest, r);
            if (i == 0 && r < shell) ++n.within_shell;
          }
    }
  return n;
}

TEST(CifCrystal, ShippedCrystalsHaveTheKnownSitesAndNeighbours) {
  const struct {
    const char* file;
    std::vector<std::pair<std::string, int>> counts;  // element, sites per cell
    int a, b;                                         // species pair for the neighbour test
    double nearest;                                   // Å, from the cell geometry
    double shell;                                     // Å
    int coordination;  // neighbours of the first site of a within the shell
  } cases[] = {
      {"si.cif", {{"Si", 8}}, 0, 0, 5.4309 * std::sqrt(3.0) / 4, 2.5, 4},
      {"cu.cif", {{"Cu", 4}}, 0, 0, 3.615 / std::sqrt(2.0), 2.7, 12},
      {"gaas.cif", {{"Ga", 4}, {"As", 4}}, 0, 1, 5.6533 * std::sqrt(3.0) / 4, 2.6, 4},
      // hcp: 6 neighbours at a in the plane, 6 at sqrt(a²/3 + c²/4) = 3.1969 Å.
      {"mg.cif", {{"Mg", 2}}, 0, 0, 3.1969, 3.3, 12},
      // Tetrahedral Ga: Ga-O 1.80, 1.83 (twice) and 1.85 Å.
      {"ga2o3.cif", {{"Ga", 8}, {"O", 12}}, 0, 1, 1.80, 2.1, 4},
  };
  for (const auto& c : cases) {
    const CrystalStructure s = read_cif_crystal(crystal(c.file).string());
    ASSERT_EQ(s.species.size(), c.counts.size()) << c.file;
    for (size_t k = 0; k < c.counts.size(); ++k) {
      EXPECT_EQ(s.species[k].symbol, c.counts[k].first) << c.file;
      EXPECT_EQ(static_cast<int>(s.species[k].sites.size()), c.counts[k].second) << c.file;
      for (const auto& site : s.species[k].sites)
        for (double x : site.fract) {
          EXPECT_GE(x, 0.0) << c.file;
          EXPECT_LT(x, 1.0) << c.file;
        }
    }
    const Neighbours n = neighbours(s, c.a, c.b, c.shell);
    EXPECT_NEAR(n.nearest, c.nearest, 0.01) << c.file;
    EXPECT_EQ(n.within_shell, c.coordination) << c.file;
  }
}

TEST(CifCrystal, DisplacementsOccupanciesAndAnisotropicU) {
  const CrystalStructure cu = read_cif_crystal(crystal("cu.cif").string());
  EXPECT_NEAR(cu.species[0].sites[0].u_iso * 8 * std::numbers::pi * std::numbers::pi, 0.55,
              1e-12);  // from B
  const CrystalStructure gaas = read_cif_crystal(crystal("gaas.cif").string());
  EXPECT_NEAR(std::sqrt(gaas.species[0].sites[0].u_iso), 0.085, 1e-12);
  // A partly occupied site with anisotropic U in a monoclinic cell: the
  // equivalent isotropic U of an isotropic tensor written as U_ij is U itself.
  const double beta = common::radians(103.83);
  const double u = 0.01;
  // U_ij of an isotropic U in a monoclinic cell: U11 = U22 = U33 = U, U13 = U cos(beta*).
  const double beta_star = std::numbers::pi - beta;
  std::ostringstream cif;
  cif << "data_test\n_cell_length_a 12.214\n_cell_length_b 3.0371\n_cell_length_c 5.7981\n"
         "_cell_angle_alpha 90\n_cell_angle_beta 103.83\n_cell_angle_gamma 90\n"
         "_space_group_name_H-M_alt 'C 1 2/m 1'\n"
         "loop_\n_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n_atom_site_fract_y\n"
         "_atom_site_fract_z\n_atom_site_occupancy\n_atom_site_U_iso_or_equiv\n"
         "Ga1 Ga 0.0905 0 0.7946 0.5 0.02\n"
         "loop_\n_atom_site_aniso_label\n_atom_site_aniso_U_11\n_atom_site_aniso_U_22\n"
         "_atom_site_aniso_U_33\n_atom_site_aniso_U_12\n_atom_site_aniso_U_13\n_atom_site_aniso_U_"
         "23\n"
      << "Ga1 " << u << " " << u << " " << u << " 0 " << u * std::cos(beta_star) << " 0\n";
  const common::testing::ScratchFolder scratch("velmorant_cif_test_aniso");
  const fs::path& dir = scratch.path();
  std::ofstream(dir / "aniso.cif") << cif.str();
  const CrystalStructure t = read_cif_crystal((dir / "aniso.cif").string());
  ASSERT_EQ(t.species.size(), 1u);
  ASSERT_EQ(t.species[0].sites.size(), 4u);           // 4i
  EXPECT_NEAR(t.species[0].sites[0].u_iso, u, 1e-8);  // U_13 written with 6 digits
  EXPECT_EQ(t.species[0].sites[0].occupancy, 0.5);
}

TEST(CifCrystal, UnusableFilesAreNamedWithTheProblem) {
  const common::testing::ScratchFolder scratch("velmorant_cif_test_bad");
  const fs::path& dir = scratch.path();
  const std::string cell =
      "_cell_length_a 4\n_cell_length_b 4\n_cell_length_c 4\n_cell_angle_alpha 90\n"
      "_cell_angle_beta 90\n_cell_angle_gamma 90\n";
  const std::string sites =
      "loop_\n_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n_atom_site_fract_y\n"
      "_atom_site_fract_z\nA1 Cu 0 0 0\n";
  // line: where the parser names one (0: the file as a whole).
  const struct {
    const char* what;
    std::string text;
    const char* message;
    int line;
  } cases[] = {
      {"not CIF", "this is not a CIF file\n", "cannot be read as CIF", 1},
      {"tag without value", "data_x\n_cell_length_a 4\n_cell_length_b\n", "has no value", 3},
      {"loop of the wrong length", "data_x\n" + cell + "loop_\n_a\n_b\n1 2 3\n",
       "Wrong number of values", 8},
      {"no sites", "data_x\n" + cell + "_space_group_name_H-M_alt 'P 1'\n",
       "no data block lists atom sites", 0},
      {"no space group", "data_x\n" + cell + sites, "no space group", 0},
      {"unknown space group", "data_x\n" + cell + "_space_group_name_H-M_alt 'Q 9'\n" + sites,
       "\"Q 9\" is not known", 0},
      {"no cell", "data_x\n_space_group_name_H-M_alt 'P 1'\n" + sites, "the cell", 0},
      // Lengths without angles once became a 1 A cube: the missing angle is named,
      // with the value the space group implies where it implies one.
      {"no angles, cubic",
       "data_x\n_cell_length_a 4\n_cell_length_b 4\n_cell_length_c 4\n"
       "_space_group_name_H-M_alt 'F m -3 m'\n" +
           sites,
       "_cell_angle_alpha is missing; the space group F m -3 m fixes it at 90 degrees", 0},
      {"no gamma, hexagonal",
       "data_x\n_cell_length_a 3\n_cell_length_b 3\n_cell_length_c 5\n"
       "_cell_angle_alpha 90\n_cell_angle_beta 90\n"
       "_space_group_name_H-M_alt 'P 63/m m c'\n" +
           sites,
       "add the line \"_cell_angle_gamma 120\"", 0},
      {"no beta, monoclinic",
       "data_x\n_cell_length_a 3\n_cell_length_b 4\n_cell_length_c 5\n"
       "_cell_angle_alpha 90\n_cell_angle_gamma 90\n"
       "_space_group_name_H-M_alt 'C 1 2/m 1'\n" +
           sites,
       "_cell_angle_beta is missing; give it in degrees", 0},
      {"unknown element",
       "data_x\n" + cell + "_space_group_name_H-M_alt 'P 1'\n" +
           "loop_\n_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n"
           "_atom_site_fract_y\n_atom_site_fract_z\nQq1 Qq 0 0 0\n",
       "site \"Qq1\"", 0},
  };
  for (const auto& c : cases) {
    const fs::path file = dir / "bad.cif";
    std::ofstream(file) << c.text;
    try {
      read_cif_crystal(file.string());
      ADD_FAILURE() << c.what << ": accepted";
    } catch (const CifError& e) {
      const std::string m = e.what();
      EXPECT_EQ(m.rfind(file.string(), 0), 0u) << c.what << ": " << m;
      EXPECT_NE(m.find(c.message), std::string::npos) << c.what << ": " << m;
      EXPECT_EQ(e.where().file, file.string()) << c.what;
      EXPECT_EQ(e.where().line, c.line) << c.what << ": " << m;
    }
  }
  // A file that is not there is a file error, told apart from one that cannot be read.
  try {
    read_cif_crystal((dir / "none.cif").string());
    ADD_FAILURE() << "a missing file was accepted";
  } catch (const common::FileError& e) {
    EXPECT_TRUE(e.not_found());
    EXPECT_EQ(e.file(), (dir / "none.cif").string());
  }
}

// The input that velmorant_input writes for a shipped CIF with the settings
// of a hand-written example, read back by the program's reader.
struct Prepared {
  std::unique_ptr<SimulationInput> in = std::make_unique<SimulationInput>();
  BeamList beams;
};

void prepare_from_text(const std::string& text, Prepared& p) {
  std::istringstream s(text);
  parse_simulation_input(s, "VelmorantDS.dat", *p.in);
  derive_simulation_input(*p.in, VELMORANT_SOURCE_DATA_DIR);
  select_beams(*p.in, p.beams);
}

TEST(CifCrystal, GeneratedInputsGiveTheBeamsAndPixelsOfTheExamples) {
  const struct {
    const char* cif;
    const char* example;
  } cases[] = {{"si.cif", "si-111"}, {"cu.cif", "cu-110"}, {"gaas.cif", "gaas-001"}};
  for (const auto& c : cases) {
    const std::string example_text =
        read_text(fs::path(VELMORANT_EXAMPLES_DIR) / c.example / "VelmorantDS.dat");
    auto as_read = std::make_unique<SimulationInput>();
    {
      std::istringstream s(example_text);
      parse_simulation_input(s, "VelmorantDS.dat", *as_read);
    }
    MicroscopeSettings m;
    m.form_factor_model = as_read->form_factor_model;
    m.wavelength = as_read->wavelength;
    m.euler = {as_read->euler_degrees[0], as_read->euler_degrees[1], as_read->euler_degrees[2]};
    m.thickness = as_read->thickness;
    m.pixel_pitch = as_read->pixel_pitch;
    m.camera_length = as_read->camera_length;
    m.index_limit = as_read->index_limit;
    m.strength_fraction = as_read->strength_fraction;
    m.max_beams = as_read->max_beams;
    m.image_folder = as_read->image_directory;
    m.image_name = as_read->image_name;
    m.image_bits = as_read->image_bits;
    const CrystalStructure s = read_cif_crystal(crystal(c.cif).string());
    auto generated_in = std::make_unique<SimulationInput>();
    fill_simulation_input(s, m, *generated_in);
    // Model 0 takes the global B from the CIF's displacements.
    if (m.form_factor_model == 0) {
      EXPECT_EQ(generated_in->global_debye_waller, as_read->global_debye_waller) << c.example;
    }
    const std::string text = input_file_text(*generated_in, {c.cif, {}, {}});

    Prepared example, generated;
    prepare_from_text(example_text, example);
    prepare_from_text(text, generated);
    ASSERT_EQ(generated.beams.count, example.beams.count) << c.example;
    ASSERT_GT(example.beams.count, 5) << c.example;
    for (int i = 0; i <= example.beams.count; ++i) {
      EXPECT_EQ(generated.beams.miller[i], example.beams.miller[i]) << c.example << " beam " << i;
      EXPECT_EQ(generated.beams.lab_vector[i], example.beams.lab_vector[i])
          << c.example << " beam " << i;
    }
    // A few pixels across the field, short series: the same intensities.
    ProgressState state;
    SilentPresentation quiet;
    RunControl control(state, quiet);
    PixelEngine a(*example.in, example.beams, control);
    PixelEngine b(*generated.in, generated.beams, control);
    a.set_series_limit(3);
    b.set_series_limit(3);
    for (auto [i, j] : {std::pair{256, 256}, std::pair{1, 1}, std::pair{512, 40},
                        std::pair{100, 400}, std::pair{333, 77}}) {
      const float ia = a.pixel_intensity(i, j), ib = b.pixel_intensity(i, j);
      EXPECT_NEAR(ib, ia, 1e-5f * std::fabs(ia) + 1e-7f) << c.example << " pixel " << i << " " << j;
    }
  }
}

// ---- velmorant_input, the program ----

struct ToolRun {
  int status = -1;
  std::string out, err;
};

ToolRun run_tool(const fs::path& dir, const std::string& arguments) {
  const std::string command = "cd '" + dir.string() + "' && '" VELMORANT_INPUT_PROGRAM "' " +
                              arguments + " >out.txt 2>err.txt";
  ToolRun r;
  const int raw = std::system(command.c_str());
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = read_text(dir / "out.txt");
  r.err = read_text(dir / "err.txt");
  return r;
}

TEST(VelmorantInputProgram, WritesAnInputThatTheReaderTakes) {
  const common::testing::ScratchFolder scratch("velmorant_cif_test_tool");
  const fs::path& dir = scratch.path();
  const ToolRun run =
      run_tool(dir, "'" + crystal("mg.cif").string() +
                        "' --kv 200 --zone 2 -1 -1 0 --thickness 800 --semi-angle 12");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("2 Mg"), std::string::npos) << run.out;
  const std::string text = read_text(dir / "VelmorantDS.dat");
  auto in = std::make_unique<SimulationInput>();
  InputLines lines;
  std::istringstream s(text);
  parse_simulation_input(s, "VelmorantDS.dat", *in, &lines);
  EXPECT_EQ(in->species_count, 1);
  EXPECT_EQ(in->atomic_number[0], 12);
  EXPECT_EQ(in->site_count[0], 2);
  EXPECT_EQ(in->form_factor_model, 1);
  EXPECT_NEAR(in->wavelength, 0.0250793f, 1e-7f);
  EXPECT_EQ(in->thickness, 800.0f);
  EXPECT_NEAR(std::atan(256.0 * in->pixel_pitch / in->camera_length), 0.012, 1e-8);
  derive_simulation_input(*in, VELMORANT_SOURCE_DATA_DIR);
  // The beam runs along a = [2 -1 -1 0].
  const Mat3& g = in->orientation_matrix;
  EXPECT_NEAR(g(1, 3), 1.0f, 1e-6f);
  EXPECT_NO_THROW(check_plausible_values(*in, lines, "VelmorantDS.dat"));
  BeamList beams;
  select_beams(*in, beams);
  EXPECT_GT(beams.count, 5);
}

TEST(VelmorantInputProgram, MistakesGiveAMessageAndLeaveTheOutputAlone) {
  const common::testing::ScratchFolder scratch("velmorant_cif_test_tool_errors");
  const fs::path& dir = scratch.path();
  // Seventeen elements in one CIF: more species than the simulation holds.
  std::ostringstream many;
  many << "data_many\n_cell_length_a 10\n_cell_length_b 10\n_cell_length_c 10\n"
          "_cell_angle_alpha 90\n_cell_angle_beta 90\n_cell_angle_gamma 90\n"
          "_space_group_name_H-M_alt 'P 1'\nloop_\n_atom_site_label\n_atom_site_type_symbol\n"
          "_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\n";
  const char* elements[] = {"Li", "Be", "B", "C", "N",  "O", "F",  "Na", "Mg",
                            "Al", "Si", "P", "S", "Cl", "K", "Ca", "Ti"};
  int k = 0;
  for (const char* e : elements) many << e << "1 " << e << " " << 0.05 * k << " 0.1 0.1\n", ++k;
  std::ofstream(dir / "many.cif") << many.str();
  const std::string si = "'" + crystal("si.cif").string() + "'";
  const struct {
    const char* what;
    std::string arguments;
    const char* message;
  } cases[] = {
      {"seventeen elements", "many.cif", "at most 16 atom species"},
      {"zero voltage", si + " --kv 0", "positive number of kV"},
      {"zone axis of zeros", si + " --zone 0 0 0", "zero vector"},
      {"reference along the zone axis", si + " --zone 1 1 1 --reference 2 2 2", "parallel"},
      {"wrong four-index direction", si + " --zone 1 1 1 0", "-(u + v)"},
      {"thickness in um", si + " --thickness -1.5", "positive thickness"},
      {"field too wide", si + " --semi-angle 400", "0.5 rad"},
      {"wavelength for kV", si + " --wavelength 200", "did you give kV?"},
      // Values out of range are named as typed, not as lines of the file they would make.
      {"voltage in V", si + " --kv 200000", "--kv 200000: the accelerating voltage in kV"},
      {"semi-angle in degrees", si + " --semi-angle 600", "--semi-angle 600: a field of 1.2 rad"},
      {"camera length in m, pitch in um", si + " --camera-length 0.3 --pixel-pitch 15",
       "same unit"},
      // Words that are not options: listed in the order typed, with the nearest option.
      {"misspelt option", si + " --zone-axis 1 0 0",
       "unexpected arguments: --zone-axis 1 0 0 (--zone-axis: did you mean --zone?)"},
      {"missing CIF", "no_such.cif", "no_such.cif"},
      {"existing output", si, "--force"},
  };
  for (const auto& c : cases) {
    std::ofstream(dir / "VelmorantDS.dat") << "earlier input\n";
    const ToolRun run = run_tool(dir, c.arguments);
    EXPECT_NE(run.status, 0) << c.what;
    EXPECT_LE(run.status, 2) << c.what;  // 1: input, 2: command line; never CLI11's own codes
    EXPECT_NE(run.err.find(c.message), std::string::npos) << c.what << ": " << run.err;
    EXPECT_EQ(read_text(dir / "VelmorantDS.dat"), "earlier input\n") << c.what;
    EXPECT_FALSE(fs::exists(dir / "VelmorantDS.dat.tmp")) << c.what;
    if (c.arguments != si) fs::remove(dir / "VelmorantDS.dat");
    if (c.arguments != si) {
      // Without an earlier file, nothing is written either.
      const ToolRun again = run_tool(dir, c.arguments);
      EXPECT_NE(again.status, 0) << c.what;
      EXPECT_FALSE(fs::exists(dir / "VelmorantDS.dat")) << c.what;
    }
  }
  // A semi-angle that is likely radians is written, with a warning; without
  // --image-name the input names no experiment, so that Velmorant runs at once.
  const ToolRun small = run_tool(dir, si + " --semi-angle 0.01 --force");
  EXPECT_EQ(small.status, 0) << small.err;
  EXPECT_NE(small.err.find("did you give radians?"), std::string::npos) << small.err;
  const std::string written = read_text(dir / "VelmorantDS.dat");
  EXPECT_NE(written.find("\n  '-'\n"), std::string::npos) << written;
}

}  // namespace
}  // namespace velmorant::crystal_file
