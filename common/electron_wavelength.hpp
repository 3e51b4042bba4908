// Relativistic electron wavelength from the accelerating voltage and back (CODATA 2018, double precision).
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

namespace common {

// lambda [Å] = hc / sqrt(E (E + 2 m_e c^2)) for electrons accelerated through E kV.
// A voltage that is not a positive finite number gives NaN (callers check their input).
double electron_wavelength_angstrom(double voltage_kv);

// The inverse: E [kV] = sqrt((m_e c^2)^2 + (hc / lambda)^2) - m_e c^2, evaluated as
// (hc/lambda)^2 / (sqrt((m_e c^2)^2 + (hc/lambda)^2) + m_e c^2) so that low voltages keep their
// digits. A wavelength that is not a positive finite number gives NaN.
double voltage_kv_for_wavelength(double wavelength_angstrom);

}  // namespace common
