// Many-beam structure matrix of one incident direction and the transmitted intensity behind the slab.
#include "engine/scattering_matrix.hpp"

#include <cmath>
#include <stdexcept>

namespace velmorant {

void build_coupling_matrix(const BeamList& beams, float effective_thickness, float potential_factor,
                           const StructureFactorFn& structure_factor, const std::function<void()>& on_row,
                           ComplexMatrix& w) {
  const int order = beams.order();
  w.resize(order, order);
  const float c0 = kTwoPi * effective_thickness;
  const float c0k = c0 * potential_factor;
  for (int r = 0; r < order; ++r) {
    if (on_row) on_row();
    for (int c = 0; c < order; ++c) {
      if (r == c) {
        w(r, r) = std::complex<float>(0.0f, c0);
        continue;
      }
      const auto& hr = beams.miller[r];
      const auto& hc = beams.miller[c];
      const std::complex<float> f = structure_factor({hr[0] - hc[0], hr[1] - hc[1], hr[2] - hc[2]});
      w(r, c) = std::complex<float>(-(f.imag() * c0k), f.real() * c0k);
    }
  }
}

void build_exponent_matrix(const std::array<float, 3>& k, const ComplexMatrix& w, const BeamList& beams,
                           ComplexMatrix& a) {
  const int order = int(w.rows());
  const float k2 = k[0] * k[0] + k[1] * k[1] + k[2] * k[2];
  for (int c = 0; c < order; ++c) {
    const auto& gc = beams.lab_vector[c];
    const float nc = k[2] + gc[2];
    for (int r = 0; r < order; ++r) {
      const auto& gr = beams.lab_vector[r];
      const float nr = k[2] + gr[2];
      const float u = 2.0f * std::sqrt(nr * nc);
      const std::complex<float> wrc = w(r, c);
      if (r != c) {
        a(r, c) = std::complex<float>(wrc.real() / u, wrc.imag() / u);
      } else {
        const float kx = k[0] + gr[0];
        const float ky = k[1] + gr[1];
        const float excitation = k2 - (kx * kx + ky * ky + nr * nr);
        a(r, r) = std::complex<float>(wrc.real() * excitation / u, wrc.imag() * excitation / u);
      }
    }
  }
}

namespace {
void check_orders(const ComplexMatrix& w, const BeamList& beams, const ExponentialWorkspace& ws) {
  if (ws.order() != w.rows() || w.rows() != beams.order())
    throw std::invalid_argument("transmitted_intensity: workspace, coupling matrix and beam list differ in order");
}
}  // namespace

float transmitted_intensity(const std::array<float, 3>& k, const ComplexMatrix& w, const BeamList& beams,
                            int series_limit, ExponentialWorkspace& ws) {
  check_orders(w, beams, ws);
  build_exponent_matrix(k, w, beams, ws.a);
  const std::complex<float> e00 = exponential_corner(ws, series_limit);
  return e00.real() * e00.real() + e00.imag() * e00.imag();
}

float reference_transmitted_intensity(const std::array<float, 3>& k, const ComplexMatrix& w,
                                      const BeamList& beams, int series_limit, ExponentialWorkspace& ws) {
  check_orders(w, beams, ws);
  build_exponent_matrix(k, w, beams, ws.a);
  matrix_exponential(ws, series_limit);
  const std::complex<float> e00 = ws.e(0, 0);
  return e00.real() * e00.real() + e00.imag() * e00.imag();
}

}  // namespace velmorant
