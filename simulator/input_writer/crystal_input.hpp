// From a CrystalStructure and the microscope settings to a SimulationInput
// with the values of "VelmorantDS.dat" (Euler angles in degrees, as read).
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <optional>
#include <stdexcept>
#include <string>

#include "simulator/input_writer/crystal_structure.hpp"
#include "simulator/input_writer/microscope_geometry.hpp"
#include "simulator/input/simulation_input.hpp"

namespace velmorant::crystal_file {

// The settings the file needs beyond the crystal, in the file's units.
struct MicroscopeSettings {
  int form_factor_model = 1;       // 0: X-ray coefficients + global B; 1: absorptive, u per site
  double wavelength = 0.0250793;   // Å (200 kV)
  EulerDegrees euler;              // degrees
  double thickness = 1000.0;       // Å
  double pixel_pitch = 0.0;        // numerator of the pixel scale
  double camera_length = 1.0;      // denominator of the pixel scale (same unit as the pitch)
  std::optional<double> global_b;  // Å²; empty: 8π² times the mean U of the cell's atoms
  int index_limit = 6;
  double strength_fraction = 0.001;
  int max_beams = 30;
  std::string image_folder = ".";
  std::string image_name = "experiment.bmp";
  int image_bits = 8;
};

// Fills `in` (fully overwritten; only the fields read from the file). Sites
// keep the crystal's order; u = sqrt(U) per site. Throws CifError naming the
// crystal's file (when it came from one) and the problem when the crystal has
// more than 16 elements or an element more than 128 sites in the cell.
void fill_simulation_input(const CrystalStructure& crystal, const MicroscopeSettings& settings,
                           SimulationInput& in);

// The Cartesian basis of the crystal, as fill_simulation_input writes it.
CellRows crystal_cell_rows(const CrystalStructure& crystal);

// "Si (silicon)" style names of the crystal's species, for the captions.
std::string species_caption(const CrystalSpecies& species);

}  // namespace velmorant::crystal_file
