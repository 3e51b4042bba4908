// Electron and absorptive form factors of Weickenmeier and Kohl (1991), all
// in single precision.
//
// Failed checks (Z < 2, u < 0, G < 0, E < 0, Ei of an argument > 60) throw
// velmorant::FormFactorStop (input/input_error.hpp) whose what() is the exact
// stop message line without the line end; the program prints it to standard
// output and stops. An atomic number above 98 (beyond the table) also throws
// FormFactorStop, with the Z message.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <cstdint>

namespace velmorant {

struct ElectronFormFactor {
  float elastic = 0;     // f_el, Å
  float absorptive = 0;  // f_abs, Å
};

// f = f_el + i f_abs of atom Z at s = sin θ/λ (Å⁻¹), r.m.s. displacement u (Å),
// wavelength λ (Å); f_abs is computed only when absorption && u > 1e-6.
ElectronFormFactor electron_form_factor(std::int32_t z, float s, float u, bool absorption,
                                        float wavelength);

// Accelerating voltage in kV from the wavelength: 12.398419·√(1/λ² + 1698.6635) − 510.99893.
float accelerating_voltage_kv(float wavelength);

// ---- Internal operations of the form factors, exposed for the tests ----
struct Amplitude {
  float a = 0;  // elastic
  float b = 0;  // absorptive
};
Amplitude scattering_amplitude(float g, float u, std::int32_t z, float accvlt_kv, bool absorptive,
                               bool relativistic, bool thermal);
// A[0] = A1, A[1] = A2; B[0..5] = B1..B6.
float elastic_factor(const float a[2], const float b[6], float s);
float absorptive_factor(float g, float u, const float a[2], const float b[6]);
float absorption_integral_1(float p, float q, float g);
float absorption_integral_2(float p, float q, float g, float u);
float exponential_difference(float x1, float x2, float x3);
float large_argument_ei(float x);
float exponential_integral(float x);

}  // namespace velmorant
