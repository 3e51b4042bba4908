// Transmitted intensity of one incident direction at equally spaced thicknesses, one propagator product per step.
//
// The structure matrix of a direction does not depend on depth, so the
// exponent of a slab of thickness t is A(t) = (t / t1) A(t1) and the wave
// behind t + dt is exp(A(dt)) times the wave behind t. A matrix-vector
// product costs about 1/(2 order) of a matrix exponential, so the series is
// planned (series_plan) to need one exponential per direction, the
// propagator P = exp(A(h)) of a substep h = dt / q, and products only:
//  - the first thickness t0 = m h, a whole number of substeps, gives the
//    wave behind t0 as P^m e0, and every further thickness is q products on;
//  - when no substep up to 1/64 of dt divides t0, t0 = m dt + r and the wave
//    behind it is P^m exp(A(r)) e0; exp(A(r)) e0 is formed on the vector
//    alone (rest_wave) where that takes fewer operations than exp(A(r)),
//    otherwise as one exponential more;
//  - when that needs too many products, the wave behind t0 is column 0 of
//    exp(A(t0)) summed with the sampling method's series limit, like a
//    single pattern.
// P and exp(A(r)) are formed to single-precision accuracy whatever the
// method's series limit (scaled to a norm of at most 1, the Taylor
// polynomial of degree kPropagatorDegree, squared back). The rounding error
// of P, about eps ||A(h)||, adds up over k substeps to about eps ||A(k h)||:
// the size of the rounding error of a separate exponential at that
// thickness. No further scaling is done: every extra squaring would double
// the rounding error of P.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <array>

#include "simulator/beams/beam_list.hpp"
#include "simulator/engine/matrix_exponential.hpp"

namespace velmorant {

// Degree of the propagator's Taylor polynomial after scaling to a norm of at
// most 1: the first term left out is below 1 / 12! = 2.1e-9 of the sum.
inline constexpr int kPropagatorDegree = 11;

// Working storage of one thread: the exponential's matrices, the powers of
// the propagator's polynomial, and two waves.
struct SeriesWorkspace {
  explicit SeriesWorkspace(int order)
      : ws(order),
        a2(ComplexMatrix::Zero(order, order)),
        a3(ComplexMatrix::Zero(order, order)),
        a4(ComplexMatrix::Zero(order, order)),
        wave(ComplexColumn::Zero(order)),
        next(ComplexColumn::Zero(order)),
        term(ComplexColumn::Zero(order)),
        product(ComplexColumn::Zero(order)) {}
  int order() const { return ws.order(); }
  ExponentialWorkspace ws;
  ComplexMatrix a2, a3, a4;     // powers of the scaled exponent
  ComplexColumn wave, next;     // amplitudes of the beams at the current depth
  ComplexColumn term, product;  // working columns of rest_wave
};

// sw.ws.e = exp(sw.ws.a) accurate to about single-precision rounding: ws.a
// is divided by 2^s (s = scaling_exponent of its norm), the Taylor
// polynomial of degree kPropagatorDegree is evaluated in Paterson-Stockmeyer
// form (blocks of four terms: five matrix products instead of ten), and the
// result is squared s times. ws.a is left scaled.
void propagator_exponential(SeriesWorkspace& sw);

// sw.wave = exp(sw.ws.a) e0 (e0: the incident wave, transmitted beam only)
// by 2^s steps of the Taylor polynomial of degree kPropagatorDegree of
// A / 2^s (s = scaling_exponent of `norm`, frobenius_norm(sw.ws.a)) applied
// to the wave: kPropagatorDegree 2^s matrix-vector products instead of the
// matrix products of the exponential, to the same accuracy. ws.a is left
// scaled.
void rest_wave(SeriesWorkspace& sw, float norm);
// Whether rest_wave takes fewer operations than propagator_exponential for
// an exponent of Frobenius norm `norm` and order `order`.
bool rest_on_the_vector(float norm, int order);

// How a series is computed: the propagator's substep is step / substeps;
// steps = m substeps reach the first thickness after the exponential of the
// rest (Å along the surface normal, 0: none); steps = -1: the first
// thickness has its own exponential with the method's series limit.
struct SeriesPlan {
  int substeps = 1;
  int steps = -1;
  float rest = 0;
};
// The plan of count thicknesses from `first` in steps of `step` (Å) for
// matrices of `order`: the first of the three ways above whose products
// number at most 20 order (about the cost of one exponential).
SeriesPlan series_plan(float first, float step, int count, int order);

// Intensities of the transmitted beam behind count thicknesses, into
// out[0 .. count). w_step is the coupling matrix (build_coupling_matrix) of
// the substep, w_first that of the rest (plan.steps >= 0; not used when the
// rest is 0) or of the first thickness (plan.steps = -1, its exponential
// summed with `series_limit`, that of the sampling method). The workspace
// must have W's order (checked; std::invalid_argument otherwise).
void transmitted_series(const std::array<float, 3>& k, const ComplexMatrix& w_first,
                        const ComplexMatrix& w_step, const BeamList& beams, int series_limit,
                        int count, const SeriesPlan& plan, SeriesWorkspace& sw, float* out);

}  // namespace velmorant
