// Reader of "VelmorantDS.dat": positional free-form reading,
// checks that keep the record from being overrun, and the derivations.
#include "input/read_simulation_input.hpp"

#include <cmath>
#include <fstream>
#include <string>

#include "beams/select_beams.hpp"
#include "common/free_form_reader.hpp"
#include "common/physical_constants.hpp"
#include "crystal/matrix3.hpp"
#include "scattering/weickenmeier_kohl_table.hpp"
#include "scattering/xray_coefficients.hpp"

namespace velmorant {

namespace fs = std::filesystem;

namespace {

using common::kPi;
using common::kTwoPi;
constexpr float kSingularTolerance = common::kFloatEpsilon;  // 2^-23

// Positional reading with messages that name the file, the line and the
// value expected there.
class InputParser {
public:
  InputParser(std::istream& text, std::string source) : reader_(text), source_(std::move(source)) {}

  // Consumes n caption lines; `next` names the value that follows them.
  void skip(int n, const std::string& next) {
    const common::ReadResult r = reader_.skip_lines(n);
    if (!r)
      fail(r.line, "the file ends here; expected " + std::to_string(n) +
                       (n == 1 ? " caption line" : " caption lines") + " before " + next);
  }

  // One free-form read; returns the line where it ended.
  template <typename... T>
  int read(const std::string& what, T&... items) {
    const common::ReadResult r = reader_.read(items...);
    if (!r) {
      if (r.status == common::ReadStatus::end_of_file)
        fail(r.line, "the file ends here; expected " + what);
      fail(r.line, "\"" + r.item + "\" is not " + r.expected + "; expected " + what);
    }
    return r.line;
  }

