// Exponential of a complex single-precision matrix by scaling and squaring of a truncated Taylor series.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/engine/matrix_exponential.hpp"

#include <cmath>
#include <cstdint>
#include "common/physical_constants.hpp"

namespace velmorant {

float frobenius_norm(const ComplexMatrix& m) {
  const std::complex<float>* p = m.data();
  const Eigen::Index n = m.size();
  float sum = 0.0f;
  for (Eigen::Index k = 0; k < n; ++k) {
    const float re = p[k].real();
    const float im = p[k].imag();
    sum += re * re + im * im;
  }
  return std::sqrt(sum);
}

int scaling_exponent(float norm) {
  if (!(norm >= kSmallestNorm)) norm = kSmallestNorm;  // also catches NaN
  if (std::isinf(norm)) return kMaxScalingExponent;
  const long double ln_norm = std::log(static_cast<long double>(norm));
  const double quotient = static_cast<double>(ln_norm / static_cast<long double>(common::kLn2));
  const double s = std::ceil(quotient);
  if (s <= 0.0) return 0;
  if (s >= kMaxScalingExponent) return kMaxScalingExponent;
  return static_cast<int>(s);
}

namespace {

// The series of taylor_exponential with the products formed by `multiply`.
template <class Multiply>
int taylor_series(const ComplexMatrix& a, int series_limit, ComplexMatrix& e, ComplexMatrix& term,
                  ComplexMatrix& product, Multiply&& multiply) {
  term.setIdentity();
  e.setIdentity();
  int added = 0;
  for (int j = 1; j <= series_limit; ++j) {
    multiply(term, a, product);
    const float divisor = static_cast<float>(j);
    term = product / divisor;
    const float ratio = frobenius_norm(term) / frobenius_norm(e);
    if (ratio < kSeriesRatioLimit) break;
    e += term;
    ++added;
    // A NaN or an overflow never meets the ratio test; the sum is then no
    // longer a number, and no further term can make it one.
    if (!std::isfinite(ratio)) break;
  }
  return added;
}

}  // namespace

int taylor_exponential(const ComplexMatrix& a, int series_limit, ComplexMatrix& e,
                       ComplexMatrix& term, ComplexMatrix& product) {
  return taylor_series(a, series_limit, e, term, product,
                       [](const ComplexMatrix& l, const ComplexMatrix& r, ComplexMatrix& d) {
                         d.noalias() = l * r;
                       });
}

void matrix_exponential(ExponentialWorkspace& ws, int series_limit) {
  const int s = scaling_exponent(frobenius_norm(ws.a));
  const float m = std::ldexp(1.0f, s);
  ws.a = ws.a / m;  // exact: a power of two
  taylor_series(ws.a, series_limit, ws.e, ws.term, ws.product, ws.multiply);
  for (int q = 0; q < s; ++q) {
    ws.multiply(ws.e, ws.e, ws.product);
    ws.e.swap(ws.product);
  }
}

namespace {
// A product of a row or a column with a matrix of order n does 1/n of the
// work of a matrix product, but at a lower speed per operation (it reads
// the whole matrix once for every 8n operations); this is that slowdown, as
// measured on x86-64 cores for orders 16 to 128.
constexpr int kVectorProductSlowdown = 4;

// The first pass after scaling, fused: a = a * 2^-s (exact: a power of two),
// candidate = I + a, and the two norms, each summed in storage order exactly
// as frobenius_norm would sum it. Every element of `candidate` is written.
void scale_and_add_identity(ComplexMatrix& a, float inverse_scale, ComplexMatrix& candidate,
                            float& a_norm, float& candidate_norm) {
  const Eigen::Index n = a.rows();
  float sum_a = 0.0f, sum_c = 0.0f;
  for (Eigen::Index c = 0; c < n; ++c) {
    std::complex<float>* p = a.data() + c * n;
    std::complex<float>* q = candidate.data() + c * n;
    for (Eigen::Index r = 0; r < n; ++r) {
      const float re = p[r].real() * inverse_scale;
      const float im = p[r].imag() * inverse_scale;
      p[r] = std::complex<float>(re, im);
      const float one = r == c ? 1.0f : 0.0f;
      const float sre = one + re;  // 0 + (-0) is +0, as in the sum I + A
      const float sim = 0.0f + im;
      q[r] = std::complex<float>(sre, sim);
      sum_a += re * re + im * im;
      sum_c += sre * sre + sim * sim;
    }
  }
  a_norm = std::sqrt(sum_a);
  candidate_norm = std::sqrt(sum_c);
}

// One series step after the product, fused: t = t / divisor (the new term,
// in place), candidate = e + t, and the norms of both, each summed in
// storage order as frobenius_norm would sum it.
void divide_and_add(ComplexMatrix& t, float divisor, const ComplexMatrix& e,
                    ComplexMatrix& candidate, float& t_norm, float& candidate_norm) {
  std::complex<float>* p = t.data();
  const std::complex<float>* q = e.data();
  std::complex<float>* o = candidate.data();
  const Eigen::Index n = t.size();
  float sum_t = 0.0f, sum_c = 0.0f;
  for (Eigen::Index k = 0; k < n; ++k) {
    const float re = p[k].real() / divisor;
    const float im = p[k].imag() / divisor;
    p[k] = std::complex<float>(re, im);
    const float sre = q[k].real() + re;
    const float sim = q[k].imag() + im;
    o[k] = std::complex<float>(sre, sim);
    sum_t += re * re + im * im;
    sum_c += sre * sre + sim * sim;
  }
  t_norm = std::sqrt(sum_t);
  candidate_norm = std::sqrt(sum_c);
}
}  // namespace

int corner_squarings(int order, int s) {
  int d = 0;
  // 0 -> 1 replaces a matrix product by a dot product: always worth it. Each
  // further step d -> d + 1 costs 2^d vector products and saves one matrix product.
  while (d < s && (d == 0 || (std::int64_t(kVectorProductSlowdown) << d) < order)) ++d;
  return d;
}

std::complex<float> exponential_corner(ExponentialWorkspace& ws, int series_limit) {
  return exponential_corner(ws, series_limit, frobenius_norm(ws.a));
}

namespace {
// The body of exponential_corner; with kWholeColumn it also carries column 0
// of Q^h on through h more products with Q, leaving column 0 of E in
// ws.column. The corner it returns is the same, bit for bit, either way.
template <bool kWholeColumn>
std::complex<float> corner_and_column(ExponentialWorkspace& ws, int series_limit, float norm) {
  const int s = scaling_exponent(norm);
  const int order = ws.order();
  // frobenius_norm of the identity: a sum of `order` ones, exact in single precision.
  const float identity_norm = std::sqrt(static_cast<float>(order));
  bool identity = true;
  if (series_limit >= 1) {
    // First term: I A / 1 = A itself (the product I A is exact), so A, once
    // divided by 2^s, serves as the term; E = I + A is formed in the same pass.
    float a_norm = 0.0f, e_norm = 0.0f;
    scale_and_add_identity(ws.a, std::ldexp(1.0f, -s), ws.e, a_norm, e_norm);
    if (!(a_norm / identity_norm < kSeriesRatioLimit)) {
      identity = false;
      // The current term lives in *term; the product goes to the buffer that
      // holds neither it nor A, and the candidate sum to the one left free.
      ComplexMatrix* term = &ws.a;
      for (int j = 2; j <= series_limit; ++j) {
        ComplexMatrix* next = term == &ws.product ? &ws.term : &ws.product;
        ComplexMatrix* candidate = term == &ws.a ? &ws.term : term;
        ws.multiply(*term, ws.a, *next);
        float term_norm = 0.0f, sum_norm = 0.0f;
        divide_and_add(*next, static_cast<float>(j), ws.e, *candidate, term_norm, sum_norm);
        if (term_norm / e_norm < kSeriesRatioLimit) break;
        ws.e.swap(*candidate);
        e_norm = sum_norm;
        term = next;
        // A NaN or an overflow never meets the ratio test: the sum is no
        // longer a number, and no further term can make it one.
        if (!std::isfinite(e_norm)) break;
      }
    }
  } else {
    ws.a *= std::ldexp(1.0f, -s);  // exact: a power of two
  }
  if (identity) ws.e.setIdentity();
  const int d = corner_squarings(ws.order(), s);
  for (int q = 0; q < s - d; ++q) {
    ws.multiply(ws.e, ws.e, ws.product);
    ws.e.swap(ws.product);
  }
  if (d == 0) {
    if constexpr (kWholeColumn) ws.column = ws.e.col(0);
    return ws.e(0, 0);
  }
  // Q = ws.e; (Q^(2^d))(0,0) = (row 0 of Q^h) . (column 0 of Q^h), h = 2^(d-1).
  ws.row = ws.e.row(0);
  ws.column = ws.e.col(0);
  const int h = 1 << (d - 1);
  for (int k = 1; k < h; ++k) {
    ws.row_next.noalias() = ws.row * ws.e;
    ws.row.swap(ws.row_next);
    ws.column_next.noalias() = ws.e * ws.column;
    ws.column.swap(ws.column_next);
  }
  std::complex<float> corner(0.0f, 0.0f);
  const int n = ws.order();
  for (int k = 0; k < n; ++k) corner += ws.row(k) * ws.column(k);
  if constexpr (kWholeColumn) {
    // Column 0 of Q^(2h) = Q^h (column 0 of Q^h): h more matrix-vector products.
    for (int k = 0; k < h; ++k) {
      ws.column_next.noalias() = ws.e * ws.column;
      ws.column.swap(ws.column_next);
    }
  }
  return corner;
}
}  // namespace

std::complex<float> exponential_corner(ExponentialWorkspace& ws, int series_limit, float norm) {
  return corner_and_column<false>(ws, series_limit, norm);
}

std::complex<float> exponential_first_column(ExponentialWorkspace& ws, int series_limit,
                                             float norm) {
  return corner_and_column<true>(ws, series_limit, norm);
}

}  // namespace velmorant
