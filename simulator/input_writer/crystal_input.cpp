// CrystalStructure + microscope settings -> SimulationInput.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/input_writer/crystal_input.hpp"

#include <cmath>

namespace velmorant::crystal_file {

namespace {
constexpr double kEightPiSquared = 78.95683520871486;  // 8 π², B = 8 π² U
}

CellRows crystal_cell_rows(const CrystalStructure& crystal) {
  return cell_rows(crystal.a, crystal.b, crystal.c, crystal.alpha, crystal.beta, crystal.gamma);
}

std::string species_caption(const CrystalSpecies& species) {
  return species.symbol + " (Z = " + std::to_string(species.atomic_number) + ")";
}

void fill_simulation_input(const CrystalStructure& crystal, const MicroscopeSettings& settings,
                           SimulationInput& in) {
  // A crystal the record cannot hold: named by its file and block where it came from one.
  const std::string where =
      crystal.source.empty() ? "" : crystal.source + ", block " + crystal.name + ": ";
  const int species_count = static_cast<int>(crystal.species.size());
  if (species_count > kMaxSpecies) {
    std::string list;
    for (const auto& s : crystal.species) list += (list.empty() ? "" : " ") + s.symbol;
    throw CifError(where + "the crystal has " + std::to_string(species_count) + " elements (" +
                       list + "); the simulation takes at most " + std::to_string(kMaxSpecies) +
                       " atom species",
                   {crystal.source});
  }
  for (const auto& s : crystal.species)
    if (static_cast<int>(s.sites.size()) > kMaxSites)
      throw CifError(where + s.symbol + " has " + std::to_string(s.sites.size()) +
                         " sites in the unit cell; the simulation takes at most " +
                         std::to_string(kMaxSites) + " per species",
                     {crystal.source});
  in = SimulationInput{};
  const CellRows rows = crystal_cell_rows(crystal);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) in.cell_basis(r + 1, c + 1) = static_cast<float>(rows[r][c]);
  in.form_factor_model = settings.form_factor_model;
  in.species_count = species_count;
  double u_sum = 0, weight = 0;
  for (int s = 0; s < species_count; ++s) {
    const CrystalSpecies& sp = crystal.species[s];
    in.atomic_number[s] = sp.atomic_number;
    in.site_count[s] = static_cast<int>(sp.sites.size());
    for (size_t j = 0; j < sp.sites.size(); ++j) {
      const CrystalSite& site = sp.sites[j];
      for (int c = 0; c < 3; ++c) in.site_position[s][j][c] = static_cast<float>(site.fract[c]);
      in.site_occupancy[s][j] = static_cast<float>(site.occupancy);
      in.site_debye_waller[s][j] = static_cast<float>(std::sqrt(site.u_iso));
      u_sum += site.occupancy * site.u_iso;
      weight += site.occupancy;
    }
  }
  in.global_debye_waller =
      static_cast<float>(settings.global_b ? *settings.global_b
                                           : (weight > 0 ? kEightPiSquared * u_sum / weight : 0.0));
  in.index_limit = settings.index_limit;
  in.strength_fraction = static_cast<float>(settings.strength_fraction);
  in.max_beams = settings.max_beams;
  in.thickness = static_cast<float>(settings.thickness);
  in.pixel_pitch = static_cast<float>(settings.pixel_pitch);
  in.image_directory = settings.image_folder;
  in.image_name = settings.image_name;
  in.wavelength = static_cast<float>(settings.wavelength);
  in.camera_length = static_cast<float>(settings.camera_length);
  in.euler_angles = {static_cast<float>(settings.euler.phi1),
                     static_cast<float>(settings.euler.Phi),
                     static_cast<float>(settings.euler.phi2)};
  in.euler_degrees = in.euler_angles;
  in.surface_normal = {0.0f, 0.0f, 1.0f};
  in.image_bits = settings.image_bits;
}

}  // namespace velmorant::crystal_file
