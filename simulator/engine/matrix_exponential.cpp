// Exponential of a complex single-precision matrix by scaling and squaring of a truncated Taylor series.
#include "engine/matrix_exponential.hpp"

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

int taylor_exponential(const ComplexMatrix& a, int series_limit, ComplexMatrix& e, ComplexMatrix& term,
                       ComplexMatrix& product) {
  term.setIdentity();
  e.setIdentity();
  int added = 0;
  for (int j = 1; j <= series_limit; ++j) {
    product.noalias() = term * a;
    const float divisor = static_cast<float>(j);
    term = product / divisor;
    const float ratio = frobenius_norm(term) / frobenius_norm(e);
    if (ratio < kSeriesRatioLimit) break;
    e += term;
    ++added;
  }
  return added;
}

void matrix_exponential(ExponentialWorkspace& ws, int series_limit) {
  const int s = scaling_exponent(frobenius_norm(ws.a));
  const float m = std::ldexp(1.0f, s);
  ws.a = ws.a / m;  // exact: a power of two
  taylor_exponential(ws.a, series_limit, ws.e, ws.term, ws.product);
  for (int q = 0; q < s; ++q) {
    ws.product.noalias() = ws.e * ws.e;
    ws.e.swap(ws.product);
  }
}

namespace {
// A product of a row or a column with a matrix of order n does 1/n of the
// work of a matrix product, but at a lower speed per operation (it reads
// the whole matrix once for every 8n operations); this is that slowdown, as
// measured on x86-64 cores for orders 16 to 128.
constexpr int kVectorProductSlowdown = 4;

// m = m / divisor element by element; returns frobenius_norm(m) of the
// result, summed in the same order, in the same pass over memory.
float divide_with_norm(ComplexMatrix& m, float divisor) {
  std::complex<float>* p = m.data();
  const Eigen::Index n = m.size();
  float sum = 0.0f;
  for (Eigen::Index k = 0; k < n; ++k) {
    const float re = p[k].real() / divisor;
    const float im = p[k].imag() / divisor;
    p[k] = std::complex<float>(re, im);
    sum += re * re + im * im;
  }
  return std::sqrt(sum);
}

// e = e + t element by element; returns frobenius_norm(e) of the result.
float add_with_norm(ComplexMatrix& e, const ComplexMatrix& t) {
  std::complex<float>* p = e.data();
  const std::complex<float>* q = t.data();
  const Eigen::Index n = e.size();
  float sum = 0.0f;
  for (Eigen::Index k = 0; k < n; ++k) {
    const float re = p[k].real() + q[k].real();
    const float im = p[k].imag() + q[k].imag();
    p[k] = std::complex<float>(re, im);
    sum += re * re + im * im;
  }
  return std::sqrt(sum);
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
  const int s = scaling_exponent(frobenius_norm(ws.a));
  const float m = std::ldexp(1.0f, s);
  ws.a /= m;  // exact: a power of two
  ws.e.setIdentity();
  if (series_limit >= 1) {
    // First term: I A / 1 = A exactly.
    ws.term = ws.a;
    float e_norm = frobenius_norm(ws.e);
    if (!(frobenius_norm(ws.term) / e_norm < kSeriesRatioLimit)) {
      e_norm = add_with_norm(ws.e, ws.term);
      for (int j = 2; j <= series_limit; ++j) {
        ws.product.noalias() = ws.term * ws.a;
        const float term_norm = divide_with_norm(ws.product, static_cast<float>(j));
        ws.term.swap(ws.product);
        if (term_norm / e_norm < kSeriesRatioLimit) break;
        e_norm = add_with_norm(ws.e, ws.term);
      }
    }
  }
  const int d = corner_squarings(ws.order(), s);
  for (int q = 0; q < s - d; ++q) {
    ws.product.noalias() = ws.e * ws.e;
    ws.e.swap(ws.product);
  }
  if (d == 0) return ws.e(0, 0);
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
  return corner;
}

}  // namespace velmorant
