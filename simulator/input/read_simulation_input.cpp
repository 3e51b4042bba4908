// Reader of "VelmorantDS.dat": positional free-form reading,
// checks that keep the record from being overrun, and the derivations.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/input/read_simulation_input.hpp"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <type_traits>
#include <vector>

#include "simulator/beams/select_beams.hpp"
#include "common/file_error.hpp"
#include "common/free_form_reader.hpp"
#include "common/physical_constants.hpp"
#include "simulator/geometry/matrix3.hpp"
#include "simulator/scattering/weickenmeier_kohl_table.hpp"
#include "simulator/scattering/xray_coefficients.hpp"
#include "common/angles.hpp"

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
    const int before = reader_.lines_consumed();
    const common::ReadResult r = reader_.read(items...);
    if (!r) {
      if (r.status == common::ReadStatus::end_of_file)
        fail(r.line, "the file ends here; expected " + what);
      fail(r.line, "\"" + r.item + "\" is not " + r.expected + "; expected " + what);
    }
    constexpr bool numbers_only = (!std::is_same_v<T, std::string> && ...);
    if constexpr (numbers_only)
      if (r.line == before + 1) check_split_number(r.line, static_cast<int>(sizeof...(T)), what);
    return r.line;
  }

  [[noreturn]] void fail(int line, const std::string& message) const {
    throw InputError(source_ + ", line " + std::to_string(line) + ": " + message, {source_, line});
  }

private:
  // A comma inside a number ("1,500.0", "0,025") splits it into two values:
  // the first is taken and the rest of the line would be ignored, or every
  // later value of the line shifts. When the line holds more numbers than the
  // read takes and two of the numbers it takes or the first one left over are
  // joined by a bare comma, the line is refused.
  void check_split_number(int line, int needed, const std::string& what) {
    std::string raw;
    reader_.backspace();
    reader_.read_line(raw);
    struct Token {
      std::string text;
      bool comma_joined_to_next = false;
    };
    std::vector<Token> tokens;
    size_t pos = 0;
    while (pos < raw.size()) {
      while (pos < raw.size() && (raw[pos] == ' ' || raw[pos] == '\t' || raw[pos] == ',')) ++pos;
      if (pos >= raw.size()) break;
      Token t;
      while (pos < raw.size() && raw[pos] != ' ' && raw[pos] != '\t' && raw[pos] != ',')
        t.text += raw[pos++];
      t.comma_joined_to_next = pos + 1 < raw.size() && raw[pos] == ',' && raw[pos + 1] != ' ' &&
                               raw[pos + 1] != '\t' && raw[pos + 1] != ',';
      tokens.push_back(std::move(t));
    }
    if (static_cast<int>(tokens.size()) <= needed || !is_number(tokens[needed].text)) return;
    for (int i = 0; i < needed; ++i) {
      if (!tokens[i].comma_joined_to_next || !is_number(tokens[i + 1].text)) continue;
      const std::string& left = tokens[i].text;
      const std::string& right = tokens[i + 1].text;
      const bool thousands =
          !left.empty() && left.find_first_not_of("0123456789") == std::string::npos &&
          left[0] != '0' && right.size() >= 3 && right.find_first_not_of("0123456789") >= 3 &&
          (right.size() == 3 || right[3] == '.' || right[3] == 'e' || right[3] == 'E');
      fail(line, "\"" + left + "," + right +
                     "\" holds a comma, which separates values: it reads as " + left + " and " +
                     right + ", and the line then holds more numbers than the " +
                     std::to_string(needed) + (needed == 1 ? " value" : " values") +
                     " read here; write numbers without " +
                     (thousands ? "a thousands separator (" + left + right + ")"
                                : "a decimal comma (" + left + "." + right + ")") +
                     "; expected " + what);
    }
  }

  static bool is_number(const std::string& text) {
    float v = 0;
    return common::parse_real(text, v);
  }

public:
private:
  common::FreeFormReader reader_;
  std::string source_;
};

