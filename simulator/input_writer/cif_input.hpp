// From a CIF file and the microscope settings of velmorant_input to the commented text of "VelmorantDS.dat".
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "simulator/input_writer/crystal_input.hpp"
#include "simulator/input_writer/crystal_structure.hpp"

namespace velmorant::crystal_file {

// velmorant_input's options, in its units; an empty optional takes its default.
struct CifInputOptions {
  std::string block;                    // CIF data block (empty: the first with atom sites)
  std::optional<double> kv;             // accelerating voltage, kV [200]
  std::optional<double> wavelength;     // electron wavelength, Å (instead of kv)
  std::vector<double> zone;             // [u v w] or [u v t w] along the beam [0 0 1]
  std::vector<double> reference;        // direction toward the pattern's x axis [an axis]
  std::vector<double> euler;            // Bunge angles, degrees (instead of zone)
  std::optional<double> semi_angle;     // convergence semi-angle, mrad [10]
  std::optional<double> camera_length;  // with pixel_pitch, same unit
  std::optional<double> pixel_pitch;    // with camera_length
  std::optional<double> global_b;       // Å², model 0
  MicroscopeSettings settings;          // thickness, model, beam search and image values
};

// What the file was made from, for the program's report.
struct CifInput {
  CrystalStructure crystal;
  std::string orientation;  // "zone axis [1 1 1]" or "Euler angles ... deg"
  std::string text;         // the complete file text
};

// Reads the CIF (read_cif_crystal), applies the options as velmorant_input
// does and composes the commented file text (input_file_text). The text is
// not yet checked by the reader. Throws common::FileError for a CIF that
// cannot be opened, CifError for one that cannot be used, and SettingsError
// for settings that contradict each other or cannot be used.
CifInput cif_input(const std::string& cif_path, const CifInputOptions& options);

}  // namespace velmorant::crystal_file
