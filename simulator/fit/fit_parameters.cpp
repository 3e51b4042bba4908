// The parameters a fit may vary (thickness, voltage, Euler angles), their ranges and the overrides they make.
#include "simulator/fit/fit_parameters.hpp"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "common/electron_wavelength.hpp"

namespace velmorant::fit {

namespace {

constexpr int kMaxGridValues = 10000;

double number(const std::string& text, const std::string& what, const std::string& option) {
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(begin, &end);
  if (text.empty() || end != begin + text.size() || errno == ERANGE || !std::isfinite(v))
    throw FitError("--vary " + option + ": the " + what + " \"" + text + "\" is not a number");
  return v;
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
    throw FitError("--vary " + text + ": expected name=low:high:step, e.g. thickness=1200:2000:50");
  const std::string name = text.substr(0, eq);
  ParameterRange r;
  int found = -1;
  for (int p = 0; p < kParameterCount; ++p)
    if (name == kParameterNames[std::size_t(p)]) found = p;
  if (found < 0)
    throw FitError("--vary " + text + ": unknown parameter \"" + name +
                   "\"; expected thickness, voltage, phi1, Phi or phi2");
  r.parameter = Parameter(found);
  const std::string rest = text.substr(eq + 1);
  const auto c1 = rest.find(':');
  const auto c2 = c1 == std::string::npos ? std::string::npos : rest.find(':', c1 + 1);
  if (c2 == std::string::npos || rest.find(':', c2 + 1) != std::string::npos)
    throw FitError("--vary " + text + ": expected " + name + "=low:high:step (three numbers)");
  r.low = number(rest.substr(0, c1), "low end", text);
  r.high = number(rest.substr(c1 + 1, c2 - c1 - 1), "high end", text);
  r.step = number(rest.substr(c2 + 1), "step", text);
  if (r.low > r.high) throw FitError("--vary " + text + ": the low end is above the high end");
  if (!(r.step > 0)) throw FitError("--vary " + text + ": the step must be above 0");
  if ((r.parameter == Parameter::thickness || r.parameter == Parameter::voltage) && !(r.low > 0))
    throw FitError("--vary " + text + ": the " + name + " must be above 0");
  if ((r.high - r.low) / r.step >= kMaxGridValues)
    throw FitError("--vary " + text + ": more than " + std::to_string(kMaxGridValues) + " grid values");
  return r;
}

void check_ranges(const std::vector<ParameterRange>& ranges) {
  if (ranges.empty())
    throw FitError("nothing to fit: give at least one --vary name=low:high:step (thickness, voltage, phi1, Phi, phi2)");
  for (std::size_t a = 0; a < ranges.size(); ++a)
    for (std::size_t b = a + 1; b < ranges.size(); ++b)
      if (ranges[a].parameter == ranges[b].parameter)
        throw FitError(std::string("--vary ") + kParameterNames[std::size_t(ranges[a].parameter)] +
                       " is given twice");
}

float wavelength_from_voltage(double kv) { return float(common::electron_wavelength_angstrom(kv)); }

FitValues file_values(const SimulationInput& in, const Vec3f& euler_degrees) {
  return {double(in.thickness), common::voltage_kv_for_wavelength(double(in.wavelength)),
          double(euler_degrees[0]), double(euler_degrees[1]), double(euler_degrees[2])};
}

Overrides overrides_for(const FitValues& v, const std::vector<ParameterRange>& varied) {
  Overrides o;
  bool euler = false;
  for (const ParameterRange& r : varied) {
    switch (r.parameter) {
      case Parameter::thickness: o.thickness = float(v[0]); break;
      case Parameter::voltage: o.wavelength = wavelength_from_voltage(v[1]); break;
      default: euler = true;
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
