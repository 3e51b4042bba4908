// The parameters a fit may vary (thickness, voltage, Euler angles), their ranges and the overrides they make.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/fit/fit_parameters.hpp"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "common/electron_wavelength.hpp"
#include "common/fixed_format.hpp"
#include "simulator/input/read_simulation_input.hpp"

namespace velmorant::fit {

namespace {

constexpr int kMaxGridValues = 10000;

double number(const std::string& text, const std::string& what, const std::string& option) {
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(begin, &end);
  if (text.empty() || end != begin + text.size() || errno == ERANGE || !std::isfinite(v))
    throw FitError(option + ": the " + what + " \"" + text + "\" is not a number");
  return v;
}

// The grid's ends as the engine takes them (in single precision) within the
// ranges the input reader accepts, and a step that moves the values at both
// ends: a step below their precision would give thousands of equal points.
void check_simulated_values(const ParameterRange& r, const std::string& text) {
  const float low = float(r.low), high = float(r.high), step = float(r.step);
  if (!std::isfinite(low) || !std::isfinite(high) || !std::isfinite(step))
    throw FitError(text + ": the numbers must lie within single precision (below 3.4e38)");
  if (low + step == low || high + step == high)
    throw FitError(text + ": the step " + common::shortest_text(step) +
                   " does not change the value " +
                   common::shortest_text(low + step == low ? low : high) +
                   " in single precision, the precision of the simulation; give a larger step");
  switch (r.parameter) {
    case Parameter::thickness:
      if (!(low > 0.0f))
        throw FitError(text + ": the thickness " + common::shortest_text(low) +
                       " A is 0 in single precision; expected a positive thickness in A");
      break;
    case Parameter::voltage:
      for (const double kv : {r.low, r.high}) {
        const float lambda = wavelength_from_voltage(kv);
        if (!(lambda >= float(kMinWavelength) && lambda <= float(kMaxWavelength)))
          throw FitError(
              text + ": " + common::shortest_text(float(kv)) + " kV gives a wavelength of " +
              common::shortest_text(lambda) + " A; the simulation takes " +
              common::shortest_text(float(kMinWavelength)) + " to " +
              common::shortest_text(float(kMaxWavelength)) + " A, about " +
              common::shortest_text(float(common::voltage_kv_for_wavelength(kMaxWavelength))) +
              " kV to " +
              common::shortest_text(float(common::voltage_kv_for_wavelength(kMinWavelength))) +
              " kV: is the voltage in kV?");
      }
      break;
    default:
      break;
  }
}

}  // namespace

int ParameterRange::count() const {
  // The high end counts when a value reaches it up to rounding (54.3 + 2 x 0.1
  // is above 54.5 in binary arithmetic).
  int n = 1;
  while (n < kMaxGridValues && low + double(n) * step <= high + 1e-4 * step) ++n;
  return n;
}

double ParameterRange::value(int k) const { return double(float(low) + float(k) * float(step)); }

ParameterRange parse_range(const std::string& text) {
  const auto eq = text.find('=');
  if (eq == std::string::npos)
    throw FitError(text + ": expected name=low:high:step, e.g. thickness=1200:2000:50");
  const std::string name = text.substr(0, eq);
  ParameterRange r;
  int found = -1;
  for (int p = 0; p < kParameterCount; ++p)
    if (name == kParameterNames[std::size_t(p)]) found = p;
  if (found < 0)
    throw FitError(text + ": unknown parameter \"" + name +
                   "\"; expected thickness, voltage, phi1, Phi or phi2");
  r.parameter = Parameter(found);
  const std::string rest = text.substr(eq + 1);
  const auto c1 = rest.find(':');
  const auto c2 = c1 == std::string::npos ? std::string::npos : rest.find(':', c1 + 1);
  if (c2 == std::string::npos || rest.find(':', c2 + 1) != std::string::npos)
    throw FitError(text + ": expected " + name + "=low:high:step (three numbers)");
  r.low = number(rest.substr(0, c1), "low end", text);
  r.high = number(rest.substr(c1 + 1, c2 - c1 - 1), "high end", text);
  r.step = number(rest.substr(c2 + 1), "step", text);
  if (r.low > r.high) throw FitError(text + ": the low end is above the high end");
  if (!(r.step > 0)) throw FitError(text + ": the step must be above 0");
  if ((r.parameter == Parameter::thickness || r.parameter == Parameter::voltage) && !(r.low > 0))
    throw FitError(text + ": the " + name + " must be above 0");
  if ((r.high - r.low) / r.step >= kMaxGridValues)
    throw FitError(text + ": more than " + std::to_string(kMaxGridValues) + " grid values");
  check_simulated_values(r, text);
  return r;
}

void check_ranges(const std::vector<ParameterRange>& ranges) {
  if (ranges.empty())
    throw FitError(
        "nothing to fit: give at least one range name=low:high:step (thickness, voltage, phi1, "
        "Phi, phi2)");
  for (std::size_t a = 0; a < ranges.size(); ++a)
    for (std::size_t b = a + 1; b < ranges.size(); ++b)
      if (ranges[a].parameter == ranges[b].parameter)
        throw FitError(std::string(kParameterNames[std::size_t(ranges[a].parameter)]) +
                       " is given twice");
}

float wavelength_from_voltage(double kv) { return float(common::electron_wavelength_angstrom(kv)); }

FitValues file_values(const SimulationInput& in) {
  return {double(in.thickness), common::voltage_kv_for_wavelength(double(in.wavelength)),
          double(in.euler_degrees[0]), double(in.euler_degrees[1]), double(in.euler_degrees[2])};
}

Overrides overrides_for(const FitValues& v, const std::vector<ParameterRange>& varied) {
  Overrides o;
  bool euler = false;
  for (const ParameterRange& r : varied) {
    switch (r.parameter) {
      case Parameter::thickness:
        o.thickness = float(v[0]);
        break;
      case Parameter::voltage:
        o.wavelength = wavelength_from_voltage(v[1]);
        break;
      default:
        euler = true;
    }
  }
  if (euler) o.euler_degrees = Vec3f{float(v[2]), float(v[3]), float(v[4])};
  return o;
}

FitValues to_float_precision(const FitValues& v) {
  FitValues out;
  for (int p = 0; p < kParameterCount; ++p) out[std::size_t(p)] = double(float(v[std::size_t(p)]));
  return out;
}

}  // namespace velmorant::fit
