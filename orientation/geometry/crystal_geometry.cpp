// Lattice inversion, plane normals, normalisation and the clamped arc cosine.
// SPDX-License-Identifier: BSD-3-Clause
#include "orientation/geometry/crystal_geometry.hpp"

#include <cmath>
#include <limits>

#include "orientation/errors/report_fatal_error.hpp"

namespace talvor {

bool InvertMatrix3(const Mat3& A, float tolerance, Mat3& inverse) {
  float det;
  return common::invert(A, tolerance, inverse, det);
}

bool Normalize(const Vec3& v, Vec3& u, float& length) {
  length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  if (!(length >= kZeroLength)) return false;
  u = {v[0] / length, v[1] / length, v[2] / length};
  return true;
}

float AngleFromCosine(float c) {
  if (c > 1.0f) c = 1.0f;
  if (c < -1.0f) c = -1.0f;
  return std::acos(c);
}

Mat3 BuildReciprocal(const Mat3& basis, const InputPlace& place) {
  float a_max = -std::numeric_limits<float>::max();
  for (float x : basis.a) a_max = std::fmax(a_max, std::fabs(x));
  // An all-zero basis has tolerance 0 and det 0: it must fail too.
  if (!(a_max > 0.0f) || !std::isfinite(a_max)) ReportFatalError(kCoplanarBasis, {}, place);
  // Bring the largest element into [0.5, 1) by a power of two: exact, and
  // it leaves the determinant, the cofactors and the test far from the ends
  // of the single-precision range whatever the length unit.
  int exponent;
  std::frexp(a_max, &exponent);
  Mat3 scaled;
  for (int i = 0; i < 9; ++i) scaled.a[i] = std::ldexp(basis.a[i], -exponent);
  const float a = std::ldexp(a_max, -exponent);
  const float tolerance = a * a * a * 1.0e-5f;
  Mat3 reciprocal;
  if (!InvertMatrix3(scaled, tolerance, reciprocal)) ReportFatalError(kCoplanarBasis, {}, place);
  return reciprocal;
}

Vec3 PlaneNormal(const Mat3& reciprocal, int h, int k, int l, const InputPlace& place) {
  Vec3 hkl = {static_cast<float>(h), static_cast<float>(k), static_cast<float>(l)};
  Vec3 n = Apply(reciprocal, hkl);
  Vec3 unit;
  float length;
  if (!Normalize(n, unit, length)) ReportFatalError(kZeroMillerIndices, {}, place);
  return unit;
}

}  // namespace talvor
