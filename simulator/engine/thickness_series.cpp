// Transmitted intensity of one incident direction at equally spaced thicknesses, one propagator product per step.
#include "engine/thickness_series.hpp"

#include <cmath>
#include <stdexcept>

#include "engine/scattering_matrix.hpp"

namespace velmorant {

void propagator_exponential(ExponentialWorkspace& ws) {
  const int s = scaling_exponent(frobenius_norm(ws.a));
  ws.a /= std::ldexp(1.0f, s);  // exact: a power of two
  taylor_exponential(ws.a, kPropagatorTerms, ws.e, ws.term, ws.product);
  for (int q = 0; q < s; ++q) {
    ws.product.noalias() = ws.e * ws.e;
    ws.e.swap(ws.product);
  }
}

void transmitted_series(const std::array<float, 3>& k, const ComplexMatrix& w_first, const ComplexMatrix& w_step,
                        const BeamList& beams, int series_limit, int count, SeriesWorkspace& sw, float* out) {
  if (sw.order() != beams.order() || w_first.rows() != beams.order() || w_step.rows() != beams.order())
    throw std::invalid_argument("transmitted_series: workspace, coupling matrices and beam list differ in order");
  ExponentialWorkspace& ws = sw.ws;
  // The wave behind the first thickness: column 0 of its exponential.
  build_exponent_matrix(k, w_first, beams, ws.a);
  matrix_exponential(ws, series_limit);
  sw.wave = ws.e.col(0);
  if (count > 1) {
    build_exponent_matrix(k, w_step, beams, ws.a);
    propagator_exponential(ws);
  }
  for (int t = 0; t < count; ++t) {
    const std::complex<float> e0 = sw.wave(0);
    out[t] = e0.real() * e0.real() + e0.imag() * e0.imag();
    if (t + 1 < count) {
      sw.next.noalias() = ws.e * sw.wave;
      sw.wave.swap(sw.next);
    }
  }
}

}  // namespace velmorant
