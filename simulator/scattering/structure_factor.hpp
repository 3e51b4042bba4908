// Structure factors. All functions read the record passed in (the
// process-wide SimulationInput) and never modify it.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <array>
#include <complex>
#include <cstdint>

#include "simulator/input/simulation_input.hpp"

namespace velmorant {

using Miller = std::array<std::int32_t, 3>;

// s = 0.5·√(hklᵀ·G·hkl), G = reciprocal_metric: sin θ/λ = 1/(2d), Å⁻¹.
float scattering_vector_length(const SimulationInput& in, const Miller& hkl);

// Complex structure factor F(hkl) in Å (single-precision running sum).
// form_factor_model != 0: per site electron_form_factor with the `absorptive`
// switch (beam selection passes false, the scattering matrix true); may throw
// FormFactorStop. form_factor_model = 0: Mott–Bethe per species, then
// × exp(−B₀ s²). Never call it with (0,0,0) (s = 0).
std::complex<float> structure_factor(const SimulationInput& in, const Miller& hkl, bool absorptive);

// |F|² = Re² + Im² of structure_factor(hkl, false).
float structure_strength(const SimulationInput& in, const Miller& hkl);

// Mott–Bethe: 0.023933662·(Z − f_x(s))/s², Z = table_atomic_number.
// `species` is 0-based (species σ of the input file is species = σ − 1).
float electron_scattering_factor(const SimulationInput& in, int species, float s);

}  // namespace velmorant
