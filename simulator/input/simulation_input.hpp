// SimulationInput: every parameter read from "VelmorantDS.dat" and every
// quantity derived from it.
//
// Conventions of this record:
//  - All reals are 32-bit floats, all integers 32-bit signed.
//  - Species and site tables are fixed-size (kMaxSpecies x kMaxSites). The
//    input file numbers species s = 1..16 and sites j = 1..128; here they are
//    stored 0-based: species s is at index s-1, site j at index j-1
//    (e.g. atomic_number[0] is the Z of species 1).
//  - 3x3 matrices are common::Mat3: nine floats column by column with the
//    1-based accessor m(r, c).
//  - Texts (image_directory, image_name) hold at most kTextLength characters;
//    padding blanks are not stored: the strings hold the text without
//    trailing blanks, ready to be joined into a path.
//
// The record is about 70 KB: hold it in a std::unique_ptr<SimulationInput>
// (std::make_unique<SimulationInput>()) or in a static, not as a local
// variable of a deep call chain. It is value-initialised (all zeros) by its
// default member initialisers.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "common/mat3.hpp"

namespace velmorant {

inline constexpr int kMaxSpecies = 16;            // species table size
inline constexpr int kMaxSites = 128;             // sites per species
inline constexpr int kTextLength = 256;           // image_directory / image_name
inline constexpr int kXrayCoefficientCount = 11;  // a1..a5, c, b1..b5

using Mat3 = common::Mat3;
using Vec3f = std::array<float, 3>;

template <typename T>
using SpeciesTable = std::array<T, kMaxSpecies>;
template <typename T>
using SiteTable = std::array<std::array<T, kMaxSites>, kMaxSpecies>;  // [species][site]

struct SimulationInput {
  // ---- Fields read from the file, in file order ----
  Mat3 cell_basis{};                   // row r = basis vector r (a, b, c), Cartesian, Å
  std::int32_t form_factor_model = 0;  // 0: X-ray coefficients + Mott–Bethe; else absorptive WK
  std::int32_t species_count = 0;      // 1..16 (0 or less: no species; checked <= 16 by the reader)
  SpeciesTable<std::int32_t> atomic_number{};  // Z of each species
  SpeciesTable<std::int32_t> site_count{};     // 0..128 (checked by the reader)
  SiteTable<Vec3f> site_position{};            // fractional x, y, z
  SiteTable<float> site_occupancy{};           // multiplies the site's form factor
  SiteTable<float> site_debye_waller{};        // r.m.s. displacement u, Å (model != 0 only)
  float global_debye_waller = 0;               // B, Å² (model 0 only)
  std::int32_t index_limit = 0;                // largest |h|,|k|,|l| of the search box
  float strength_fraction = 0;  // threshold fraction of the largest |F|² (<= 0: none)
  std::int32_t max_beams = 0;   // cap on the beams kept by the band filter
  float thickness = 0;          // specimen thickness, Å (as read)
  float pixel_pitch = 0;        // numerator of pixel_scale
  std::string image_directory;  // folder of the experimental image (no trailing blanks)
  std::string image_name;       // file name of the experimental BMP image
  float wavelength = 0;         // electron wavelength λ, Å
  float camera_length = 0;      // denominator of pixel_scale (checked non-zero)
  Vec3f euler_angles{};         // φ1, Φ, φ2: degrees in the file, RADIANS after reading
  // φ1, Φ, φ2 in degrees exactly as read from the file (Bunge angles z, x', z''
  // of the rotation from the sample frame to the crystal frame; 0 0 0: the
  // crystal axes along the sample axes). Set by the parser and kept by the
  // derivations, which turn euler_angles into radians; an override of the
  // angles (engine/simulation.hpp) replaces both.
  Vec3f euler_degrees{};
  Vec3f surface_normal{};       // only [2] (the third component) is used; checked non-zero
  std::int32_t image_bits = 0;  // 8 or 24 bits per pixel of the image

  // ---- Derived fields, filled by read_simulation_input ----
  std::int32_t hkl_limit = 0;  // max(1, low 16 bits of index_limit, sign-extended)
  Mat3 reciprocal_basis{};     // inverse of cell_basis; its COLUMNS are a*, b*, c*
  Mat3 reciprocal_metric{};    // reciprocal_basisᵀ · reciprocal_basis
  Mat3 orientation_matrix{};   // bunge_matrix(euler_angles)
  float pixel_scale = 0;       // pixel_pitch / camera_length
  // thickness / surface_normal[2], the thickness along the beam. It has its
  // own field, so `thickness` keeps the value as read.
  float effective_thickness = 0;
  SiteTable<Vec3f> phase_position{};  // 6.2831855 × site_position, all 16×128 entries
  SpeciesTable<std::array<float, kXrayCoefficientCount>> xray_coefficients{};  // model 0 only
  SpeciesTable<std::int32_t>
      table_atomic_number{};   // Z printed in the coefficient file; model 0 only
  float potential_factor = 0;  // γ/(π V) for model 0, 1/(π V) otherwise
  float cell_volume = 0;       // V = |det cell_basis| (kept for diagnostics)
};

}  // namespace velmorant
