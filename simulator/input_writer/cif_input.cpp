// From a CIF file and the microscope settings of velmorant_input to the commented text of "VelmorantDS.dat".
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/input_writer/cif_input.hpp"

#include <cmath>
#include <filesystem>
#include <memory>
#include <sstream>

#include "simulator/input_writer/cif_crystal.hpp"
#include "simulator/input_writer/input_file_text.hpp"
#include "simulator/input_writer/microscope_geometry.hpp"

namespace velmorant::crystal_file {

namespace {

// [u v w] or the hexagonal [u v t w]; `parameter` names the setting, `what` the direction in words.
Vec3d direction_of(const std::vector<double>& v, const char* parameter, const char* what) {
  if (v.size() == 3) return {v[0], v[1], v[2]};
  if (v.size() == 4) {
    if (std::fabs(v[0] + v[1] + v[2]) > 1e-9)
      throw SettingsError(
          parameter, std::string(what) + " [u v t w]: the third of four indices must be -(u + v)");
    return three_index_direction(v[0], v[1], v[2], v[3]);
  }
  throw SettingsError(parameter, std::string(what) + " takes 3 indices [u v w] or 4 [u v t w]");
}

std::string join(const std::vector<double>& v) {
  std::ostringstream s;
  for (std::size_t k = 0; k < v.size(); ++k) s << (k == 0 ? "" : " ") << v[k];
  return s.str();
}

}  // namespace

CifInput cif_input(const std::string& cif_path, const CifInputOptions& options) {
  if (options.kv && options.wavelength)
    throw SettingsError("wavelength",
                        "the accelerating voltage excludes the wavelength: give one of them");
  if (!options.euler.empty() && (!options.zone.empty() || !options.reference.empty()))
    throw SettingsError("euler",
                        "the Euler angles exclude the zone axis and the reference direction");
  if (!options.euler.empty() && options.euler.size() != 3)
    throw SettingsError("euler", "the Euler angles are 3 angles phi1 Phi phi2");
  if (options.camera_length.has_value() != options.pixel_pitch.has_value())
    throw SettingsError(
        options.camera_length ? "pixel_pitch" : "camera_length",
        "the camera length and the pixel pitch are given together (one needs the other)");
  if (options.semi_angle && options.camera_length)
    throw SettingsError("semi_angle",
                        "the semi-angle excludes the camera length and the pixel pitch");

  if (options.kv && !(*options.kv > 0.0 && std::isfinite(*options.kv)))
    throw SettingsError("kv", "the accelerating voltage must be a positive number of kV");
  if (options.wavelength && !(*options.wavelength > 0.0 && std::isfinite(*options.wavelength)))
    throw SettingsError("wavelength", "the wavelength must be a positive number of A");

  CifInput result;
  result.crystal = read_cif_crystal(cif_path, options.block);
  const CrystalStructure& crystal = result.crystal;
  const CellRows cell = crystal_cell_rows(crystal);
  MicroscopeSettings settings = options.settings;
  settings.wavelength = options.wavelength ? *options.wavelength
                                           : electron_wavelength(options.kv ? *options.kv : 200.0);
  if (!options.euler.empty()) {
    settings.euler = {options.euler[0], options.euler[1], options.euler[2]};
    result.orientation = "Euler angles " + join(options.euler) + " deg";
  } else {
    const std::vector<double> z =
        options.zone.empty() ? std::vector<double>{0, 0, 1} : options.zone;
    const Vec3d zone_uvw = direction_of(z, "zone", "the zone axis");
    std::optional<Vec3d> ref;
    if (!options.reference.empty())
      ref = direction_of(options.reference, "reference", "the reference direction");
    settings.euler = euler_from_zone_axis(cell, zone_uvw, ref);
    result.orientation = "zone axis [" + join(z) + "]";
  }
  if (options.camera_length) {
    settings.camera_length = *options.camera_length;
    settings.pixel_pitch = *options.pixel_pitch;
  } else {
    settings.camera_length = 1.0;
    settings.pixel_pitch =
        pixel_scale_from_semi_angle(options.semi_angle ? *options.semi_angle : 10.0);
  }
  settings.global_b = options.global_b;

  auto in = std::make_unique<SimulationInput>();
  fill_simulation_input(crystal, settings, *in);
  InputFileNotes notes;
  const std::string file_name = std::filesystem::path(cif_path).filename().string();
  {
    std::ostringstream t;
    t << crystal.name << " (" << crystal.space_group << ") from " << file_name << ", "
      << result.orientation << ", " << float_text(in->wavelength) << " A, "
      << float_text(in->thickness) << " A thick";
    notes.title = t.str();
  }
  for (const auto& s : crystal.species) notes.species_names.push_back(species_caption(s));
  notes.comment_lines = {"Written by velmorant_input from " + file_name +
                         "; every value line is preceded by a fixed number of caption lines."};
  result.text = input_file_text(*in, notes);
  return result;
}

}  // namespace velmorant::crystal_file
