// Writer of "VelmorantDS.dat" in the layout of the annotated template.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/input_writer/input_file_text.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <sstream>
#include <stdexcept>

#include "simulator/input_writer/writer_errors.hpp"

namespace velmorant::crystal_file {

namespace {

constexpr const char* kRule =
    "----------------------------------------------------------------------------------------";

// `parameter` and `what` name the setting in an error (writer_errors.hpp).
std::string quoted(const std::string& text, const char* parameter, const char* what) {
  if (text.find_first_of("\r\n") != std::string::npos)
    throw SettingsError(parameter, std::string(what) + " holds a line end");
  std::string q = "'";
  for (char c : text) {
    if (c == '\'') q += '\'';  // a doubled apostrophe stands for one
    q += c;
  }
  return q + "'";
}

}  // namespace

std::string input_file_text(const SimulationInput& in, const InputFileNotes& notes) {
  if (in.species_count > kMaxSpecies) throw std::invalid_argument("more than 16 atom species");
  std::ostringstream f;
  auto reals = [](std::initializer_list<float> values) {
    std::string s;
    for (float v : values) s += "  " + float_text(v);
    return s;
  };
  f << "VelmorantDS.dat -- simulation input of Velmorant: " << notes.title << "\n";
  std::vector<std::string> heading = {
      "Positional file: each value line follows a fixed number of caption lines, skipped unread.",
      "Do not add or remove lines. Values on a line are separated by blanks or commas.",
      "Text after the last value of a line is ignored; captions may hold any text."};
  for (size_t i = 0; i < notes.comment_lines.size() && i < heading.size(); ++i)
    heading[heading.size() - 1 - i] = notes.comment_lines[notes.comment_lines.size() - 1 - i];
  for (const auto& line : heading) {
    if (line.find_first_of("\r\n") != std::string::npos)
      throw std::invalid_argument("a caption holds a line end");
    f << line << "\n";
  }
  f << "CELL BASIS: three rows a, b, c (Cartesian components in Angstrom, one basis vector per "
       "line)\n";
  for (int r = 1; r <= 3; ++r)
    f << reals({in.cell_basis(r, 1), in.cell_basis(r, 2), in.cell_basis(r, 3)}) << "\n";
  f << "FORM FACTOR MODEL: 0 = X-ray coefficients (f0_WaasKirf.dat) + Mott-Bethe, global B below;\n"
       "                   1 = Weickenmeier-Kohl electron form factors with absorption, u per "
       "site\n";
  f << "  " << in.form_factor_model << "\n";
  f << "NUMBER OF ATOM SPECIES (1..16); then one block per species:\n"
       "  caption, atomic number Z, 2 captions, number of sites m (0..128), 2 captions, m site "
       "lines\n";
  f << "  " << in.species_count << "\n";
  f << kRule << "\n";
  for (int s = 0; s < in.species_count; ++s) {
    const int m = in.site_count[s];
    if (m < 0 || m > kMaxSites) throw std::invalid_argument("more than 128 sites in a species");
    const std::string name =
        static_cast<size_t>(s) < notes.species_names.size() ? notes.species_names[s] : "";
    f << "SPECIES " << s + 1 << (name.empty() ? "" : ", " + name) << ", " << m
      << (m == 1 ? " site" : " sites") << ": atomic number Z\n";
    f << "  " << in.atomic_number[s] << "\n";
    f << "  number of sites of this species in the cell (0..128)\n"
         "  (each site line: x y z in fractions of a, b, c; occupancy; r.m.s. displacement u in "
         "A)\n";
    f << "  " << m << "\n";
    f << "  site lines follow:    x        y        z     occupancy   u (A, used by model 1)\n"
         "  ---------------------------------------------------------------------------------\n";
    for (int j = 0; j < m; ++j) {
      const Vec3f& x = in.site_position[s][j];
      char buf[160];
      std::snprintf(buf, sizeof buf, "  %12s %12s %12s %9s %9s", float_text(x[0]).c_str(),
                    float_text(x[1]).c_str(), float_text(x[2]).c_str(),
                    float_text(in.site_occupancy[s][j]).c_str(),
                    float_text(in.site_debye_waller[s][j]).c_str());
      f << buf << "\n";
    }
  }
  f << kRule << "\n"
    << "GLOBAL DEBYE-WALLER FACTOR B (Angstrom^2), multiplies the whole structure factor by\n"
       "exp(-B s^2), s = sin(theta)/lambda; used only with model 0 (model 1 uses u per site)\n"
       "\n"
       "B:\n";
  f << "  " << float_text(in.global_debye_waller) << "\n";
  f << kRule << "\n"
    << "REFLECTION SEARCH. The program ranks every reflection h k l with |h|,|k|,|l| <= limit by\n"
       "its squared structure factor |F|^2, keeps those above a fraction of the strongest that "
       "can\n"
       "come near the Ewald sphere in the field of the pattern, strongest first, and caps their\n"
       "number. Run time grows with the third power of that number (one matrix exponential of\n"
       "order N+1 per pixel): keep it to a few tens for a run of minutes. The band filter then\n"
       "keeps only reflections that come within a narrow band of the Ewald sphere for some\n"
       "direction of the field. Set VELMORANT_DIAGNOSTICS=1 to see the beams that were kept\n"
       "(h k l, laboratory vector, |F|^2) on standard error.\n"
       "\n"
       "INDEX LIMIT (largest |h|, |k|, |l|; values below 1 are taken as 1):\n";
  f << "  " << in.index_limit << "\n";
  f << "STRENGTH FRACTION (accept |F|^2 >= fraction x strongest |F|^2; 0 or less: no "
       "threshold)\n\n";
  f << "  " << float_text(in.strength_fraction) << "\n";
  f << "MAXIMUM NUMBER OF BEAMS kept (at least 1; the transmitted beam comes on top; 0: the\n"
       "transmitted beam alone)\n";
  f << "  " << in.max_beams << "\n";
  f << "SPECIMEN THICKNESS (Angstrom, measured along the surface normal below)\n\n";
  f << "  " << float_text(in.thickness) << "\n";
  f << "DETECTOR PIXEL PITCH (same length unit as the camera length; pixel scale = pitch / camera\n"
       "length = tangent of the angle between neighbouring pixels of the 512 x 512 pattern)\n";
  f << "  " << float_text(in.pixel_pitch) << "\n";
  f << kRule << "\n"
    << "EXPERIMENTAL IMAGE. The simulated pattern is written beside it as DS_<name> and the two "
       "are\n"
       "compared; the correlation coefficient goes to VelmorantDS.res.\n"
       "Folder of the experimental image, without a final separator ('.' = the working\n"
       "directory). Quote a folder or name that contains blanks: 'my images'.\n"
       "\n"
       "FOLDER:\n";
  f << "  " << quoted(in.image_directory, "image_folder", "the image folder") << "\n";
  f << "FILE NAME of the experimental image: a 512 x 512 BMP, PNG or TIFF file, or - for none\n"
       "(the simulated image is written into the same folder, named DS_ + this name)\n"
       "\n\n\n"
       "NAME:\n";
  f << "  " << quoted(in.image_name, "image_name", "the image name") << "\n";
  f << kRule << "\n"
    << "ELECTRON WAVELENGTH (Angstrom; 0.02508 A is 200 kV, 0.03701 A is 100 kV)\n";
  f << "  " << float_text(in.wavelength) << "\n";
  f << "CAMERA LENGTH (same unit as the pixel pitch; must not be 0)\n\n";
  f << "  " << float_text(in.camera_length) << "\n";
  f << "CRYSTAL ORIENTATION: Euler angles phi1 Phi phi2 in degrees (Bunge convention, rotations\n"
       "about z, x', z''); the beam runs along the sample z axis.\n";
  f << reals({in.euler_angles[0], in.euler_angles[1], in.euler_angles[2]}) << "\n";
  f << "SPECIMEN SURFACE NORMAL (three components; only the third is used: the path through the\n"
       "crystal is thickness / third component; must not be 0)\n";
  f << reals({in.surface_normal[0], in.surface_normal[1], in.surface_normal[2]}) << "\n";
  f << "BITS PER PIXEL of the written simulated image: 8 (grey palette) or 24\n\n";
  f << "  " << in.image_bits << "\n";
  return f.str();
}

}  // namespace velmorant::crystal_file
