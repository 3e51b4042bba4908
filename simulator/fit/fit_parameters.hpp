// The parameters a fit may vary (thickness, voltage, Euler angles), their ranges and the overrides they make.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <array>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/input_error.hpp"
#include "simulator/engine/simulation.hpp"

namespace velmorant::fit {

// A range or set of ranges that cannot be used: the message names the range
// as written ("thickness=1200:2000:0: the step must be above 0") and the
// problem, not the option that carried it (a program adds that).
struct FitError : common::InputError {
  using common::InputError::InputError;
};

enum class Parameter : int { thickness = 0, voltage, phi1, Phi, phi2 };
inline constexpr int kParameterCount = 5;
inline constexpr std::array<const char*, kParameterCount> kParameterNames = {"thickness", "voltage",
                                                                             "phi1", "Phi", "phi2"};
inline constexpr std::array<const char*, kParameterCount> kParameterUnits = {"A", "kV", "deg",
                                                                             "deg", "deg"};

// All five values of one evaluation: thickness (Å), accelerating voltage
// (kV), φ1, Φ, φ2 (degrees). Each is a float value held in a double.
using FitValues = std::array<double, kParameterCount>;

// One varied parameter: low, low + step, ... up to high (units as above).
struct ParameterRange {
  Parameter parameter = Parameter::thickness;
  double low = 0, high = 0, step = 0;
  int count() const;          // grid values, at least 1; high counts up to rounding
  double value(int k) const;  // float(low) + k float(step), in float arithmetic
};

// Parses "name=low:high:step" (names as kParameterNames, case as written).
// Throws FitError for an unknown name, a number that is not one, low > high,
// a step of 0 or less, a thickness of 0 or less, a voltage of 0 or less, and
// more than 10000 grid values.
ParameterRange parse_range(const std::string& text);

// Checks a set of ranges: each parameter at most once, at least one.
void check_ranges(const std::vector<ParameterRange>& ranges);

// Electron wavelength (Å, rounded to float) of the accelerating voltage (kV):
// common::electron_wavelength_angstrom, whose inverse gives the file's voltage.
float wavelength_from_voltage(double kv);

// The values of the input as written in its file: thickness, the voltage of
// its wavelength, and the Euler angles in degrees as read.
FitValues file_values(const SimulationInput& in);

// Overrides for the varied parameters of `values`; the others keep the file's values.
Overrides overrides_for(const FitValues& values, const std::vector<ParameterRange>& varied);

// Rounds every value to float (the precision the engine uses).
FitValues to_float_precision(const FitValues& v);

}  // namespace velmorant::fit