  [[noreturn]] void fail(int line, const std::string& message) const {
    throw InputError(source_ + ", line " + std::to_string(line) + ": " + message);
  }

private:
  common::FreeFormReader reader_;
  std::string source_;
};

std::string text_field(std::string text) {
  if (text.size() > static_cast<size_t>(kTextLength)) text.resize(kTextLength);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

}  // namespace

void parse_simulation_input(std::istream& stream, const std::string& source, SimulationInput& in,
                            InputValueLines* lines) {
  InputValueLines found;
  in = SimulationInput{};
  InputParser p(stream, source);

  p.skip(5, "the cell basis");
  const char* row_names[3] = {"row 1 of the cell basis: a_x a_y a_z (three reals, Å)",
                              "row 2 of the cell basis: b_x b_y b_z (three reals, Å)",
                              "row 3 of the cell basis: c_x c_y c_z (three reals, Å)"};
  for (int r = 1; r <= 3; ++r) {
    float x = 0, y = 0, z = 0;
    p.read(row_names[r - 1], x, y, z);
    in.cell_basis(r, 1) = x;
    in.cell_basis(r, 2) = y;
    in.cell_basis(r, 3) = z;
  }
  p.skip(2, "form_factor_model");
  p.read("form_factor_model (an integer: 0 X-ray coefficients, 1 absorptive electron form factors)",
         in.form_factor_model);
  p.skip(2, "species_count");
  const int count_line =
      p.read("species_count (an integer, the number of atom species, 1..16)", in.species_count);
  if (in.species_count > kMaxSpecies)
    p.fail(count_line, "species_count is " + std::to_string(in.species_count) +
                           "; expected at most " + std::to_string(kMaxSpecies) + " atom species");
  p.skip(1, "the first species block");

  for (int s = 0; s < in.species_count; ++s) {
    const std::string sp = "species " + std::to_string(s + 1);
    p.skip(1, "the atomic number of " + sp);
    const int z_line = p.read("the atomic number Z of " + sp + " (an integer)", in.atomic_number[s]);
    if (in.form_factor_model != 0 && in.atomic_number[s] > wk::kMaxAtomicNumber)
      p.fail(z_line, "the atomic number of " + sp + " is " + std::to_string(in.atomic_number[s]) +
                         "; expected 1..98 with form_factor_model " +
                         std::to_string(in.form_factor_model) +
                         " (the Weickenmeier-Kohl table ends at Z = 98, Cf)");
    p.skip(2, "the site count of " + sp);
    const int m_line =
        p.read("the number of sites of " + sp + " (an integer 0..128)", in.site_count[s]);
    if (in.site_count[s] < 0 || in.site_count[s] > kMaxSites)
      p.fail(m_line, "the number of sites of " + sp + " is " + std::to_string(in.site_count[s]) +
                         "; expected 0.." + std::to_string(kMaxSites));
    p.skip(2, "the sites of " + sp);
    for (int j = 0; j < in.site_count[s]; ++j) {
      Vec3f& x = in.site_position[s][j];
      p.read("site " + std::to_string(j + 1) + " of " + sp +
                 ": x y z occupancy u (five reals: fractional coordinates, occupancy, "
                 "r.m.s. displacement in Å)",
             x[0], x[1], x[2], in.site_occupancy[s][j], in.site_debye_waller[s][j]);
    }
  }

  p.skip(5, "global_debye_waller");
  p.read("global_debye_waller (a real, B in Å²)", in.global_debye_waller);
  p.skip(11, "index_limit");
  p.read("index_limit (an integer, largest |h|, |k|, |l| searched)", in.index_limit);
  p.skip(2, "strength_fraction");
  p.read("strength_fraction (a real, fraction of the strongest |F|²)", in.strength_fraction);
  p.skip(2, "max_beams");
  p.read("max_beams (an integer, the largest number of beams kept)", in.max_beams);
  p.skip(2, "thickness");
  found.thickness = p.read("thickness (a real, Å)", in.thickness);
  p.skip(2, "pixel_pitch");
  p.read("pixel_pitch (a real, numerator of the pixel scale)", in.pixel_pitch);
  p.skip(7, "image_directory");
  std::string text;
  found.image_directory =
      p.read("image_directory (a text, the folder of the experimental image; quote it if it has blanks)", text);
  in.image_directory = text_field(text);
  p.skip(4, "image_name");
  p.skip(2, "image_name");
  text.clear();
  p.read("image_name (a text, the experimental BMP file name; quote it if it has blanks)", text);
  in.image_name = text_field(text);
  p.skip(2, "wavelength");
  found.wavelength = p.read("wavelength (a real, electron wavelength in Å)", in.wavelength);
  p.skip(2, "camera_length");
  const int camera_line = p.read("camera_length (a real, denominator of the pixel scale)",
                                 in.camera_length);
  if (in.camera_length == 0.0f)
    p.fail(camera_line, "camera_length is 0; expected a non-zero real (the pixel scale is "
                        "pixel_pitch / camera_length)");
  p.skip(2, "the Euler angles");
  found.euler_angles = p.read("the Euler angles phi1 Phi phi2 (three reals, degrees)", in.euler_angles[0],
         in.euler_angles[1], in.euler_angles[2]);
  p.skip(2, "surface_normal");
  const int normal_line = p.read("surface_normal (three reals)", in.surface_normal[0],
                                 in.surface_normal[1], in.surface_normal[2]);
  if (in.surface_normal[2] == 0.0f)
    p.fail(normal_line, "the third component of surface_normal is 0; expected a non-zero real "
                        "(the effective thickness is thickness / surface_normal(3))");
  p.skip(2, "image_bits");
  p.read("image_bits (an integer, 8 or 24)", in.image_bits);
  if (lines) *lines = found;
}

void derive_simulation_input(SimulationInput& in, const fs::path& xray_dir) {
  // 1-2. Euler angles in radians, orientation matrix.
  for (float& a : in.euler_angles) a = a * kPi / 180.0f;
  in.orientation_matrix = bunge_matrix(in.euler_angles[0], in.euler_angles[1], in.euler_angles[2]);
  // 3. Pixel scale.
  in.pixel_scale = in.pixel_pitch / in.camera_length;
  // 4. Reciprocal basis; a singular basis stops the program without a message.
  if (invert3(in.cell_basis, kSingularTolerance, in.reciprocal_basis)) throw SingularBasis();
  // 5. Reciprocal metric.
  const Mat3& r = in.reciprocal_basis;
  for (int row = 1; row <= 3; ++row)
    for (int col = 1; col <= 3; ++col)
      in.reciprocal_metric(row, col) = r(1, row) * r(1, col) + r(2, row) * r(2, col) +
                                       r(3, row) * r(3, col);
  // 6. Search limit from the low 16 bits of index_limit, sign-extended.
  const auto low16 = static_cast<std::int16_t>(static_cast<std::uint32_t>(in.index_limit) & 0xFFFFu);
  in.hkl_limit = low16 < 1 ? 1 : low16;
  // 7. Phase positions, all 16 x 128 entries.
  for (int s = 0; s < kMaxSpecies; ++s)
    for (int j = 0; j < kMaxSites; ++j)
      for (int c = 0; c < 3; ++c) in.phase_position[s][j][c] = kTwoPi * in.site_position[s][j][c];
  // 8. Thickness along the beam.
  in.effective_thickness = in.thickness / in.surface_normal[2];
  // 9. Cell volume.
  const float volume = std::fabs(determinant3(in.cell_basis));
  in.cell_volume = volume;
  // 10. X-ray coefficients and potential factor.
  if (in.form_factor_model == 0) {
    if (in.species_count > 0) {
      const fs::path file = find_xray_coefficient_file(xray_dir);
      for (int s = 0; s < in.species_count; ++s)
        read_xray_coefficients(file, in.atomic_number[s], in.table_atomic_number[s],
                               in.xray_coefficients[s]);
    }
  }
  in.potential_factor = potential_factor(in);
}

float potential_factor(const SimulationInput& in) {
  const float volume = in.cell_volume;
  if (in.form_factor_model == 0)
    return std::sqrt(0.00058869814f / (in.wavelength * in.wavelength) + 1.0f) / (volume * kPi);
  return 1.0f / (volume * kPi);
}

void read_simulation_input(const fs::path& dir, SimulationInput& in, BeamList& beams) {
  const fs::path file = dir / kInputFileName;
  {
    std::ifstream text(file);
    if (!text)
      throw InputError(file.string() +
                       ": cannot open the simulation input file; expected VelmorantDS.dat in the "
                       "working directory");
    parse_simulation_input(text, file.string(), in);
  }  // closed after the last value
  derive_simulation_input(in, dir);
  // 11. Reflection list and geometric beam filter.
  select_beams(in, beams);
}

}  // namespace velmorant
