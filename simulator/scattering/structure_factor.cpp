// Structure factors, single precision, summed species by species and site by site.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/scattering/structure_factor.hpp"

#include <algorithm>
#include <cmath>

#include "simulator/scattering/electron_form_factor.hpp"
#include "common/physical_constants.hpp"

namespace velmorant {

float scattering_vector_length(const SimulationInput& in, const Miller& hkl) {
  const Mat3& g = in.reciprocal_metric;
  const float h = static_cast<float>(hkl[0]);
  const float k = static_cast<float>(hkl[1]);
  const float l = static_cast<float>(hkl[2]);
  const float v1 = g(1, 1) * h + g(1, 2) * k + g(1, 3) * l;
  const float v2 = g(2, 1) * h + g(2, 2) * k + g(2, 3) * l;
  const float v3 = g(3, 1) * h + g(3, 2) * k + g(3, 3) * l;
  return 0.5f * std::sqrt(v1 * h + v2 * k + v3 * l);
}

float electron_scattering_factor(const SimulationInput& in, int species, float s) {
  const auto& c = in.xray_coefficients[species];  // a1..a5, c, b1..b5
  const float s2 = s * s;
  const float fx = c[0] * std::exp(-(c[6] * s2)) + c[1] * std::exp(-(c[7] * s2)) +
                   c[2] * std::exp(-(c[8] * s2)) + c[3] * std::exp(-(c[9] * s2)) +
                   c[4] * std::exp(-(c[10] * s2)) + c[5];
  const float z = static_cast<float>(in.table_atomic_number[species]);
  return common::kMottBetheFactor * (z - fx) / s2;
}

std::complex<float> structure_factor(const SimulationInput& in, const Miller& hkl,
                                     bool absorptive) {
  const float h = static_cast<float>(hkl[0]);
  const float k = static_cast<float>(hkl[1]);
  const float l = static_cast<float>(hkl[2]);
  const float s = scattering_vector_length(in, hkl);
  float fre = 0.0f, fim = 0.0f;
  const int species_count = std::min(in.species_count, kMaxSpecies);
  if (in.form_factor_model != 0) {
    for (int sp = 0; sp < species_count; ++sp) {
      const int sites = std::min(in.site_count[sp], kMaxSites);
      for (int j = 0; j < sites; ++j) {
        const ElectronFormFactor f = electron_form_factor(
            in.atomic_number[sp], s, in.site_debye_waller[sp][j], absorptive, in.wavelength);
        const Vec3f& x = in.phase_position[sp][j];
        const float phi = h * x[0] + k * x[1] + l * x[2];
        const float w = in.site_occupancy[sp][j];
        const float wr = w * f.elastic, wi = w * f.absorptive;
        const float c = std::cos(phi), sn = std::sin(phi);
        fre = fre + (wr * c - wi * sn);
        fim = fim + (wr * sn + wi * c);
      }
    }
  } else {
    for (int sp = 0; sp < species_count; ++sp) {
      const int sites = std::min(in.site_count[sp], kMaxSites);
      if (sites <= 0) continue;  // contributes nothing (and needs no factor)
      const float f = electron_scattering_factor(in, sp, s);
      for (int j = 0; j < sites; ++j) {
        const Vec3f& x = in.phase_position[sp][j];
        const float phi = h * x[0] + k * x[1] + l * x[2];
        const float wf = in.site_occupancy[sp][j] * f;
        fre = fre + wf * std::cos(phi);
        fim = fim + wf * std::sin(phi);
      }
    }
    const float dw = std::exp(-(in.global_debye_waller * (s * s)));
    fre = fre * dw;
    fim = fim * dw;
  }
  return {fre, fim};
}

float structure_strength(const SimulationInput& in, const Miller& hkl) {
  const std::complex<float> f = structure_factor(in, hkl, false);
  return f.real() * f.real() + f.imag() * f.imag();
}

}  // namespace velmorant
