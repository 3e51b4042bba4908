// CrystalStructure: a crystal as a structure file gives it (cell parameters,
// every site of the unit cell grouped by element), before it becomes a
// SimulationInput.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <array>
#include <string>
#include <vector>

namespace velmorant::crystal_file {

struct CrystalSite {
  std::array<double, 3> fract{};  // fractional coordinates, each in [0, 1)
  double occupancy = 1.0;
  double u_iso = 0.0;  // isotropic (or equivalent) mean-square displacement U, Å²
};

struct CrystalSpecies {
  int atomic_number = 0;           // Z
  std::string symbol;              // "Si", "Ga", ...
  std::vector<CrystalSite> sites;  // all sites of the cell, in order of expansion
};

struct CrystalStructure {
  std::string name;                          // data block name
  std::string source;                        // the file it was read from (empty: built in memory)
  double a = 0, b = 0, c = 0;                // Å
  double alpha = 90, beta = 90, gamma = 90;  // degrees
  std::string space_group;                   // Hermann-Mauguin symbol (or "from N operations")
  int asymmetric_sites = 0;                  // site rows of the structure file
  std::vector<CrystalSpecies> species;       // one per element, in order of first appearance
};

}  // namespace velmorant::crystal_file
