// velmorant_input: writes a complete, commented "VelmorantDS.dat" from a CIF
// file and the microscope settings (kV, zone axis, thickness, field).
#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>

#include "crystal_file/cif_crystal.hpp"
#include "crystal_file/crystal_input.hpp"
#include "crystal_file/input_file_text.hpp"
#include "crystal_file/microscope_geometry.hpp"
#include "input/read_simulation_input.hpp"

namespace fs = std::filesystem;
using namespace velmorant;
using namespace velmorant::crystal_file;

namespace {

// [u v w] or the hexagonal [u v t w].
Vec3d direction_of(const std::vector<double>& v, const char* option) {
  if (v.size() == 3) return {v[0], v[1], v[2]};
  if (v.size() == 4) {
    if (std::fabs(v[0] + v[1] + v[2]) > 1e-9)
      throw std::invalid_argument(std::string(option) + ": the third of four indices must be -(u + v)");
    return three_index_direction(v[0], v[1], v[2], v[3]);
  }
  throw std::invalid_argument(std::string(option) + " takes 3 indices [u v w] or 4 [u v t w]");
}

std::string join(const std::vector<double>& v) {
  std::string s;
  for (double x : v) {
    std::ostringstream t;
    t << x;
    s += (s.empty() ? "" : " ") + t.str();
  }
  return s;
}

// Replaces `path` as a whole: a temporary file beside it, renamed over it.
void write_whole(const fs::path& path, const std::string& text) {
  const fs::path temporary = path.string() + ".tmp";
  {
    std::ofstream f(temporary, std::ios::binary | std::ios::trunc);
    f << text;
    f.flush();
    if (!f) {
      std::error_code ec;
      fs::remove(temporary, ec);
      throw std::runtime_error(path.string() + ": cannot be written");
    }
  }
  std::error_code ec;
  fs::rename(temporary, path, ec);
  if (ec) {
    fs::remove(temporary, ec);
    throw std::runtime_error(path.string() + ": cannot be written");
  }
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Writes a complete, commented VelmorantDS.dat from a CIF file: the cell, the space group and\n"
      "the atom sites of the file, expanded to the whole unit cell, and the microscope settings\n"
      "given here. Then run Velmorant in the folder of the written file.",
      "velmorant_input"};
  std::string cif_path, output = kInputFileName, block;
  bool force = false;
  std::optional<double> kv, wavelength, semi_angle, camera_length, pixel_pitch, global_b;
  std::vector<double> zone, euler, reference;
  MicroscopeSettings settings;
  app.add_option("cif", cif_path, "crystal structure (CIF)")->required()->check(CLI::ExistingFile);
  app.add_option("-o,--output", output, "file to write")->capture_default_str();
  app.add_flag("-f,--force", force, "replace an existing output file");
  app.add_option("--block", block, "CIF data block (default: the first with atom sites)");
  auto* kv_opt = app.add_option("--kv", kv, "accelerating voltage, kV (default 200)");
  auto* wl_opt = app.add_option("--wavelength", wavelength, "electron wavelength, A (instead of --kv)");
  kv_opt->excludes(wl_opt);
  auto* zone_opt = app.add_option("--zone", zone, "zone axis along the beam: u v w, or u v t w "
                                                  "(hexagonal); default 0 0 1")
                       ->expected(3, 4)->allow_extra_args(false);
  auto* ref_opt = app.add_option("--reference", reference,
                                 "direction u v w (or u v t w) whose part perpendicular to the beam "
                                 "points along the pattern's x axis; default: the axis a, b or c "
                                 "most nearly perpendicular to the zone axis")
                      ->expected(3, 4)->allow_extra_args(false);
  auto* euler_opt = app.add_option("--euler", euler, "Bunge angles phi1 Phi phi2, degrees "
                                                     "(instead of --zone)")
                        ->expected(3)->allow_extra_args(false);
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
      ->check(CLI::Range(0, 1))->capture_default_str();
  app.add_option("--global-b", global_b, "global Debye-Waller B, A^2, for model 0 (default: 8 pi^2 "
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
  app.add_option("--image-name", settings.image_name, "experimental BMP image in that folder")
      ->capture_default_str();
  app.add_option("--image-bits", settings.image_bits, "bits per pixel of the simulated image")
      ->check(CLI::IsMember({8, 24}))->capture_default_str();
  CLI11_PARSE(app, argc, argv);

  try {
    const CrystalStructure crystal = read_cif_crystal(cif_path, block);
    const CellRows cell = crystal_cell_rows(crystal);
    settings.wavelength = wavelength ? *wavelength : electron_wavelength(kv ? *kv : 200.0);
    std::string orientation;
    if (!euler.empty()) {
      settings.euler = {euler[0], euler[1], euler[2]};
      orientation = "Euler angles " + join(euler) + " deg";
    } else {
      const std::vector<double> z = zone.empty() ? std::vector<double>{0, 0, 1} : zone;
      const Vec3d zone_uvw = direction_of(z, "--zone");
      std::optional<Vec3d> ref;
      if (!reference.empty()) ref = direction_of(reference, "--reference");
      settings.euler = euler_from_zone_axis(cell, zone_uvw, ref);
      orientation = "zone axis [" + join(z) + "]";
    }
    if (camera_length) {
      settings.camera_length = *camera_length;
      settings.pixel_pitch = *pixel_pitch;
    } else {
      settings.camera_length = 1.0;
      settings.pixel_pitch = pixel_scale_from_semi_angle(semi_angle ? *semi_angle : 10.0);
    }
    settings.global_b = global_b;

    auto in = std::make_unique<SimulationInput>();
    fill_simulation_input(crystal, settings, *in);
    InputFileNotes notes;
    {
      std::ostringstream t;
      t << crystal.name << " (" << crystal.space_group << ") from " << fs::path(cif_path).filename().string()
        << ", " << orientation << ", " << float_text(in->wavelength) << " A, "
        << float_text(in->thickness) << " A thick";
      notes.title = t.str();
    }
    for (const auto& s : crystal.species) notes.species_names.push_back(species_caption(s));
    notes.comment_lines = {"Written by velmorant_input from " + fs::path(cif_path).filename().string() +
                           "; every value line is preceded by a fixed number of caption lines."};
    const std::string text = input_file_text(*in, notes);

    // The written file must read back and pass the program's own checks.
    auto check = std::make_unique<SimulationInput>();
    InputLines lines;
    std::istringstream back(text);
    parse_simulation_input(back, output, *check, &lines);
    check_plausible_values(*check, lines, output);

    if (fs::exists(output) && !force)
      throw std::runtime_error(output + " exists; give --force to replace it");
    write_whole(output, text);

    std::cout << "velmorant_input: wrote " << output << "\n"
              << "  crystal " << crystal.name << ", " << crystal.space_group << ", "
              << crystal.asymmetric_sites << " listed sites ->";
    for (const auto& s : crystal.species) std::cout << " " << s.sites.size() << " " << s.symbol;
    std::cout << " in the cell\n"
              << "  wavelength " << float_text(in->wavelength) << " A, Euler angles "
              << float_text(in->euler_angles[0]) << " " << float_text(in->euler_angles[1]) << " "
              << float_text(in->euler_angles[2]) << " deg, pixel scale "
              << float_text(in->pixel_pitch / in->camera_length) << " (semi-angle "
              << semi_angle_from_pixel_scale(static_cast<double>(in->pixel_pitch) / in->camera_length)
              << " mrad)\n";
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "velmorant_input: " << e.what() << "\n";
    return 1;
  }
}
