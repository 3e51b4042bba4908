// velmorant_input: writes a complete, commented "VelmorantDS.dat" from a CIF
// file and the microscope settings (kV, zone axis, thickness, field).
// SPDX-License-Identifier: BSD-3-Clause
#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>

#include "common/atomic_file.hpp"
#include "common/electron_wavelength.hpp"
#include "common/file_error.hpp"
#include "common/fixed_format.hpp"
#include "common/input_error.hpp"
#include "common/version.hpp"
#include "programs/command_line/command_line.hpp"
#include "simulator/input_writer/cif_crystal.hpp"
#include "simulator/input_writer/cif_input.hpp"
#include "simulator/input_writer/crystal_input.hpp"
#include "simulator/input_writer/input_file_text.hpp"
#include "simulator/input_writer/microscope_geometry.hpp"
#include "simulator/image/image_path.hpp"
#include "simulator/input/read_simulation_input.hpp"

namespace fs = std::filesystem;
using namespace velmorant;
using namespace velmorant::crystal_file;

namespace {

// Replaces `path` as a whole (common::write_file_whole).
void write_whole(const fs::path& path, const std::string& text) {
  if (const auto reason = common::write_file_whole(path.string(), text.data(), text.size()))
    throw common::FileError(common::write_failure_message("the input", path.string(), *reason),
                            path.string());
}

// The option of a setting the writer names (SettingsError::parameter()).
std::string option_of(const std::string& parameter) {
  if (parameter == "kv") return "--kv";
  if (parameter == "semi_angle") return "--semi-angle";
  if (parameter == "camera_length") return "--camera-length";
  if (parameter == "pixel_pitch") return "--pixel-pitch";
  if (parameter == "image_folder") return "--image-folder";
  if (parameter == "image_name") return "--image-name";
  if (parameter == "cell") return "";  // from the CIF, not an option
  return "--" + parameter;             // wavelength, zone, reference, euler
}

}  // namespace

// The values given on the command line that the simulation would refuse,
// named as typed with their unit, before anything is built from them (the
// written file's checks would name lines of a file the user never wrote).
void check_option_values(const std::optional<double>& kv, const std::optional<double>& wavelength,
                         float thickness, const std::optional<double>& semi_angle,
                         const std::optional<double>& camera_length,
                         const std::optional<double>& pixel_pitch) {
  auto text = [](double v) {  // as typed, for the usual ways of typing a number
    std::ostringstream s;
    s << std::setprecision(10) << v;
    return s.str();
  };
  auto fail = [](const std::string& message) { throw common::InputError(message); };
  if (kv) {
    if (!(*kv > 0) || !std::isfinite(*kv))
      fail("--kv " + text(*kv) + ": expected a positive number of kV");
    const float lambda = float(common::electron_wavelength_angstrom(*kv));
    if (!wavelength_problem(lambda).empty())
      fail("--kv " + text(*kv) + ": the accelerating voltage in kV gives a wavelength of " +
           text(lambda) + " A; the simulation takes " + text(kMinWavelength) + " to " +
           text(kMaxWavelength) + " A, about " +
           text(common::voltage_kv_for_wavelength(kMaxWavelength)) + " to " +
           text(common::voltage_kv_for_wavelength(kMinWavelength)) + " kV: is the voltage in kV?");
  }
  if (wavelength)
    if (const std::string problem = wavelength_problem(float(*wavelength)); !problem.empty())
      fail("--wavelength " + text(*wavelength) + ": " + problem);
  if (const std::string problem = thickness_problem(thickness); !problem.empty())
    fail("--thickness " + text(thickness) + ": " + problem);
  // The field of the 512 x 512 pattern spans twice the semi-angle (at most kMaxFieldWidth rad).
  const double largest_semi_angle_mrad = kMaxFieldWidth / 2 * 1000;
  if (semi_angle) {
    if (!(*semi_angle > 0) || !std::isfinite(*semi_angle))
      fail("--semi-angle " + text(*semi_angle) +
           ": expected a positive convergence semi-angle in mrad");
    if (*semi_angle > largest_semi_angle_mrad)
      fail("--semi-angle " + text(*semi_angle) + ": a field of " + text(2 * *semi_angle / 1000) +
           " rad; at most " + text(largest_semi_angle_mrad) + " mrad (a field of " +
           text(kMaxFieldWidth) + " rad): is it in mrad?");
    if (*semi_angle < 0.1)
      std::cerr << "velmorant_input: warning: --semi-angle " << text(*semi_angle)
                << " mrad is below 0.1 mrad: did you give radians? (10 mrad is 0.01 rad)\n";
  }
  if (camera_length && pixel_pitch) {
    const double field = 2.0 * std::atan(256.0 * std::fabs(*pixel_pitch / *camera_length));
    if (!(*camera_length > 0) || !(*pixel_pitch > 0) || !(field <= kMaxFieldWidth))
      fail("--camera-length " + text(*camera_length) + " --pixel-pitch " + text(*pixel_pitch) +
           ": the 512 x 512 field would be " + text(field) + " rad wide; expected at most " +
           text(kMaxFieldWidth) + " rad: are both positive and in the same unit?");
  }
}

