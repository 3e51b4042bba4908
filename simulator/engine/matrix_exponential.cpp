// Exponential of a complex single-precision matrix by scaling and squaring of a truncated Taylor series.
#include "engine/matrix_exponential.hpp"

#include <cmath>

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
  const double quotient = static_cast<double>(ln_norm / static_cast<long double>(0.6931472f));
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

}  // namespace velmorant