// Both models know the elements up to Z = 98 (Cf): the X-ray coefficient
// file holds one block per element from hydrogen, the Weickenmeier-Kohl table
// has no parameters for hydrogen. A value outside the model's range would
// otherwise turn into another element (Z = 0 reads the hydrogen block), stop
// in the coefficient file, or stop with a form-factor message that names no
// line.
void check_atomic_number(const InputParser& p, int line, const std::string& species, std::int32_t z,
                         std::int32_t model) {
  const int lowest = model == 0 ? 1 : 2;
  if (z >= lowest && z <= wk::kMaxAtomicNumber) return;
  std::string why;
  if (model == 0)
    why = "the X-ray coefficient file holds the elements H (Z = 1) to Cf (Z = 98)";
  else if (z == 1)
    why =
        "the Weickenmeier-Kohl form factors have no parameters for hydrogen (leave hydrogen out, "
        "or use form_factor_model 0)";
  else
    why = "the Weickenmeier-Kohl form factors cover He (Z = 2) to Cf (Z = 98)";
  std::string cause;
  if (z <= 0)
    cause = "; is this line the atomic number, or has a line been added or removed above it?";
  else if (z > wk::kMaxAtomicNumber)
    cause = "; is this line the atomic number, or a site count or other value shifted onto it?";
  p.fail(line, "the atomic number of " + species + " is " + std::to_string(z) + "; expected " +
                   std::to_string(lowest) + "..98 with form_factor_model " + std::to_string(model) +
                   ": " + why + cause);
}

std::string text_field(std::string text) {
  if (text.size() > static_cast<size_t>(kTextLength)) text.resize(kTextLength);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

}  // namespace

