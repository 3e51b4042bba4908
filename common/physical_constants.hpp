// Mathematical and physical constants of the three programs, one source each, with their derivation.
//
// The single-precision literals are the values the programs have always computed with: a result
// rounds the same way on every compiler only if its constants are written out, not derived at
// compile time. physical_constants_test.cpp checks each literal against its derivation in double
// precision, to float precision (or to the digits it was published with, where stated).
// SPDX-License-Identifier: BSD-3-Clause
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

// CODATA 2018 (double precision): the electron's rest energy, m_e c^2 = 0.51099895000 MeV, and
// h c = 1.239841984e-6 eV m, exact since the 2019 SI (h and c fixed), written here in keV Å.
// electron_wavelength.hpp converts between wavelength and voltage with these.
inline constexpr double kElectronRestEnergyKevCodata2018 = 510.99895000;         // m_e c^2, keV
inline constexpr double kPlanckTimesLightKevAngstromExact = 12.398419843320026;  // hc, keV Å

// The single-precision electron constants of the simulator's form factors and potentials:
//   E [kV] = hc · sqrt(1/lambda^2 + 1/lambda_C^2) - m_e c^2,
// with the Compton wavelength lambda_C = h / (m_e c) = hc / (m_e c^2) = 0.024263102 Å.
// hc, 1/lambda_C^2 and lambda_C^2 are the floats nearest to their CODATA 2018 values. The rest
// energy is CODATA 2010's 510.998928 keV to eight figures: the float of the 2018 value lies one
// float spacing (3.1e-5 keV) higher, and Velmorant's results were computed with this one.
inline constexpr float kPlanckTimesLightKevAngstrom = 12.398419f;      // hc, keV Å
inline constexpr float kElectronRestEnergyKev = 510.99893f;            // m_e c^2, keV
inline constexpr float kInverseComptonWavelengthSquared = 1698.6635f;  // 1/lambda_C^2, Å^-2
// lambda_C^2 = 1/1698.6635 Å^2: the relativistic factor of the electron is
// gamma = sqrt(1 + lambda_C^2 / lambda^2) (the potential factor of the input reader).
inline constexpr float kComptonWavelengthSquared = 0.00058869814f;  // lambda_C^2, Å^2

// Mott–Bethe factor: f_el(s) = (Z - f_x(s)) / (8 pi^2 a0 s^2) with s = sin(theta)/lambda in Å^-1
// and the Bohr radius a0 = 0.52917721 Å, so 1/(8 pi^2 a0) = 0.023933662 Å.
inline constexpr float kBohrRadiusAngstrom = 0.52917721f;
inline constexpr float kMottBetheFactor = 0.023933662f;  // 1/(8 pi^2 a0), Å

// The same factor as Weickenmeier and Kohl published it with their fitted form factors
// (Acta Cryst. A47 (1991) 590): 0.02395 Å, 0.07 % above 1/(8 pi^2 a0). Their coefficients
// were fitted with it, so the form factors keep it.
inline constexpr float kWeickenmeierKohlMottBetheFactor = 0.02395f;  // Å

// The relativistic corrections of the Weickenmeier–Kohl form factors use the rest energy
// rounded to 511 keV: gamma = (E + 511) / 511, and the wave number
// k = 2 pi / lambda = (2 pi / hc) · sqrt(E^2 + 1022 E) with 2 pi / hc = 0.50677 Å^-1 keV^-1,
// published as 0.5068.
inline constexpr float kRoundedRestEnergyKev = 511.0f;        // m_e c^2 to 3 figures, keV
inline constexpr float kTwiceRoundedRestEnergyKev = 1022.0f;  // 2 m_e c^2, keV
inline constexpr float kWaveNumberPerRootKev = 0.5068f;       // 2 pi / hc, Å^-1 keV^-1

}  // namespace common
