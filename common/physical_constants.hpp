// Mathematical and physical constants of the three programs, one source each, with their derivation.
//
// The single-precision literals are the values the programs have always computed with: a result
// rounds the same way on every compiler only if its constants are written out, not derived at
// compile time. physical_constants_test.cpp checks each literal against its derivation in double
// precision, to float precision (or to the digits it was published with, where stated).
#pragma once

namespace common {

// pi and 2 pi, rounded to the nearest float.
inline constexpr float kPi = 3.1415927f;
inline constexpr float kTwoPi = 6.2831855f;
inline constexpr float kFourPi = 12.566371f;

// 2^-23: the spacing of floats just above 1 (FLT_EPSILON). Used as the absolute tolerance of a
// singular 3x3 determinant and as the smallest matrix norm the exponential scales.
inline constexpr float kFloatEpsilon = 1.1920929e-7f;

// ln 2 rounded to float: the scaling-and-squaring step count is log2 of the norm.
inline constexpr float kLn2 = 0.6931472f;

// Electron wavelength and accelerating voltage (relativistic):
//   E [kV] = hc · sqrt(1/lambda^2 + 1/lambda_C^2) - m_e c^2,
// with hc = 12.398419 keV Å, m_e c^2 = 510.99893 keV and the Compton wavelength
// lambda_C = h / (m_e c) = hc / (m_e c^2) = 0.024263102 Å, so 1/lambda_C^2 = 1698.6635 Å^-2.
inline constexpr float kPlanckTimesLightKevAngstrom = 12.398419f;  // hc, keV Å
inline constexpr float kElectronRestEnergyKev = 510.99893f;        // m_e c^2, keV
inline constexpr float kInverseComptonWavelengthSquared = 1698.6635f;  // 1/lambda_C^2, Å^-2

// Mott–Bethe factor: f_el(s) = (Z - f_x(s)) / (8 pi^2 a0 s^2) with s = sin(theta)/lambda in Å^-1
// and the Bohr radius a0 = 0.52917721 Å, so 1/(8 pi^2 a0) = 0.023933662 Å.
inline constexpr float kBohrRadiusAngstrom = 0.52917721f;
inline constexpr float kMottBetheFactor = 0.023933662f;  // 1/(8 pi^2 a0), Å

}  // namespace common
