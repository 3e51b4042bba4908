// Reading a crystal from a CIF file (gemmi): cell, space group, atom sites
// with occupancy and displacement, expanded to every site of the unit cell.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <string>

#include "simulator/input_writer/crystal_structure.hpp"
#include "simulator/input_writer/writer_errors.hpp"

namespace velmorant::crystal_file {

// Images of one site closer than this are one site (a special position).
inline constexpr double kCoincidenceDistance = 0.1;  // Å

// Reads the block `block_name` (empty: the first block with atom sites) of the
// CIF file `path`. The space group comes from the symmetry operations listed
// in the file (_space_group_symop_operation_xyz or _symmetry_equiv_pos_as_xyz),
// else from the Hermann-Mauguin symbol (with _space_group_IT_coordinate_system_code
// when given), else from the space-group number. Displacements: U_iso, or B_iso / 8π²,
// or, where anisotropic U_ij are given, their equivalent isotropic value
// U_eq = (1/3) Σ U_ij a*_i a*_j a_i·a_j. Each site is moved by every
// operation, taken into the cell [0, 1) and kept unless an earlier image of
// the same site lies within kCoincidenceDistance. Throws common::FileError
// for a file that cannot be opened (not_found() when it does not exist) and
// CifError for one that cannot be used.
CrystalStructure read_cif_crystal(const std::string& path, const std::string& block_name = "");

}  // namespace velmorant::crystal_file
