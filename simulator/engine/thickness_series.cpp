// Transmitted intensity of one incident direction at equally spaced thicknesses, one propagator product per step.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/engine/thickness_series.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "simulator/engine/scattering_matrix.hpp"

namespace velmorant {

namespace {

// 1 / j! for j = 0 .. 11.
constexpr float kInverseFactorial[12] = {
    1.0f,       1.0f,        0.5f,         1.0f / 6,      1.0f / 24,      1.0f / 120,
    1.0f / 720, 1.0f / 5040, 1.0f / 40320, 1.0f / 362880, 1.0f / 3628800, 1.0f / 39916800};

// m = c0 I + c1 A + c2 A^2 + c3 A^3 (+= when `add`), for the block of terms 4b .. 4b + 3.
void add_block(const SeriesWorkspace& sw, const ComplexMatrix& a, int block, ComplexMatrix& m) {
  const float* c = kInverseFactorial + 4 * block;
  m += c[1] * a + c[2] * sw.a2 + c[3] * sw.a3;
  m.diagonal().array() += c[0];
}

}  // namespace

void propagator_exponential(SeriesWorkspace& sw) {
  static_assert(kPropagatorDegree == 11, "three blocks of four terms");
  ExponentialWorkspace& ws = sw.ws;
  const int s = scaling_exponent(frobenius_norm(ws.a));
  ws.a /= std::ldexp(1.0f, s);  // exact: a power of two
  const ComplexMatrix& a = ws.a;
  ws.multiply(a, a, sw.a2);
  ws.multiply(sw.a2, a, sw.a3);
  ws.multiply(sw.a2, sw.a2, sw.a4);
  // e = B0 + A^4 (B1 + A^4 B2), B_b the block of terms 4b .. 4b + 3.
  ws.term.setZero();
  add_block(sw, a, 2, ws.term);
  ws.multiply(sw.a4, ws.term, ws.e);
  add_block(sw, a, 1, ws.e);
  ws.multiply(sw.a4, ws.e, ws.term);
  add_block(sw, a, 0, ws.term);
  ws.e.swap(ws.term);
  for (int q = 0; q < s; ++q) {
    ws.multiply(ws.e, ws.e, ws.product);
    ws.e.swap(ws.product);
  }
}

void rest_wave(SeriesWorkspace& sw, float norm) {
  ExponentialWorkspace& ws = sw.ws;
  const int s = scaling_exponent(norm);
  ws.a /= std::ldexp(1.0f, s);  // exact: a power of two
  sw.wave.setZero();
  sw.wave(0) = 1.0f;
  for (long piece = 0; piece < (1L << s); ++piece) {
    // next = sum over j of (A/2^s)^j wave / j!, each term from the one before.
    sw.term = sw.wave;
    sw.next = sw.wave;
    for (int j = 1; j <= kPropagatorDegree; ++j) {
      sw.product.noalias() = ws.a * sw.term;
      sw.term = sw.product / float(j);
      sw.next += sw.term;
    }
    sw.wave.swap(sw.next);
  }
}

bool rest_on_the_vector(float norm, int order) {
  const int s = scaling_exponent(norm);
  if (s > 20) return false;
  // Matrix-vector products of rest_wave against the matrix products of
  // propagator_exponential (five, then s squarings), each counted in
  // multiplications of an element pair.
  const double on_vector = double(kPropagatorDegree) * std::ldexp(1.0, s) * order * order;
  const double on_matrix = (5.0 + s) * double(order) * order * order;
  return on_vector < on_matrix;
}

SeriesPlan series_plan(float first, float step, int count, int order) {
  if (!(step > 0.0f) || !(first >= 0.0f) || count < 1) return {};
  const double budget = 20.0 * order, later = double(count - 1);
  // A substep that divides the first thickness (to float rounding).
  for (int q = 1; q <= 64; ++q) {
    const double ratio = double(first) * q / double(step);
    const double m = std::round(ratio);
    if (std::fabs(ratio - m) <= 1e-6 * std::max(1.0, ratio) && m + q * later <= budget)
      return {q, int(m), 0.0f};
  }
  // Whole steps and a rest.
  const double m = std::floor(double(first) / double(step));
  if (m + later <= budget) return {1, int(m), float(double(first) - m * double(step))};
  return {};
}

void transmitted_series(const std::array<float, 3>& k, const ComplexMatrix& w_first,
                        const ComplexMatrix& w_step, const BeamList& beams, int series_limit,
                        int count, const SeriesPlan& plan, SeriesWorkspace& sw, float* out) {
  const bool own = plan.steps < 0, rest = !own && plan.rest != 0.0f;
  if (sw.order() != beams.order() || w_step.rows() != beams.order() ||
      ((own || rest) && w_first.rows() != beams.order()))
    throw std::invalid_argument(
        "transmitted_series: workspace, coupling matrices and beam list differ in order");
  ExponentialWorkspace& ws = sw.ws;
  if (own) {
    // The wave behind the first thickness: column 0 of its exponential.
    build_exponent_matrix(k, w_first, beams, ws.a);
    matrix_exponential(ws, series_limit);
    sw.wave = ws.e.col(0);
  } else if (rest) {
    const float norm = build_exponent_matrix_with_norm(k, w_first, beams, ws.normal.data(), ws.a);
    if (rest_on_the_vector(norm, beams.order())) {
      rest_wave(sw, norm);
    } else {
      propagator_exponential(sw);
      sw.wave = ws.e.col(0);
    }
  } else {
    sw.wave.setZero();
    sw.wave(0) = 1.0f;
  }
  if (count > 1 || plan.steps > 0) {
    build_exponent_matrix(k, w_step, beams, ws.a);
    propagator_exponential(sw);
  }
  auto step = [&sw, &ws] {
    sw.next.noalias() = ws.e * sw.wave;
    sw.wave.swap(sw.next);
  };
  for (int m = 0; m < plan.steps; ++m) step();
  for (int t = 0; t < count; ++t) {
    const std::complex<float> e0 = sw.wave(0);
    out[t] = e0.real() * e0.real() + e0.imag() * e0.imag();
    if (t + 1 < count)
      for (int q = 0; q < plan.substeps; ++q) step();
  }
}

}  // namespace velmorant
