// Exponential of a complex single-precision matrix by scaling and squaring of a truncated Taylor series.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <complex>
#include <cstddef>
#include <vector>

#include <Eigen/Core>
#include "common/physical_constants.hpp"
#include "simulator/engine/matrix_product.hpp"

namespace velmorant {

// Complex single-precision matrix, column by column (element (r+1, c)
// follows element (r, c)), indexed from 0.
using ComplexMatrix =
    Eigen::Matrix<std::complex<float>, Eigen::Dynamic, Eigen::Dynamic, Eigen::ColMajor>;

// Stop the series when |term| / |sum| falls below this (the float nearest 1e-15).
inline constexpr float kSeriesRatioLimit = 1.0000002e-15f;
// Norms below this (2^-23), and norms that are not numbers, are raised to it.
inline constexpr float kSmallestNorm = common::kFloatEpsilon;
// Largest scaling exponent s: 2^s stays a finite float and the
// s squarings stay bounded even for a matrix that holds infinities.
inline constexpr int kMaxScalingExponent = 127;

using ComplexColumn = Eigen::Matrix<std::complex<float>, Eigen::Dynamic, 1>;
using ComplexRow = Eigen::Matrix<std::complex<float>, 1, Eigen::Dynamic>;

// The working matrices of one order: the exponent A, the result E, the
// series term and one product buffer, two rows and two columns for the
// last squarings of exponential_corner, and the normal components of one
// direction, and the packing buffers of the matrix products. About
// 4 (N + 1)^2 x 8 bytes plus the buffers (multiply.buffer_bytes(), which Eigen
// sizes from the order and the cache sizes: about a third of the matrices at
// large N): 8.03 + 2.42 MB per thread at N = 500. Allocate once per
// computation (one per thread) and reuse for every direction; nothing inside
// the exponential allocates.
struct ExponentialWorkspace {
  explicit ExponentialWorkspace(int order)
      : a(ComplexMatrix::Zero(order, order)),
        e(ComplexMatrix::Zero(order, order)),
        term(ComplexMatrix::Zero(order, order)),
        product(ComplexMatrix::Zero(order, order)),
        row(ComplexRow::Zero(order)),
        row_next(ComplexRow::Zero(order)),
        column(ComplexColumn::Zero(order)),
        column_next(ComplexColumn::Zero(order)),
        normal(std::size_t(order), 0.0f),
        multiply(order) {}
  int order() const { return int(a.rows()); }

  ComplexMatrix a;                    // exponent; the exponentials leave it divided by 2^s
  ComplexMatrix e;                    // result
  ComplexMatrix term;                 // current series term
  ComplexMatrix product;              // product buffer
  ComplexRow row, row_next;           // row 0 of powers of E (exponential_corner)
  ComplexColumn column, column_next;  // column 0 of powers of E (exponential_corner)
  std::vector<float> normal;  // normal components of k + g_r (Å^-1) of the current direction
  SquareProduct multiply;     // products of order x order matrices, bit for bit Eigen's
};

// sqrt(sum of re^2 + im^2 over all elements), summed in single precision in storage order.
float frobenius_norm(const ComplexMatrix& m);

// Scaling exponent s for a matrix of Frobenius norm `norm`: the smallest
// s >= 0 with norm / 2^s <= about 1. ln(norm) is taken in extended precision
// and divided by the float nearest ln 2; the quotient is rounded to double
// before the ceiling. Norms below 2^-23 or NaN count as 2^-23; the result is
// at most kMaxScalingExponent.
int scaling_exponent(float norm);

// e = I + a + a^2/2! + ... with at most `series_limit` terms after the
// identity; the series also stops (without adding the term) as soon as
// |term| / |e| < kSeriesRatioLimit. series_limit <= 0 gives the identity.
// `term` and `product` are working storage of a's size; `a` must not alias
// any of the three. Returns the number of terms added.
int taylor_exponential(const ComplexMatrix& a, int series_limit, ComplexMatrix& e,
                       ComplexMatrix& term, ComplexMatrix& product);

// ws.e = exp(ws.a): ws.a is divided by 2^s (s = scaling_exponent of its
// norm), the series of at most `series_limit` terms is summed, and the result
// is squared s times. 2^s is a floating-point power of two, exact for every
// s up to kMaxScalingExponent.
void matrix_exponential(ExponentialWorkspace& ws, int series_limit);

// How many of the s final squarings exponential_corner replaces by products
// with one row and one column, for matrices of order `order`: the last d
// squarings of E cost 2^d - 2 vector products instead of d matrix products,
// so d grows while the extra 2^(d-1) vector products (weighted by their
// poorer speed per operation) cost less than the matrix product they save.
int corner_squarings(int order, int s);

// exp(ws.a)(0,0), the one element a pixel needs, with the same mathematics as
// matrix_exponential (the same s, the same series and its ratio test, the
// same powers of two) but less work:
//  - the first series term is A itself (the product I A is exact);
//  - of the s squarings, the first s - d form whole matrices Q; the last d
//    are e0' Q^(2^d) e0 = (e0' Q^h)(Q^h e0), h = 2^(d-1), one row and one
//    column carried through h - 1 vector products each and then one dot product.
// The result differs from matrix_exponential(ws, limit), ws.e(0,0) only by
// rounding (the products are summed in another order). ws.a is left divided
// by 2^s; ws.e holds Q.
std::complex<float> exponential_corner(ExponentialWorkspace& ws, int series_limit);
// The same when frobenius_norm(ws.a) is already known (`norm`, bit for bit).
std::complex<float> exponential_corner(ExponentialWorkspace& ws, int series_limit, float norm);

// exponential_corner, and column 0 of exp(ws.a) in ws.column: the amplitudes
// of all beams leaving the slab for an incident wave in beam 0. The returned
// corner is exponential_corner's, bit for bit; ws.column(0) is the same
// element formed by the column products (it differs by rounding). The column
// costs h = 2^(d-1) matrix-vector products more than the corner (d of
// corner_squarings), about 1/order of a matrix product each.
std::complex<float> exponential_first_column(ExponentialWorkspace& ws, int series_limit,
                                             float norm);

}  // namespace velmorant
