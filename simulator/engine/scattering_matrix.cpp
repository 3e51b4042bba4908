// Many-beam structure matrix of one incident direction and the transmitted intensity behind the slab.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/engine/scattering_matrix.hpp"

#include <cmath>
#include <stdexcept>
#include <vector>

namespace velmorant {

void build_coupling_matrix(const BeamList& beams, float effective_thickness, float potential_factor,
                           const StructureFactorFn& structure_factor,
                           const std::function<void()>& on_row, ComplexMatrix& w) {
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

float build_exponent_matrix_with_norm(const std::array<float, 3>& k, const ComplexMatrix& w,
                                      const BeamList& beams, float* normal, ComplexMatrix& a) {
  const int order = int(w.rows());
  // Normal components n_r of k + g_r, once per direction: the element loop
  // below then runs over contiguous floats.
  for (int r = 0; r < order; ++r) normal[r] = k[2] + beams.lab_vector[std::size_t(r)][2];
  float sum = 0.0f;  // frobenius_norm(a)^2, summed in storage order
  for (int c = 0; c < order; ++c) {
    const float nc = normal[c];
    const std::complex<float>* wc = w.data() + std::ptrdiff_t(c) * order;
    std::complex<float>* ac = a.data() + std::ptrdiff_t(c) * order;
    for (int r = 0; r < order; ++r) {
      const float u = 2.0f * std::sqrt(normal[r] * nc);
      ac[r] = std::complex<float>(wc[r].real() / u, wc[r].imag() / u);
    }
    // Diagonal: the excitation term |k|^2 - |k + g|^2 = -(2 k.g + |g|^2).
    // Written this way it has no cancellation: |k|^2 and |k + g|^2 are both
    // near 1/lambda^2 (1590 Å^-2 at 200 kV), and their difference in single
    // precision would lose about 4 of its 7 digits, an error that 2 pi t
    // then multiplies into the phase of every beam.
    const auto& g = beams.lab_vector[std::size_t(c)];
    const float kg = k[0] * g[0] + k[1] * g[1] + k[2] * g[2];
    const float g2 = g[0] * g[0] + g[1] * g[1] + g[2] * g[2];
    const float excitation = -(2.0f * kg + g2);
    const float u = 2.0f * std::sqrt(nc * nc);
    const std::complex<float> wcc = wc[c];
    ac[c] = std::complex<float>(wcc.real() * excitation / u, wcc.imag() * excitation / u);
    for (int r = 0; r < order; ++r)
      sum += ac[r].real() * ac[r].real() + ac[r].imag() * ac[r].imag();
  }
  return std::sqrt(sum);
}

void build_exponent_matrix(const std::array<float, 3>& k, const ComplexMatrix& w,
                           const BeamList& beams, ComplexMatrix& a) {
  std::vector<float> normal(std::size_t(w.rows()));
  build_exponent_matrix_with_norm(k, w, beams, normal.data(), a);
}

namespace {
void check_orders(const ComplexMatrix& w, const BeamList& beams, const ExponentialWorkspace& ws) {
  if (ws.order() != w.rows() || w.rows() != beams.order())
    throw std::invalid_argument(
        "transmitted_intensity: workspace, coupling matrix and beam list differ in order");
}
}  // namespace

float transmitted_intensity(const std::array<float, 3>& k, const ComplexMatrix& w,
                            const BeamList& beams, int series_limit, ExponentialWorkspace& ws) {
  check_orders(w, beams, ws);
  const float norm = build_exponent_matrix_with_norm(k, w, beams, ws.normal.data(), ws.a);
  const std::complex<float> e00 = exponential_corner(ws, series_limit, norm);
  return e00.real() * e00.real() + e00.imag() * e00.imag();
}

float beam_intensities(const std::array<float, 3>& k, const ComplexMatrix& w, const BeamList& beams,
                       int series_limit, ExponentialWorkspace& ws, float* out, std::size_t stride) {
  check_orders(w, beams, ws);
  const float norm = build_exponent_matrix_with_norm(k, w, beams, ws.normal.data(), ws.a);
  const std::complex<float> e00 = exponential_first_column(ws, series_limit, norm);
  const float transmitted = e00.real() * e00.real() + e00.imag() * e00.imag();
  out[0] = transmitted;
  const int order = ws.order();
  for (int b = 1; b < order; ++b) {
    const std::complex<float> e = ws.column(b);
    out[std::size_t(b) * stride] = e.real() * e.real() + e.imag() * e.imag();
  }
  return transmitted;
}

float reference_transmitted_intensity(const std::array<float, 3>& k, const ComplexMatrix& w,
                                      const BeamList& beams, int series_limit,
                                      ExponentialWorkspace& ws) {
  check_orders(w, beams, ws);
  build_exponent_matrix_with_norm(k, w, beams, ws.normal.data(), ws.a);
  matrix_exponential(ws, series_limit);
  const std::complex<float> e00 = ws.e(0, 0);
  return e00.real() * e00.real() + e00.imag() * e00.imag();
}

}  // namespace velmorant
