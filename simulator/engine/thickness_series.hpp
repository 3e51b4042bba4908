// Transmitted intensity of one incident direction at equally spaced thicknesses, one propagator product per step.
//
// The structure matrix of a direction does not depend on depth, so the
// exponent of a slab of thickness t is A(t) = (t / t1) A(t1) and the wave
// behind t + dt is exp(A(dt)) times the wave behind t. The wave behind the
// first thickness is column 0 of exp(A(t0)), summed with the sampling
// method's series limit like a single pattern; every further thickness costs
// one matrix-vector product with the propagator P = exp(A(dt)). P is formed
// once per direction to single-precision accuracy (scaled to a norm of at
// most 1, kPropagatorTerms Taylor terms, squared back), whatever the method's
// series limit. Its rounding error, about eps ||A(dt)||, adds up over the k
// steps to about eps ||A(k dt)||: the size of the rounding error of a
// separate exponential at that thickness. No further scaling is done: every
// extra squaring would double the rounding error of P.
#pragma once

#include <array>

#include "beams/beam_list.hpp"
#include "engine/matrix_exponential.hpp"

namespace velmorant {

// Taylor terms of the propagator after scaling to a norm of at most 1: the
// first term left out is below 1 / 12! = 2.1e-9 of the sum.
inline constexpr int kPropagatorTerms = 11;

// Working storage of one thread: the exponential's matrices and two waves.
struct SeriesWorkspace {
  explicit SeriesWorkspace(int order) : ws(order), wave(ComplexColumn::Zero(order)), next(ComplexColumn::Zero(order)) {}
  int order() const { return ws.order(); }
  ExponentialWorkspace ws;
  ComplexColumn wave, next;  // amplitudes of the beams at the current depth
};

// ws.e = exp(ws.a) accurate to about single-precision rounding: ws.a is
// divided by 2^s (s = scaling_exponent of its norm), kPropagatorTerms terms
// of the series are summed, and the sum is squared s times. ws.a is left scaled.
void propagator_exponential(ExponentialWorkspace& ws);

// Intensities of the transmitted beam behind count thicknesses, into
// out[0 .. count): w_first is the coupling matrix (build_coupling_matrix) of
// the first thickness, w_step that of the step. `series_limit` is that of
// the sampling method, used for the first thickness only. The workspace must
// have W's order (checked; std::invalid_argument otherwise).
void transmitted_series(const std::array<float, 3>& k, const ComplexMatrix& w_first, const ComplexMatrix& w_step,
                        const BeamList& beams, int series_limit, int count, SeriesWorkspace& sw, float* out);

}  // namespace velmorant
