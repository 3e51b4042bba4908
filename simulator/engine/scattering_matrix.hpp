// Many-beam structure matrix of one incident direction and the transmitted intensity behind the slab.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <array>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "simulator/beams/beam_list.hpp"
#include "simulator/engine/matrix_exponential.hpp"
#include "common/physical_constants.hpp"

namespace velmorant {

using common::kTwoPi;  // 2 pi as a single-precision constant

// Complex structure factor (Å) of the reflection with Miller indices hkl, absorptive part included.
using StructureFactorFn =
    std::function<std::complex<float>(const std::array<std::int32_t, 3>& hkl)>;

// Coupling matrix W of order N + 1 (N = beams.count): everything of the
// structure matrix that does not depend on the direction.
//   W(r, r) = i 2 pi t
//   W(r, c) = F(h_r - h_c) * i 2 pi t K      (r != c)
// t = effective thickness (Å), K = potential factor (Å^-2 per Å of structure
// factor). `on_row` is called once at the start of each row r (it keeps the
// progress window alive during long set-ups); it may be empty.
// w is resized to the order N + 1 (the only allocation).
void build_coupling_matrix(const BeamList& beams, float effective_thickness, float potential_factor,
                           const StructureFactorFn& structure_factor,
                           const std::function<void()>& on_row, ComplexMatrix& w);

// Exponent matrix A = 2 pi i t x (symmetric structure matrix) for the incident
// wave vector k (Å^-1, |k| = 1/lambda), written into `a` (already of W's order):
//   n_r = third component of k + g_r (surface normal along the optical axis)
//   A(r, c) = W(r, c) / (2 sqrt(n_r n_c))                      (r != c)
//   A(r, r) = W(r, r) (-(2 k.g_r + |g_r|^2)) / (2 sqrt(n_r n_r))
// The excitation term -(2 k.g + |g|^2) equals |k|^2 - |k + g|^2 but is formed
// without subtracting two numbers near 1/lambda^2 (see the source).
// A beam running backwards (n_r < 0) gives values that are not numbers; they
// are left to propagate into the intensity.
void build_exponent_matrix(const std::array<float, 3>& k, const ComplexMatrix& w,
                           const BeamList& beams, ComplexMatrix& a);
// The same, with the normal components n_r kept in `normal` (order floats of
// working storage); returns frobenius_norm(a), summed in the same order.
float build_exponent_matrix_with_norm(const std::array<float, 3>& k, const ComplexMatrix& w,
                                      const BeamList& beams, float* normal, ComplexMatrix& a);

// |E(0,0)|^2 with E = exp(A(k)), the series cut after at most `series_limit`
// terms: the fraction of the incident intensity left in the transmitted beam.
// Only E(0,0) is formed in the last squarings (exponential_corner).
// ws must have W's order (checked; std::invalid_argument otherwise).
float transmitted_intensity(const std::array<float, 3>& k, const ComplexMatrix& w,
                            const BeamList& beams, int series_limit, ExponentialWorkspace& ws);

// The intensities |E(b,0)|^2 of every beam b = 0..N behind the slab, into
// out[b * stride] (stride in floats: the pages of a BeamStack are a
// PatternImage apart). out[0] is transmitted_intensity's value bit for bit;
// the diffracted beams come from column 0 of E (exponential_first_column).
// Returns out[0]. ws must have W's order (checked).
float beam_intensities(const std::array<float, 3>& k, const ComplexMatrix& w, const BeamList& beams,
                       int series_limit, ExponentialWorkspace& ws, float* out, std::size_t stride);

// The same intensity computed the straightforward way: the whole matrix
// exponential (matrix_exponential), then its (0,0) element. Kept as the
// yardstick of transmitted_intensity in the tests and the benchmark; agrees
// with it to single-precision rounding.
float reference_transmitted_intensity(const std::array<float, 3>& k, const ComplexMatrix& w,
                                      const BeamList& beams, int series_limit,
                                      ExponentialWorkspace& ws);

}  // namespace velmorant
