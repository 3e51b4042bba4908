// Tests of the Weickenmeier–Kohl form factors.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/scattering/electron_form_factor.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <numbers>

#include "simulator/input/input_error.hpp"
#include "simulator/scattering/weickenmeier_kohl_table.hpp"
#include "common/physical_constants.hpp"

namespace velmorant {
namespace {

std::string stop_message(auto&& call) {
  try {
    call();
  } catch (const FormFactorStop& e) {
    return e.what();
  }
  return "";
}

TEST(WeickenmeierKohlTable, CheckRowsAndElementSymbols) {
  auto row = [](int z) { return wk::kTable[z - 1]; };
  EXPECT_STREQ(row(1).symbol, "H ");
  for (float b : row(1).b) EXPECT_EQ(b, 0.0f);
  EXPECT_EQ(row(1).v, 0.0f);
  const struct {
    int z;
    const char* sym;
    float b[6];
    float v;
  } checks[] = {{2, "He", {2.5422f, 8.7430f, 12.6910f, 0.4371f, 5.2945f, 28.2505f}, 0.5f},
                {6, "C ", {0.2946f, 3.9338f, 24.9784f, 25.2792f, 25.4670f, 46.7033f}, 0.5f},
                {14, "Si", {1.7366f, 3.0433f, 30.5719f, 0.0507f, 0.9918f, 86.1834f}, 0.5f},
                {79, "Au", {0.5493f, 1.7275f, 6.7195f, 0.0264f, 0.0725f, 35.4575f}, 0.4f}};
  for (const auto& c : checks) {
    EXPECT_STREQ(row(c.z).symbol, c.sym);
    for (int i = 0; i < 6; ++i)
      EXPECT_NEAR(row(c.z).b[i], c.b[i], 0.00006f) << c.z << " B" << i + 1;
    EXPECT_EQ(row(c.z).v, c.v);
  }
  // The element symbols H..Cf, two characters per element.
  const std::string symbols =
      "H HeLiBeB C N O F NeNaMgAlSiP S ClArK CaScTiV CrMnFeCoNiCuZnGaGeAsSeBrKrRbSrY "
      "ZrNbMoTcRuRhPdAgCdInSnSbTeI XeCsBaLaCePrNdPmSmEuGdTbDyHoErTmYbLuHfTaW "
      "ReOsIrPtAuHgTlPbBiPoAtRnFrRaAcThPaU NpPuAmCmBkCf";
  ASSERT_EQ(symbols.size(), 196u);
  for (int z = 1; z <= 98; ++z)
    EXPECT_EQ(std::string(row(z).symbol), symbols.substr(2 * (z - 1), 2));
}

TEST(ExponentialIntegral, SeriesRationalAndLimits) {
  EXPECT_NEAR(exponential_integral(1.0f), 1.8951178f, 2e-6f);
  EXPECT_NEAR(exponential_integral(-1.0f), -0.21938393f, 2e-6f);
  EXPECT_NEAR(exponential_integral(0.5f), 0.45421990f, 2e-6f);
  EXPECT_NEAR(exponential_integral(10.0f), 2492.2290f, 2492.0f * 2e-6f);
  EXPECT_NEAR(exponential_integral(-2.0f), -0.048900511f,
              1e-6f);  // A&S 5.1.56, |error| < 5e-5 relative
  EXPECT_NEAR(exponential_integral(-10.0f), -4.1569689e-6f, 1e-9f);
  EXPECT_EQ(exponential_integral(-60.5f), 0.0f);
  EXPECT_GT(exponential_integral(-60.0f), -1e-27f);
  EXPECT_EQ(stop_message([] { exponential_integral(61.0f); }).rfind(" >>> EI FUER X= ", 0), 0u);
  EXPECT_NE(stop_message([] { exponential_integral(61.0f); }).find(" NICHT GETESTET <<<"),
            std::string::npos);
}

TEST(LargeArgumentEi, InterpolatesTheTableInOneOverX) {
  EXPECT_FLOAT_EQ(large_argument_ei(200.0f), 1.005051f);  // n = 1 exactly
  EXPECT_FLOAT_EQ(large_argument_ei(40.0f), 1.026355f);   // n = 5
  EXPECT_NEAR(large_argument_ei(200.0f / 9.5f), 0.5f * (1.049726f + 1.055956f), 1e-6f);
  // Against x e^-x Ei(x) computed by the series at x = 30: 1.0358...
  const double x = 30.0;
  double sum = 0, t = 1;
  for (int n = 1; n < 200; ++n) {
    t *= x / n;
    sum += t / n;
  }
  const double exact = x * std::exp(-x) * (0.5772156649 + std::log(x) + sum);
  EXPECT_NEAR(large_argument_ei(30.0f), exact, 2e-4);
}

TEST(ElectronFormFactor, AcceleratingVoltageOfWavelength0_0251) {
  const float e = accelerating_voltage_kv(0.0251f);
  EXPECT_NEAR(e, 200.0f, 0.5f);
  EXPECT_NEAR((e + 511.0f) / 511.0f, 1.391f, 0.001f);
  EXPECT_NEAR(accelerating_voltage_kv(0.02508f), 200.0f, 0.05f);
}

TEST(ElectronFormFactor, ZeroScatteringVectorIsTheSeriesSum) {
  // s = 0: f_el = γ Σ A_k(i) B_i (d = 0 < 0.1 for every term).
  const wk::Row& si = wk::kTable[13];
  const float a1 = 0.02395f * 14.0f / (3.0f * (si.v + 1.0f));
  const float a2 = si.v * a1;
  const float sum = a1 * (si.b[0] + si.b[1] + si.b[2]) + a2 * (si.b[3] + si.b[4] + si.b[5]);
  const float e = accelerating_voltage_kv(0.0251f);
  const float gamma = (e + 511.0f) / 511.0f;
  const ElectronFormFactor f = electron_form_factor(14, 0.0f, 0.076f, false, 0.0251f);
  EXPECT_TRUE(std::isfinite(f.elastic));
  EXPECT_NEAR(f.elastic, gamma * sum, gamma * sum * 2e-6f);
  EXPECT_EQ(f.absorptive, 0.0f);
  // Si f_el(0) without the relativistic factor is about 5.8 Å (published
  // electron scattering factors of Si at s = 0: 5.7–5.9 Å).
  EXPECT_NEAR(f.elastic / gamma, 5.85f, 0.15f);
}

TEST(ElectronFormFactor, ZeroDisplacementGivesNoAbsorptionAndNoDamping) {
  const float s = 0.26f, lambda = 0.02508f;
  const ElectronFormFactor f0 = electron_form_factor(14, s, 0.0f, true, lambda);
  EXPECT_EQ(f0.absorptive, 0.0f);
  // Undamped: the same as the amplitude with the thermal switch off.
  const float g = 12.566371f * s;
  const Amplitude a =
      scattering_amplitude(g, 0.0f, 14, accelerating_voltage_kv(lambda), false, true, false);
  EXPECT_EQ(f0.elastic, a.a / 12.566371f);
  // A displacement damps f_el by e^(-u² G²/2) = e^(-8π² u² s²).
  const float u = 0.076f;
  const ElectronFormFactor fu = electron_form_factor(14, s, u, false, lambda);
  EXPECT_NEAR(fu.elastic / f0.elastic,
              std::exp(-8.0 * std::numbers::pi * std::numbers::pi * u * u * s * s), 1e-5);
}

TEST(ElectronFormFactor, AbsorptivePartIsASmallPositiveFraction) {
  // Si 220 at 200 kV, u = 0.076 Å: f_abs/f_el of a few per cent.
  const ElectronFormFactor f = electron_form_factor(14, 0.2604f, 0.076f, true, 0.02508f);
  EXPECT_GT(f.absorptive, 0.0f);
  EXPECT_GT(f.absorptive / f.elastic, 0.005f);
  EXPECT_LT(f.absorptive / f.elastic, 0.1f);
  // The switch off, or u at the 1e-6 limit: no absorptive part.
  EXPECT_EQ(electron_form_factor(14, 0.2604f, 0.076f, false, 0.02508f).absorptive, 0.0f);
  EXPECT_EQ(electron_form_factor(14, 0.2604f, 1e-6f, true, 0.02508f).absorptive, 0.0f);
  // Heavier atoms absorb more.
  const ElectronFormFactor au = electron_form_factor(79, 0.2604f, 0.076f, true, 0.02508f);
  EXPECT_GT(au.absorptive, f.absorptive);
}

TEST(ElectronFormFactor, AbsorptionIntegralsHaveTheirZeroBranches) {
  const float p = 0.01f, q = 0.02f;
  EXPECT_FLOAT_EQ(absorption_integral_1(p, q, 0.0f),
                  common::kPi * (p * std::log((p + q) / p) + q * std::log((p + q) / q)));
  const float u = 0.08f, w = u * u;
  EXPECT_FLOAT_EQ(absorption_integral_2(p, q, 0.0f, u),
                  common::kPi * ((p + w) * std::log((p + q + w) / (p + w)) +
                                 q * std::log((p + q + w) / (q + w)) + w * std::log(w / (q + w))));
}

// The two kernels are plane integrals (Weickenmeier & Kohl 1991):
//   I1(p, q, G)    = ∫ d²k (1 − e^(−p k²)) (1 − e^(−q |G−k|²)) / (k² |G−k|²),
//   I2(p, q, G, u) = the same with the weight e^(−u² (k² + |G−k|²)/2),
// which the G = 0 branches of the form factors give in closed form. Here the
// analytic single-precision formulas are checked against a direct
// double-precision quadrature of these integrals (the integrand is smooth:
// (1 − e^(−p x))/x → p as x → 0).
double plane_integral(double p, double q, double g, double w, bool weighted) {
  auto f = [](double b, double x) { return x < 1e-14 ? b : (1.0 - std::exp(-b * x)) / x; };
  const int nr = 1200, nt = 180;  // k = 20 t/(1 − t), t in (0, 1); θ in (0, 2π)
  double sum = 0;
  for (int i = 0; i < nr; ++i) {
    const double t = (i + 0.5) / nr;
    const double k = 20.0 * t / (1.0 - t);
    const double dk = 20.0 / ((1.0 - t) * (1.0 - t)) / nr;
    double ring = 0;
    for (int j = 0; j < nt; ++j) {
      const double th = (j + 0.5) * 2.0 * std::numbers::pi / nt;
      const double kx = k * std::cos(th), ky = k * std::sin(th);
      const double k2 = k * k, m2 = (g - kx) * (g - kx) + ky * ky;
      double v = f(p, k2) * f(q, m2);
      if (weighted) v *= std::exp(-w * (k2 + m2) / 2.0);
      ring += v;
    }
    sum += ring * (2.0 * std::numbers::pi / nt) * k * dk;
  }
  return sum;
}

TEST(ElectronFormFactor, AbsorptionKernelsMatchTheirPlaneIntegrals) {
  // p, q = B/16π² of real rows, G = 4πs from 0.5 to 8 Å⁻¹, u = 0.076 and 0.1 Å.
  const double cases[][4] = {{0.011, 0.019, 0.5, 0.076},
                             {0.011, 0.019, 3.27, 0.076},
                             {0.0003, 0.5, 3.27, 0.076},
                             {0.2, 0.5, 6.0, 0.076},
                             {0.0109, 0.0003, 8.0, 0.1}};
  for (const auto& c : cases) {
    const double p = c[0], q = c[1], g = c[2], u = c[3];
    const double i1 = plane_integral(p, q, g, u * u, false);
    const double i2 = plane_integral(p, q, g, u * u, true);
    EXPECT_NEAR(absorption_integral_1(float(p), float(q), float(g)), i1, 1e-3 * i1)
        << p << " " << q << " " << g;
    EXPECT_NEAR(absorption_integral_2(float(p), float(q), float(g), float(u)), i2, 1e-3 * i2)
        << p << " " << q << " " << g;
  }
}

TEST(ElectronFormFactor, MatchesAnIndependentDoublePrecisionEvaluation) {
  // (f_el, f_abs) in Å at λ = 0.02508 Å, u = 0.076 Å, absorption on, from a
  // separate double-precision evaluation of the same algorithm (entry,
  // amplitude with γ and k, elastic and absorptive sums, both kernels, H, L
  // and Ei). Single precision agrees to a few 1e-5 relative; the large-s
  // f_abs rows are the small differences of large kernel terms.
  const struct {
    int z;
    float s, elastic, absorptive;
  } cases[] = {{14, 0.0f, 8.186481f, 0.05089065f},       {14, 0.13f, 5.324832f, 0.04902170f},
               {14, 0.26f, 2.532069f, 0.04455617f},      {14, 0.9f, 0.3066239f, 0.01857360f},
               {14, 2.5f, 0.003965939f, -0.0003669619f}, {79, 0.0f, 14.55349f, 0.9884576f},
               {79, 0.13f, 12.01027f, 0.9678810f},       {79, 0.26f, 7.893784f, 0.9111532f},
               {79, 0.9f, 1.358069f, 0.4400728f},        {79, 2.5f, 0.02072739f, -0.004887152f},
               {6, 0.0f, 3.462583f, 0.01218432f},        {6, 0.13f, 2.700758f, 0.01164164f},
               {6, 0.26f, 1.508662f, 0.01029709f},       {6, 0.9f, 0.1391719f, 0.003600074f},
               {6, 2.5f, 0.001784619f, -7.460913e-05f}};
  for (const auto& c : cases) {
    const ElectronFormFactor f = electron_form_factor(c.z, c.s, 0.076f, true, 0.02508f);
    EXPECT_NEAR(f.elastic, c.elastic, 2e-6f * std::fabs(c.elastic)) << "Z " << c.z << " s " << c.s;
    EXPECT_NEAR(f.absorptive, c.absorptive, 1e-4f * std::fabs(c.absorptive))
        << "Z " << c.z << " s " << c.s;
  }
}

TEST(ElectronFormFactor, ChecksStopWithTheirMessages) {
  EXPECT_EQ(stop_message([] { electron_form_factor(1, 0.1f, 0.05f, true, 0.02508f); }),
            "  Z =   1 THIS VALUE IS NOT SUPPLIED!");
  EXPECT_EQ(stop_message([] { electron_form_factor(0, 0.1f, 0.05f, true, 0.02508f); }),
            "  Z =   0 THIS VALUE IS NOT SUPPLIED!");
  EXPECT_EQ(stop_message([] { electron_form_factor(14, 0.1f, -0.01f, true, 0.02508f); }),
            "  UL =   -0.1000E-01 THIS VALUE IS NOT SUPPLIED!");
  EXPECT_EQ(stop_message([] { scattering_amplitude(-1.5f, 0.05f, 14, 200.0f, true, true, true); }),
            "  G =   -0.1500E+01 THIS VALUE IS NOT SUPPLIED!");
  EXPECT_EQ(stop_message([] { scattering_amplitude(1.5f, 0.05f, 14, -12.5f, true, true, true); }),
            "  ACCVLT =   -0.1250E+02 THIS VALUE IS NOT SUPPLIED!");
  // Order of the checks: Z first.
  EXPECT_EQ(stop_message([] { scattering_amplitude(-1.0f, -1.0f, 1, -1.0f, true, true, true); }),
            "  Z =   1 THIS VALUE IS NOT SUPPLIED!");
  // Beyond the table: the Z message too.
  EXPECT_EQ(stop_message([] { electron_form_factor(99, 0.1f, 0.05f, true, 0.02508f); }),
            "  Z =  99 THIS VALUE IS NOT SUPPLIED!");
  EXPECT_EQ(stop_message([] { electron_form_factor(1000, 0.1f, 0.05f, true, 0.02508f); }),
            "  Z = *** THIS VALUE IS NOT SUPPLIED!");
}

TEST(ElasticFactor, BranchesOfTheSum) {
  const float a[2] = {0.5f, 0.25f};
  // d = B s² > 20 for every term: each term is exactly A/s².
  const float big[6] = {100, 200, 300, 400, 500, 600};
  const float s = 0.5f;
  EXPECT_EQ(elastic_factor(a, big, s), 3 * (0.5f / (s * s)) + 3 * (0.25f / (s * s)));
  // d < 0.1: the series B (1 - d/2); at s = 0 exactly Σ A B.
  const float small[6] = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(elastic_factor(a, small, 0.0f),
            0.5f * 1 + 0.5f * 2 + 0.5f * 3 + 0.25f * 4 + 0.25f * 5 + 0.25f * 6);
  // In between: (1 - e^-d)/s².
  const float mid[6] = {4, 0, 0, 0, 0, 0};
  EXPECT_FLOAT_EQ(elastic_factor(a, mid, s),
                  0.5f * (1.0f - std::exp(-1.0f)) / (s * s) + 0.5f * 0 + 0.5f * 0 + 0);
}

}  // namespace
}  // namespace velmorant