int main(int argc, char** argv) {
  CLI::App app{
      "Writes a complete, commented VelmorantDS.dat from a CIF file: the cell, the space group "
      "and\n"
      "the atom sites of the file, expanded to the whole unit cell, and the microscope settings\n"
      "given here. Then run Velmorant in the folder of the written file.",
      "velmorant_input"};
  std::string cif_path, output = kInputFileName, block;
  bool force = false;
  std::optional<double> kv, wavelength, semi_angle, camera_length, pixel_pitch, global_b;
  std::vector<double> zone, euler, reference;
  MicroscopeSettings settings;
  // Without --image-name the input names no experiment ("-"): Velmorant then
  // writes DS_pattern.bmp and no r, instead of failing on a missing file.
  settings.image_name = kNoExperiment;
  app.add_option("cif", cif_path, "crystal structure (CIF)")->required()->check(CLI::ExistingFile);
  app.add_option("-o,--output", output, "file to write")->capture_default_str();
  app.add_flag("-f,--force", force, "replace an existing output file");
  app.add_option("--block", block, "CIF data block (default: the first with atom sites)");
  auto* kv_opt = app.add_option("--kv", kv, "accelerating voltage, kV (default 200)");
  auto* wl_opt =
      app.add_option("--wavelength", wavelength, "electron wavelength, A (instead of --kv)");
  kv_opt->excludes(wl_opt);
  auto* zone_opt = app.add_option("--zone", zone,
                                  "zone axis along the beam: u v w, or u v t w "
                                  "(hexagonal); default 0 0 1")
                       ->expected(3, 4)
                       ->allow_extra_args(false);
  auto* ref_opt =
      app.add_option("--reference", reference,
                     "direction u v w (or u v t w) whose part perpendicular to the beam "
                     "points along the pattern's x axis; default: the axis a, b or c "
                     "most nearly perpendicular to the zone axis")
          ->expected(3, 4)
          ->allow_extra_args(false);
  auto* euler_opt = app.add_option("--euler", euler,
                                   "Bunge angles phi1 Phi phi2, degrees "
                                   "(instead of --zone)")
                        ->expected(3)
                        ->allow_extra_args(false);
  euler_opt->excludes(zone_opt);
  euler_opt->excludes(ref_opt);
  app.add_option("--thickness", settings.thickness, "specimen thickness, A")->capture_default_str();
  auto* semi_opt = app.add_option("--semi-angle", semi_angle,
                                  "convergence semi-angle, mrad: the field reaches it 256 pixels "
                                  "from the centre (default 10)");
  auto* camera_opt = app.add_option("--camera-length", camera_length,
                                    "camera length (with --pixel-pitch, same unit)");
  auto* pitch_opt = app.add_option("--pixel-pitch", pixel_pitch,
                                   "detector pixel pitch (with --camera-length, same unit)");
  camera_opt->needs(pitch_opt);
  pitch_opt->needs(camera_opt);
  semi_opt->excludes(camera_opt);
  semi_opt->excludes(pitch_opt);
  app.add_option("--model", settings.form_factor_model,
                 "form factors: 0 X-ray coefficients with a global B, 1 absorptive electron form "
                 "factors with u per site")
      ->check(CLI::Range(0, 1))
      ->capture_default_str();
  app.add_option("--global-b", global_b,
                 "global Debye-Waller B, A^2, for model 0 (default: 8 pi^2 "
                 "times the mean U of the cell)");
  app.add_option("--index-limit", settings.index_limit, "largest |h|, |k|, |l| searched")
      ->capture_default_str();
  app.add_option("--strength-fraction", settings.strength_fraction,
                 "keep reflections with |F|^2 above this fraction of the strongest")
      ->capture_default_str();
  app.add_option("--max-beams", settings.max_beams, "largest number of beams kept")
      ->capture_default_str();
  app.add_option("--image-folder", settings.image_folder, "folder of the experimental image")
      ->capture_default_str();
  app.add_option(
         "--image-name", settings.image_name,
         "experimental image in that folder: a 512 x 512 BMP, PNG or TIFF file (default \"-\": "
         "none, the pattern is simulated alone)")
      ->capture_default_str();
  app.add_option("--image-bits", settings.image_bits, "bits per pixel of the simulated image")
      ->check(CLI::IsMember({8, 24}))
      ->capture_default_str();
  app.set_version_flag("--version", common::program_version("velmorant_input"));
  app.allow_extras();
  if (const int status = programs::parse_command_line(app, argc, argv, "velmorant_input");
      status >= 0)
    return status;

  try {
    check_option_values(kv, wavelength, settings.thickness, semi_angle, camera_length, pixel_pitch);
    CifInputOptions options;
    options.block = block;
    options.kv = kv;
    options.wavelength = wavelength;
    options.zone = zone;
    options.reference = reference;
    options.euler = euler;
    options.semi_angle = semi_angle;
    options.camera_length = camera_length;
    options.pixel_pitch = pixel_pitch;
    options.global_b = global_b;
    options.settings = settings;
    const CifInput made = cif_input(cif_path, options);
    const CrystalStructure& crystal = made.crystal;
    const std::string& text = made.text;

    // The written file must read back and pass the program's own checks.
    auto check = std::make_unique<SimulationInput>();
    InputLines lines;
    std::istringstream back(text);
    parse_simulation_input(back, output, *check, &lines);
    check_plausible_values(*check, lines, output);

    if (fs::exists(output) && !force)
      throw common::InputError(output + " exists; give --force to replace it", {output});
    write_whole(output, text);

    std::cout << "velmorant_input: wrote " << output << "\n"
              << "  crystal " << crystal.name << ", " << crystal.space_group << ", "
              << crystal.asymmetric_sites << " listed sites ->";
    for (const auto& s : crystal.species) std::cout << " " << s.sites.size() << " " << s.symbol;
    std::cout << " in the cell\n"
              << "  wavelength " << float_text(check->wavelength) << " A, Euler angles "
              << float_text(check->euler_angles[0]) << " " << float_text(check->euler_angles[1])
              << " " << float_text(check->euler_angles[2]) << " deg, pixel scale "
              << float_text(check->pixel_pitch / check->camera_length) << " (semi-angle "
              << semi_angle_from_pixel_scale(static_cast<double>(check->pixel_pitch) /
                                             check->camera_length)
              << " mrad)\n";
    return 0;
  } catch (const SettingsError& e) {
    const std::string option = option_of(e.parameter());
    std::cerr << "velmorant_input: " << (option.empty() ? "" : option + ": ") << e.what() << "\n";
    return 1;
  } catch (const std::exception& e) {  // common::FileError, CifError, InputError of the reader
    std::cerr << "velmorant_input: " << e.what() << "\n";
    return 1;
  }
}
