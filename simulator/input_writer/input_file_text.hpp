// A complete, commented "VelmorantDS.dat" written from a SimulationInput:
// the captions of the annotated template, one value line after each.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <string>
#include <vector>

#include "common/fixed_format.hpp"
#include "simulator/input/simulation_input.hpp"

namespace velmorant::crystal_file {

// What the captions say about the crystal beyond the values themselves.
struct InputFileNotes {
  std::string title;                       // first line, after "VelmorantDS.dat -- "
  std::vector<std::string> species_names;  // e.g. "Si (silicon)", one per species
  std::vector<std::string> comment_lines;  // put into the captions of line 2.. (at most 3)
};

// The text of a float in the input file: the shortest that reads back to the
// same float, in fixed notation where that is reasonable ("5.4309",
// "1500.0", "3.90625e-05").
inline std::string float_text(float value) {
  return common::shortest_text(value, common::FloatNotation::fixed_where_reasonable);
}

// The file text. Reads only the fields read from the file (cell_basis to
// image_bits); euler_angles are taken in DEGREES, as the file holds them.
// Texts are quoted. Throws SettingsError (writer_errors.hpp) when the image
// folder or name holds a line end, std::invalid_argument when a count exceeds
// the tables (16 species, 128 sites per species; fill_simulation_input refuses
// such a crystal first) or a caption holds a line end.
std::string input_file_text(const SimulationInput& in, const InputFileNotes& notes);

}  // namespace velmorant::crystal_file
