// Diagnostic listing of the prepared input and the beam list (issue 3 item 5).
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/input/diagnostics.hpp"

#include <cmath>
#include <cstdio>
#include <string>

#include "simulator/engine/pattern_image.hpp"
#include "simulator/scattering/electron_form_factor.hpp"
#include "simulator/scattering/structure_factor.hpp"
#include "common/angles.hpp"

namespace velmorant {

namespace {

std::string fmt(const char* format, double a) {
  char buf[64];
  std::snprintf(buf, sizeof buf, format, a);
  return buf;
}

void print_matrix(std::ostream& out, const char* title, const Mat3& m, const char* note) {
  out << title << " " << note << "\n";
  for (int r = 1; r <= 3; ++r) {
    out << "   ";
    for (int c = 1; c <= 3; ++c) out << fmt(" %14.7g", m(r, c));
    out << "\n";
  }
}

}  // namespace

void print_diagnostics(const SimulationInput& in, const BeamList& beams, std::ostream& out) {
  out << "Velmorant diagnostics (" << kDiagnosticsVariable << "=1)\n";
  out << "form_factor_model " << in.form_factor_model
      << (in.form_factor_model == 0 ? " (X-ray coefficients, Mott-Bethe)"
                                    : " (Weickenmeier-Kohl, absorptive)")
      << ", species " << in.species_count << "\n";
  for (int s = 0; s < in.species_count && s < kMaxSpecies; ++s) {
    out << "  species " << s + 1 << ": Z " << in.atomic_number[s] << ", sites " << in.site_count[s];
    if (in.form_factor_model == 0) out << ", coefficient-file Z " << in.table_atomic_number[s];
    out << "\n";
  }
  out << "cell volume V (A^3)           " << fmt("%.7g", in.cell_volume) << "\n";
  print_matrix(out, "reciprocal basis", in.reciprocal_basis, "(columns a*, b*, c*, 1/A)");
  print_matrix(out, "reciprocal metric", in.reciprocal_metric, "(1/A^2)");
  print_matrix(out, "orientation matrix", in.orientation_matrix, "(Bunge, sample -> crystal)");
  out << "Euler angles (deg)            "
      << fmt("%.6g", common::degrees(double(in.euler_angles[0]))) << " "
      << fmt("%.6g", common::degrees(double(in.euler_angles[1]))) << " "
      << fmt("%.6g", common::degrees(double(in.euler_angles[2]))) << "\n";
  out << "wavelength (A)                " << fmt("%.7g", in.wavelength)
      << "   accelerating voltage (kV) " << fmt("%.6g", accelerating_voltage_kv(in.wavelength))
      << "\n";
  out << "pixel scale (tan per pixel)   " << fmt("%.7g", in.pixel_scale)
      << "   field half-width (mrad) "
      << fmt("%.5g", std::atan(0.5 * PatternImage::kSize * in.pixel_scale) * 1000.0) << "\n";
  out << "effective thickness (A)       " << fmt("%.7g", in.effective_thickness) << "\n";
  out << "potential factor (1/A^3)      " << fmt("%.7g", in.potential_factor) << "\n";
  out << "search box |h|,|k|,|l| <=     " << in.hkl_limit << "   strength fraction "
      << fmt("%.6g", in.strength_fraction) << "   max_beams " << in.max_beams << "\n";
  out << "beams N = " << beams.count << " (matrices of order " << beams.count + 1 << ")\n";
  out << "  entry     h     k     l        g'_x        g'_y        g'_z      |g| (1/A)   |F|^2 "
         "(A^2)\n";
  for (int i = 0; i <= beams.count; ++i) {
    const auto& m = beams.miller[i];
    const auto& g = beams.lab_vector[i];
    const double len = std::sqrt(double(g[0]) * g[0] + double(g[1]) * g[1] + double(g[2]) * g[2]);
    char line[200];
    if (i == 0) {
      std::snprintf(line, sizeof line,
                    "%7d %5d %5d %5d %11.5f %11.5f %11.5f %11.5f   (transmitted)\n", i, m[0], m[1],
                    m[2], g[0], g[1], g[2], len);
    } else {
      const float strength = structure_strength(in, m);
      std::snprintf(line, sizeof line, "%7d %5d %5d %5d %11.5f %11.5f %11.5f %11.5f %13.6g\n", i,
                    m[0], m[1], m[2], g[0], g[1], g[2], len, strength);
    }
    out << line;
  }
  out.flush();
}

}  // namespace velmorant
