// Diagnostic listing of the prepared input (issue 3 item 5).
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <ostream>

#include "simulator/beams/beam_list.hpp"
#include "simulator/input/simulation_input.hpp"

namespace velmorant {

// Name of the environment variable that asks for the listing: the driver
// calls print_diagnostics(..., std::cerr) after read_simulation_input when it
// is set to "1".
inline constexpr const char* kDiagnosticsVariable = "VELMORANT_DIAGNOSTICS";

// Prints the derived quantities (cell volume, reciprocal basis and metric,
// orientation matrix, pixel scale, effective thickness, potential factor,
// wavelength and accelerating voltage, search box) and the beam list: the
// count N, then per beam its entry, h k l, the laboratory vector (Å⁻¹), |g|
// and the strength |F|² (structure_strength, recomputed here).
void print_diagnostics(const SimulationInput& in, const BeamList& beams, std::ostream& out);

}  // namespace velmorant
