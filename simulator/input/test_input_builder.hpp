// Test helper: writes a "VelmorantDS.dat" text in the input file's layout from a
// few parameters, with caption lines full of numbers and text (which the
// reader must never parse). Used only by the tests.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <array>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "simulator/input/read_simulation_input.hpp"

namespace velmorant::testing {

struct TestSite {
  float x, y, z, occupancy, u;
};
struct TestSpecies {
  int z;
  std::vector<TestSite> sites;
};

struct TestInput {
  std::array<std::array<std::string, 3>, 3> basis{
      {{"5.4309", "0", "0"}, {"0", "5.4309", "0"}, {"0", "0", "5.4309"}}};
  std::string model = "1";
  std::string species_count;  // empty: the number of species below
  std::vector<TestSpecies> species;
  std::string global_dw = "0.0";
  std::string index_limit = "3";
  std::string strength_fraction = "0.01";
  std::string max_beams = "50";
  std::string thickness = "1500.0";
  std::string pixel_pitch = "0.025";
  std::string image_directory = ".";
  std::string image_name = "experiment.bmp";
  std::string wavelength = "0.02508";
  std::string camera_length = "640.0";
  std::string euler = "0.0 54.7356 45.0";
  std::string surface_normal = "0.0 0.0 1.0";
  std::string image_bits = "8";

  // The file as lines (index 0 = line 1).
  std::vector<std::string> lines() const {
    std::vector<std::string> out;
    int caption_no = 0;
    auto cap = [&](int n) {
      for (int i = 0; i < n; ++i) {
        ++caption_no;
        // Numbers first, commas, quotes and text: a parser that looked at
        // these lines would take values from them.
        out.push_back(std::to_string(caption_no) +
                      " 2.5, 7 'caption' \"text\" 1e3 x=" + std::to_string(caption_no * 3));
      }
    };
    auto val = [&](const std::string& v) { out.push_back("  " + v); };
    cap(5);
    for (const auto& r : basis) val(r[0] + " " + r[1] + " " + r[2]);
    cap(2);
    val(model);
    cap(2);
    val(species_count.empty() ? std::to_string(species.size()) : species_count);
    cap(1);
    for (const auto& s : species) {
      cap(1);
      val(std::to_string(s.z));
      cap(2);
      val(std::to_string(s.sites.size()));
      cap(2);
      for (const auto& t : s.sites)
        val(std::to_string(t.x) + " " + std::to_string(t.y) + " " + std::to_string(t.z) + " " +
            std::to_string(t.occupancy) + " " + std::to_string(t.u));
    }
    cap(5);
    val(global_dw);
    cap(11);
    val(index_limit);
    cap(2);
    val(strength_fraction);
    cap(2);
    val(max_beams);
    cap(2);
    val(thickness);
    cap(2);
    val(pixel_pitch);
    cap(7);
    val(image_directory);
    cap(6);
    val(image_name);
    cap(2);
    val(wavelength);
    cap(2);
    val(camera_length);
    cap(2);
    val(euler);
    cap(2);
    val(surface_normal);
    cap(2);
    val(image_bits);
    return out;
  }

  static std::string join(const std::vector<std::string>& lines) {
    std::string s;
    for (const auto& l : lines) s += l + "\n";
    return s;
  }
  std::string text() const { return join(lines()); }
};

// Silicon, diamond structure, 8 sites (fcc + (1/4,1/4,1/4)).
inline TestSpecies silicon(float u = 0.076f) {
  TestSpecies s{14, {}};
  const float p[8][3] = {{0, 0, 0},
                         {0, 0.5f, 0.5f},
                         {0.5f, 0, 0.5f},
                         {0.5f, 0.5f, 0},
                         {0.25f, 0.25f, 0.25f},
                         {0.25f, 0.75f, 0.75f},
                         {0.75f, 0.25f, 0.75f},
                         {0.75f, 0.75f, 0.25f}};
  for (const auto& q : p) s.sites.push_back({q[0], q[1], q[2], 1.0f, u});
  return s;
}

// The record read from `t` and derived, with the X-ray coefficients taken
// from `data_dir` (tests pass the source tree's data folder).
inline std::unique_ptr<SimulationInput> prepared(const TestInput& t, const std::string& data_dir) {
  auto in = std::make_unique<SimulationInput>();
  std::istringstream s(t.text());
  parse_simulation_input(s, "VelmorantDS.dat", *in);
  derive_simulation_input(*in, data_dir);
  return in;
}

// Titanium, hexagonal (a = 2.95 Å, c = 4.68 Å), exactly on [0001]: two atoms
// at (1/3, 2/3, 1/4) and (2/3, 1/3, 3/4). The input text carries six
// decimals only, which would break the sixfold axis by about 1e-6 of the
// cell; the positions are set again to float precision.
inline std::unique_ptr<SimulationInput> titanium_on_0001(const std::string& max_beams,
                                                         const std::string& thickness,
                                                         const std::string& data_dir) {
  TestInput t;
  t.basis = {{{"2.95", "0", "0"}, {"-1.475", "2.55477494", "0"}, {"0", "0", "4.68"}}};
  t.species.push_back(
      {22, {{0.333333f, 0.666667f, 0.25f, 1, 0.08f}, {0.666667f, 0.333333f, 0.75f, 1, 0.08f}}});
  t.index_limit = "4";
  t.strength_fraction = "0.0001";
  t.pixel_pitch = "0.06";   // 24 mrad from the centre to the edge
  t.thickness = thickness;  // Å
  t.max_beams = max_beams;
  t.euler = "0 0 0";
  auto in = prepared(t, data_dir);
  const float third = 1.0f / 3.0f, two_thirds = 2.0f / 3.0f;
  in->site_position[0][0] = {third, two_thirds, 0.25f};
  in->site_position[0][1] = {two_thirds, third, 0.75f};
  for (int j = 0; j < 2; ++j)
    for (int c = 0; c < 3; ++c)
      in->phase_position[0][j][c] = 6.2831855f * in->site_position[0][j][c];
  return in;
}

// Silicon exactly on [111] (Phi = arccos(1/sqrt 3), phi2 = 45 deg). The values
// are assigned as strings, not literals: GCC 12 warns falsely (-Wrestrict) on
// the inlined literal assignment.
inline std::unique_ptr<SimulationInput> silicon_on_111(const std::string& max_beams,
                                                       const std::string& thickness,
                                                       const std::string& data_dir) {
  TestInput t;
  t.species.push_back(silicon());
  t.index_limit = std::string("6");
  t.strength_fraction = std::string("0.001");
  t.thickness = thickness;  // Å
  t.max_beams = max_beams;
  t.euler = std::string("0.0 54.7356103 45.0");
  return prepared(t, data_dir);
}

}  // namespace velmorant::testing