void parse_simulation_input(std::istream& stream, const std::string& source, SimulationInput& in,
                            InputLines* lines) {
  in = SimulationInput{};
  InputLines found;
  InputParser p(stream, source);

  p.skip(5, "the cell basis");
  const char* row_names[3] = {"row 1 of the cell basis: a_x a_y a_z (three reals, Å)",
                              "row 2 of the cell basis: b_x b_y b_z (three reals, Å)",
                              "row 3 of the cell basis: c_x c_y c_z (three reals, Å)"};
  for (int r = 1; r <= 3; ++r) {
    float x = 0, y = 0, z = 0;
    found.cell_row[r - 1] = p.read(row_names[r - 1], x, y, z);
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
    const int z_line =
        p.read("the atomic number Z of " + sp + " (an integer)", in.atomic_number[s]);
    check_atomic_number(p, z_line, sp, in.atomic_number[s], in.form_factor_model);
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
  const int limit_line =
      p.read("index_limit (an integer, largest |h|, |k|, |l| searched)", in.index_limit);
  found.index_limit = limit_line;
  p.skip(2, "strength_fraction");
  p.read("strength_fraction (a real, fraction of the strongest |F|²)", in.strength_fraction);
  p.skip(2, "max_beams");
  p.read("max_beams (an integer, the largest number of beams kept)", in.max_beams);
  p.skip(2, "thickness");
  found.thickness = p.read("thickness (a real, Å)", in.thickness);
  p.skip(2, "pixel_pitch");
  found.pixel_pitch = p.read("pixel_pitch (a real, numerator of the pixel scale)", in.pixel_pitch);
  p.skip(7, "image_directory");
  std::string text;
  found.image_directory = p.read(
      "image_directory (a text, the folder of the experimental image; quote it if it has blanks)",
      text);
  in.image_directory = text_field(text);
  p.skip(4, "image_name");
  p.skip(2, "image_name");
  text.clear();
  p.read("image_name (a text, the experimental BMP file name; quote it if it has blanks)", text);
  in.image_name = text_field(text);
  p.skip(2, "wavelength");
  found.wavelength = p.read("wavelength (a real, electron wavelength in Å)", in.wavelength);
  p.skip(2, "camera_length");
  const int camera_line =
      p.read("camera_length (a real, denominator of the pixel scale)", in.camera_length);
  if (in.camera_length == 0.0f)
    p.fail(camera_line,
           "camera_length is 0; expected a non-zero real (the pixel scale is "
           "pixel_pitch / camera_length)");
  p.skip(2, "the Euler angles");
  found.euler_angles = p.read("the Euler angles phi1 Phi phi2 (three reals, degrees)",
                              in.euler_angles[0], in.euler_angles[1], in.euler_angles[2]);
  in.euler_degrees = in.euler_angles;
  p.skip(2, "surface_normal");
  const int normal_line = p.read("surface_normal (three reals)", in.surface_normal[0],
                                 in.surface_normal[1], in.surface_normal[2]);
  if (in.surface_normal[2] == 0.0f)
    p.fail(normal_line,
           "the third component of surface_normal is 0; expected a non-zero real "
           "(the effective thickness is thickness / surface_normal(3))");
  p.skip(2, "image_bits");
  p.read("image_bits (an integer, 8 or 24)", in.image_bits);
  found.camera_length = camera_line;
  if (lines) *lines = found;
}

namespace {
std::string number_text(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6g", v);
  return std::string(buf);
}
}  // namespace

std::string wavelength_problem(float wavelength) {
  // Electron wavelengths from about 15 kV to about 12 MV lie inside this range.
  // Compared as floats, so that "0.1" as written is inside the range.
  if (wavelength >= static_cast<float>(kMinWavelength) &&
      wavelength <= static_cast<float>(kMaxWavelength))
    return "";
  return "the wavelength is " + number_text(wavelength) + " Å; expected " +
         number_text(kMinWavelength) + " to " + number_text(kMaxWavelength) +
         " Å (0.02508 Å is 200 kV, 0.03701 Å is 100 kV): did you give kV? The wavelength "
         "for E kV is 12.398419 / sqrt(E (E + 1021.998)) Å";
}

std::string thickness_problem(float thickness) {
  if (thickness > 0.0f && std::isfinite(thickness)) return "";
  return "the thickness is " + number_text(thickness) + " Å; expected a positive thickness in Å";
}

void check_plausible_values(const SimulationInput& in, const InputLines& lines,
                            const std::string& source) {
  auto fail = [&](int line, const std::string& message) {
    throw InputError(source + ", line " + std::to_string(line) + ": " + message, {source, line});
  };
  auto text = [](double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g", v);
    return std::string(buf);
  };
  // Cell edges: a slip to nanometres or picometres moves them out of this range.
  const char* edge_names[3] = {"a", "b", "c"};
  for (int r = 1; r <= 3; ++r) {
    const double x = in.cell_basis(r, 1), y = in.cell_basis(r, 2), z = in.cell_basis(r, 3);
    const double length = std::sqrt(x * x + y * y + z * z);
    if (!(length >= kMinCellEdge && length <= kMaxCellEdge))
      fail(lines.cell_row[r - 1], std::string("the cell edge ") + edge_names[r - 1] + " is " +
                                      text(length) + " Å long; expected " + text(kMinCellEdge) +
                                      " to " + text(kMaxCellEdge) +
                                      " Å: is the cell in Å (1 nm = 10 Å)?");
  }
  if (const std::string problem = wavelength_problem(in.wavelength); !problem.empty())
    fail(lines.wavelength, problem);
  if (const std::string problem = thickness_problem(in.thickness); !problem.empty())
    fail(lines.thickness, problem);
  // Field of the 512 x 512 pattern: the angle between its outermost directions.
  const double scale = static_cast<double>(in.pixel_pitch) / in.camera_length;
  const double field = 2.0 * std::atan(256.0 * std::fabs(scale));
  if (!(field <= kMaxFieldWidth))
    fail(lines.camera_length,
         "the pixel scale pixel_pitch / camera_length = " + text(in.pixel_pitch) + " / " +
             text(in.camera_length) + " = " + text(scale) + " makes the field of the 512 x 512 " +
             "pattern " + text(field) + " rad wide; expected at most " + text(kMaxFieldWidth) +
             " rad: are the pixel pitch (line " + std::to_string(lines.pixel_pitch) +
             ") and the camera length in the same unit?");
}

void derive_simulation_input(SimulationInput& in, const fs::path& xray_dir) {
  // 1-2. Euler angles in radians, orientation matrix.
  for (float& a : in.euler_angles) a = common::radians(a);
  in.orientation_matrix = bunge_matrix(in.euler_angles[0], in.euler_angles[1], in.euler_angles[2]);
  // 3. Pixel scale.
  in.pixel_scale = in.pixel_pitch / in.camera_length;
  // 4. Reciprocal basis; a singular basis stops the program without a message.
  if (!invert3(in.cell_basis, kSingularTolerance, in.reciprocal_basis)) throw SingularBasis();
  // 5. Reciprocal metric.
  const Mat3& r = in.reciprocal_basis;
  for (int row = 1; row <= 3; ++row)
    for (int col = 1; col <= 3; ++col)
      in.reciprocal_metric(row, col) =
          r(1, row) * r(1, col) + r(2, row) * r(2, col) + r(3, row) * r(3, col);
  // 6. Search limit from the low 16 bits of index_limit, sign-extended.
  const auto low16 =
      static_cast<std::int16_t>(static_cast<std::uint32_t>(in.index_limit) & 0xFFFFu);
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
    return std::sqrt(common::kComptonWavelengthSquared / (in.wavelength * in.wavelength) + 1.0f) /
           (volume * kPi);
  return 1.0f / (volume * kPi);
}

namespace {

// A duration for a person: seconds, minutes, hours or days.
std::string duration_text(double seconds) {
  char buf[64];
  if (seconds < 120)
    std::snprintf(buf, sizeof buf, "%.0f s", seconds);
  else if (seconds < 7200)
    std::snprintf(buf, sizeof buf, "%.0f minutes", seconds / 60);
  else if (seconds < 172800)
    std::snprintf(buf, sizeof buf, "%.1f hours", seconds / 3600);
  else if (seconds < 3.0e9)
    std::snprintf(buf, sizeof buf, "%.0f days", seconds / 86400);
  else
    std::snprintf(buf, sizeof buf, "%.1e years", seconds / 3.15576e7);
  return buf;
}

}  // namespace

void check_search_time(const SimulationInput& in, const std::string& source, int line,
                       double seconds_per_evaluation, double budget_seconds) {
  const CandidateRegion region = candidate_region(in);
  const SearchEstimate e = estimate_search(region, in.hkl_limit, in.strength_fraction,
                                           seconds_per_evaluation, budget_seconds);
  if (e.seconds <= budget_seconds || in.hkl_limit <= 1) return;  // nothing smaller to offer
  char per[48], count[32];
  if (seconds_per_evaluation < 1e-3)
    std::snprintf(per, sizeof per, "%.2g microseconds", seconds_per_evaluation * 1e6);
  else if (seconds_per_evaluation < 1)
    std::snprintf(per, sizeof per, "%.2g ms", seconds_per_evaluation * 1e3);
  else
    std::snprintf(per, sizeof per, "%.2g s", seconds_per_evaluation);
  std::snprintf(count, sizeof count, "%.0f",
                search_evaluations(region, in.hkl_limit, in.strength_fraction));
  std::string message = "index_limit is " + std::to_string(in.index_limit);
  if (in.index_limit != in.hkl_limit)
    message += " (searched as " + std::to_string(in.hkl_limit) + ", its low 16 bits)";
  message += ": the reflection search would take up to about " + duration_text(e.seconds) + " (" +
             count + " structure factors at " + per + " each), longer than " +
             duration_text(budget_seconds) + "; its time grows with the cube of index_limit. ";
  if (e.largest_limit >= 1)
    message += "The largest index_limit that stays within " + duration_text(budget_seconds) +
               " is " + std::to_string(e.largest_limit) + ". ";
  message += "Lower index_limit, or set " + std::string(kLongSearchVariable) +
             "=1 to run the search anyway";
  throw InputError(source + ", line " + std::to_string(line) + ": " + message, {source, line});
}

void read_simulation_input(const fs::path& dir, SimulationInput& in, BeamList& beams,
                           const ReadOptions& options) {
  const fs::path file = dir / kInputFileName;
  std::ifstream text(file);
  if (!text)
    throw common::FileError(
        file.string() +
            ": cannot open the simulation input file; expected VelmorantDS.dat in the "
            "working directory",
        file.string(),
        fs::exists(file) ? common::FileError::Kind::other : common::FileError::Kind::not_found);
  read_simulation_input(text, file.string(), dir, in, beams, options);
}

void read_simulation_input(std::istream& text, const std::string& source_name,
                           const fs::path& xray_dir, SimulationInput& in, BeamList& beams,
                           const ReadOptions& options) {
  InputLines lines;
  parse_simulation_input(text, source_name, in, &lines);
  derive_simulation_input(in, xray_dir);
  // After the derivations, so that a singular basis stops as before.
  check_plausible_values(in, lines, source_name);
  // A search of hours is refused before it starts, unless confirmed.
  if (!options.long_search_confirmed)
    check_search_time(in, source_name, lines.index_limit, measure_evaluation_seconds(in),
                      options.search_time_budget);
  // 11. Reflection list and geometric beam filter.
  const std::vector<std::string> kept = select_beams(in, beams, options.poll);
  if (options.messages)
    for (const std::string& line : kept) *options.messages << line << '\n';
}

}  // namespace velmorant
