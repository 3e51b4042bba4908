// Weickenmeier–Kohl electron and absorptive form factors. Every formula is
// evaluated term by term, left to right, in single precision, so that results
// round the same way on every build.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/scattering/electron_form_factor.hpp"

#include <cmath>
#include <cstdio>
#include <string>

#include "simulator/input/input_error.hpp"
#include "simulator/scattering/weickenmeier_kohl_table.hpp"
#include "common/physical_constants.hpp"

namespace velmorant {

namespace {

using common::kFourPi;
using common::kPi;
// The absorptive integrals were published with 157.91342 for 16 pi^2 (157.91367); kept, as the
// tabulated absorptive parts were computed with it.
constexpr float kSixteenPiSquared = 157.91342f;
constexpr const char* kNotSupplied = " THIS VALUE IS NOT SUPPLIED!";

// F(n) = x·e^(−x)·Ei(x) at x = 200/n, F(0) = 1 (6 decimals).
constexpr float kLargeArgumentTable[21] = {
    1.000000f, 1.005051f, 1.010206f, 1.015472f, 1.020852f, 1.026355f, 1.031985f,
    1.037751f, 1.043662f, 1.049726f, 1.055956f, 1.062364f, 1.068965f, 1.075780f,
    1.082831f, 1.090141f, 1.097738f, 1.105647f, 1.113894f, 1.122497f, 1.131470f};

// Fortran I3: right-aligned in 3 columns, asterisks when it does not fit.
std::string format_i3(std::int32_t v) {
  std::string s = std::to_string(v);
  if (s.size() > 3) return "***";
  return std::string(3 - s.size(), ' ') + s;
}

// Fortran E13.4: "0.dddd" mantissa and a two-digit exponent, right-aligned
// in 13 columns (e.g. "  -0.1000E-01").
std::string format_e13_4(float value) {
  std::string s;
  if (std::isnan(value)) {
    s = "NaN";
  } else if (std::isinf(value)) {
    s = value < 0 ? "-Infinity" : "Infinity";
  } else {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3e", static_cast<double>(value));  // -d.ddde±xx
    std::string t = buf;
    bool negative = t[0] == '-';
    if (negative) t.erase(0, 1);
    std::string digits = t.substr(0, 1) + t.substr(2, 3);
    int exponent = std::stoi(t.substr(t.find('e') + 1));
    if (value != 0.0f) exponent += 1;
    char ebuf[16];
    std::snprintf(ebuf, sizeof ebuf, "%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
    s = std::string(negative ? "-" : "") + "0." + digits + "E" + ebuf;
  }
  if (s.size() >= 13) return s;
  return std::string(13 - s.size(), ' ') + s;
}

// The free-form text of a real in the Ei message (list-directed style).
std::string format_free(float value) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%17.9G", static_cast<double>(value));
  return buf;
}

}  // namespace

float accelerating_voltage_kv(float wavelength) {
  return common::kPlanckTimesLightKevAngstrom *
             std::sqrt(1.0f / (wavelength * wavelength) +
                       common::kInverseComptonWavelengthSquared) -
         common::kElectronRestEnergyKev;
}

ElectronFormFactor electron_form_factor(std::int32_t z, float s, float u, bool absorption,
                                        float wavelength) {
  const float e = accelerating_voltage_kv(wavelength);
  const float g = kFourPi * s;
  const bool absorptive = absorption && u > 1e-6f;
  const Amplitude amp = scattering_amplitude(g, u, z, e, absorptive, true, true);
  return {amp.a / kFourPi, amp.b / kFourPi};
}

Amplitude scattering_amplitude(float g, float u, std::int32_t z, float accvlt, bool absorptive,
                               bool relativistic, bool thermal) {
  if (z < 2 || z > wk::kMaxAtomicNumber)
    throw FormFactorStop("  Z = " + format_i3(z) + kNotSupplied);
  if (u < 0) throw FormFactorStop("  UL = " + format_e13_4(u) + kNotSupplied);
  if (g < 0) throw FormFactorStop("  G = " + format_e13_4(g) + kNotSupplied);
  if (accvlt < 0) throw FormFactorStop("  ACCVLT = " + format_e13_4(accvlt) + kNotSupplied);

  const wk::Row& row = wk::kTable[z - 1];
  float a_coef[2];
  a_coef[0] =
      common::kWeickenmeierKohlMottBetheFactor * static_cast<float>(z) / (3.0f * (row.v + 1.0f));
  a_coef[1] = row.v * a_coef[0];
  float b_coef[6];
  for (int i = 0; i < 6; ++i) b_coef[i] = row.b[i];

  Amplitude r;
  r.a = kFourPi * elastic_factor(a_coef, b_coef, g / kFourPi);
  r.b = absorptive ? absorptive_factor(g, u, a_coef, b_coef) : 0.0f;
  if (relativistic) {
    using common::kRoundedRestEnergyKev;
    const float gamma = (accvlt + kRoundedRestEnergyKev) / kRoundedRestEnergyKev;
    const float k = common::kWaveNumberPerRootKev *
                    std::sqrt(accvlt * accvlt + common::kTwiceRoundedRestEnergyKev * accvlt);
    r.a = r.a * gamma;
    r.b = r.b * (gamma * gamma) / k;
  }
  if (thermal) r.a = r.a * std::exp(-((u * u) * (g * g) / 2.0f));
  return r;
}

float elastic_factor(const float a[2], const float b[6], float s) {
  const float s2 = s * s;
  float sum = 0.0f;
  for (int i = 0; i < 6; ++i) {
    const float d = b[i] * s2;
    float phi;
    if (d < 0.1f)
      phi = b[i] * (1.0f - d / 2.0f);
    else if (d > 20.0f)
      phi = 1.0f / s2;
    else
      phi = (1.0f - std::exp(-d)) / s2;
    sum = sum + a[i < 3 ? 0 : 1] * phi;
  }
  return sum;
}

float absorptive_factor(float g, float u, const float a[2], const float b[6]) {
  float ap[2], bp[6];
  for (int k = 0; k < 2; ++k) ap[k] = a[k] * kSixteenPiSquared;
  for (int i = 0; i < 6; ++i) bp[i] = b[i] / kSixteenPiSquared;
  const float dwf = std::exp(-((u * u) * (g * g) / 2.0f));
  float sum = 0.0f;
  for (int i = 0; i < 6; ++i) {
    for (int j = 0; j < 6; ++j) {
      const float term =
          dwf * absorption_integral_1(bp[j], bp[i], g) - absorption_integral_2(bp[j], bp[i], g, u);
      sum = sum + ap[i < 3 ? 0 : 1] * ap[j < 3 ? 0 : 1] * term;
    }
  }
  return sum;
}

float absorption_integral_1(float p, float q, float gv) {
  if (gv == 0.0f) {
    return kPi * (p * std::log((p + q) / p) + q * std::log((p + q) / q));
  }
  const float g = gv * gv;
  const float x1 = p * g;
  const float x2 = q * g;
  float r = std::log(x1) + 1.1544313f + std::log(x2) -
            2.0f * exponential_integral(-(p * q * g / (p + q)));
  r = r + exponential_difference(x1, x1 * p / (p + q), x1);
  r = r + exponential_difference(x2, x2 * q / (p + q), x2);
  return kPi * r / g;
}

float absorption_integral_2(float p, float q, float gv, float u) {
  const float w = u * u;
  if (gv == 0.0f) {
    return kPi * ((p + w) * std::log((p + q + w) / (p + w)) + q * std::log((p + q + w) / (q + w)) +
                  w * std::log(w / (q + w)));
  }
  const float g = gv * gv;
  const float pp = p + w / 2.0f;  // P
  const float qq = q + w / 2.0f;  // Q
  const float p1 = p + w;         // P'
  const float q1 = q + w;         // Q'
  const float h = g * w / 2.0f;
  const float t = g * w / 4.0f;
  float r = exponential_integral(-(pp * h / p1)) + exponential_integral(-(qq * h / q1)) -
            exponential_integral(-(pp * qq * g / (pp + qq)));
  r = 2.0f * (r - exponential_integral(-t));
  r = r + exponential_difference(h, t, w * w * g / (4.0f * p1)) +
      exponential_difference(h, t, w * w * g / (4.0f * q1));
  r = r + exponential_difference(pp * g, pp * pp * g / (pp + qq), pp * pp * g / p1) +
      exponential_difference(qq * g, qq * qq * g / (pp + qq), qq * qq * g / q1);
  return kPi * r / g;
}

float exponential_difference(float x1, float x2, float x3) {
  if (x2 <= 20.0f && x3 <= 20.0f)
    return std::exp(-x1) * (exponential_integral(x2) - exponential_integral(x3));
  auto term = [x1](float x) {
    if (x > 20.0f) return std::exp(x - x1) * large_argument_ei(x) / x;
    return std::exp(-x1) * exponential_integral(x);
  };
  return term(x2) - term(x3);
}

float large_argument_ei(float x) {
  const float r = 200.0f / x;
  int n = static_cast<int>(r);  // truncation; x > 20 keeps n <= 9
  if (n < 0) n = 0;
  if (n > 19) n = 19;  // never for x > 20; keeps the table read in bounds
  return kLargeArgumentTable[n] +
         (kLargeArgumentTable[n + 1] - kLargeArgumentTable[n]) * (r - static_cast<float>(n));
}

float exponential_integral(float x) {
  if (x > 60.0f) throw FormFactorStop(" >>> EI FUER X= " + format_free(x) + " NICHT GETESTET <<<");
  if (x < -60.0f) return 0.0f;
  if (x < -1.0f) {
    const float y = std::fabs(x);
    const float y2 = y * y, y3 = y2 * y, y4 = y2 * y2;
    const float num = y4 + 8.57332f * y3 + 18.05901f * y2 + 8.63476f * y + 0.26777f;
    const float den = y4 + 9.57332f * y3 + 25.63295f * y2 + 21.09965f * y + 3.95849f;
    return -std::exp(-y) / y * num / den;
  }
  // −1 ≤ x ≤ 60 (and NaN): the power series. The iteration cap only guards
  // against arguments (0, NaN) for which |t/x| is never a number.
  float t = x * x / 4.0f;
  float sum = x + t;
  for (int n = 2; n < 10000; ++n) {
    const float fn = static_cast<float>(n);
    t = t * fn * x / ((fn + 1.0f) * (fn + 1.0f));
    sum = sum + t;
    if (std::fabs(t / x) <= 1e-6f) break;
    if (std::isnan(t / x)) break;
  }
  return 0.577216f + std::log(std::fabs(x)) + sum;
}

}  // namespace velmorant
