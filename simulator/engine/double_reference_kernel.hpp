// Test yardstick: the transmitted intensity of one direction in double precision with an exact exponential.
//
// The exponent matrix is built from the same single-precision inputs as the
// engine's (wave vector, beam vectors, coupling matrix), but every step is
// carried out in double: the excitation term as -(2 k.g + |g|^2), the
// geometric factors, and exp(A) by a Taylor series of the scaled matrix
// (norm at most 1/2), summed until the terms no longer change the sum, then
// squared back. Its error is a few units of 1e-16 times the number of
// squarings, far below anything single precision can resolve, so the
// difference to the engine is the engine's own error.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <array>
#include <cmath>
#include <complex>

#include <Eigen/Core>

#include "simulator/beams/beam_list.hpp"
#include "simulator/engine/matrix_exponential.hpp"

namespace velmorant::testing {

using ComplexMatrixD = Eigen::Matrix<std::complex<double>, Eigen::Dynamic, Eigen::Dynamic>;

// exp(a) by scaling and squaring a Taylor series to full double precision.
inline ComplexMatrixD exact_exponential(const ComplexMatrixD& a) {
  const double norm = a.norm();
  int s = 0;
  while (std::ldexp(norm, -s) > 0.5) ++s;
  const ComplexMatrixD scaled = a * std::ldexp(1.0, -s);
  const Eigen::Index n = a.rows();
  ComplexMatrixD sum = ComplexMatrixD::Identity(n, n);
  ComplexMatrixD term = ComplexMatrixD::Identity(n, n);
  // With norm <= 1/2 the j-th term is below 2^-j / j!: 30 terms reach 1e-40.
  for (int j = 1; j <= 30; ++j) {
    term = (term * scaled) / double(j);
    sum += term;
  }
  for (int q = 0; q < s; ++q) sum = (sum * sum).eval();
  return sum;
}

// Exponent matrix of wave vector k (Å^-1) in double precision:
//   A(r, c) = W(r, c) / (2 sqrt(n_r n_c)),  A(r, r) = W(r, r) (-(2 k.g_r + |g_r|^2)) / (2 n_r).
inline ComplexMatrixD exponent_matrix_double(const std::array<float, 3>& k, const ComplexMatrix& w,
                                             const BeamList& beams) {
  const int order = int(w.rows());
  ComplexMatrixD a(order, order);
  for (int c = 0; c < order; ++c) {
    const auto& gc = beams.lab_vector[std::size_t(c)];
    const double nc = double(k[2]) + gc[2];
    for (int r = 0; r < order; ++r) {
      const auto& gr = beams.lab_vector[std::size_t(r)];
      const double nr = double(k[2]) + gr[2];
      const std::complex<double> wrc(w(r, c).real(), w(r, c).imag());
      if (r != c) {
        a(r, c) = wrc / (2.0 * std::sqrt(nr * nc));
      } else {
        double kg = 0, g2 = 0;
        for (int x = 0; x < 3; ++x) {
          kg += double(k[std::size_t(x)]) * gr[std::size_t(x)];
          g2 += double(gr[std::size_t(x)]) * gr[std::size_t(x)];
        }
        a(r, r) = wrc * (-(2.0 * kg + g2)) / (2.0 * nr);
      }
    }
  }
  return a;
}

// |exp(A)(0,0)|^2 in double precision.
inline double reference_intensity_double(const std::array<float, 3>& k, const ComplexMatrix& w,
                                         const BeamList& beams) {
  const ComplexMatrixD e = exact_exponential(exponent_matrix_double(k, w, beams));
  return std::norm(e(0, 0));
}

}  // namespace velmorant::testing
