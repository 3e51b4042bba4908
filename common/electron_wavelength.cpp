// Relativistic electron wavelength from the accelerating voltage and back (CODATA 2018, double precision).
// SPDX-License-Identifier: BSD-3-Clause
#include "common/electron_wavelength.hpp"

#include <cmath>
#include <limits>

#include "common/physical_constants.hpp"

namespace common {

double electron_wavelength_angstrom(double voltage_kv) {
  if (!(voltage_kv > 0.0) || !std::isfinite(voltage_kv))
    return std::numeric_limits<double>::quiet_NaN();
  return kPlanckTimesLightKevAngstromExact /
         std::sqrt(voltage_kv * (voltage_kv + 2.0 * kElectronRestEnergyKevCodata2018));
}

double voltage_kv_for_wavelength(double wavelength_angstrom) {
  if (!(wavelength_angstrom > 0.0) || !std::isfinite(wavelength_angstrom))
    return std::numeric_limits<double>::quiet_NaN();
  const double p = kPlanckTimesLightKevAngstromExact / wavelength_angstrom;  // p c, keV
  const double rest = kElectronRestEnergyKevCodata2018;
  return p * p / (std::sqrt(rest * rest + p * p) + rest);
}

}  // namespace common
