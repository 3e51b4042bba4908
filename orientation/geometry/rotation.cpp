// Rotations: axis and angle, orientation from two vector pairs, misorientation under symmetry.
// SPDX-License-Identifier: BSD-3-Clause
#include "orientation/geometry/rotation.hpp"

#include <cmath>

#include "orientation/geometry/crystal_geometry.hpp"

namespace talvor {

Mat3 RotationFromAxisAngle(float& w, Vec3& axis) {
  float length = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
  if (!(length >= kZeroLength)) {
    w = 0.0f;
    axis = {0.0f, 0.0f, 1.0f};
    return Mat3::identity();
  }
  // Evaluated in double and rounded once per element: the elements of the
  // symmetry operations of a lattice come out as +-1 where they should and
  // within about 1e-7 of 0 elsewhere (the angle itself is a single-precision
  // value, so cos(pi/2) is -4.4e-8, not 0), and the images of a unit normal
  // stay unit to single precision.
  const double dl =
      std::sqrt(double(axis[0]) * axis[0] + double(axis[1]) * axis[1] + double(axis[2]) * axis[2]);
  const double n[3] = {axis[0] / dl, axis[1] / dl, axis[2] / dl};
  const double c = std::cos(double(w));
  const double s = std::sin(double(w));
  const double t = 1.0 - c;
  Mat3 m;
  for (int i = 1; i <= 3; ++i)
    m(i, i) = static_cast<float>(n[i - 1] * n[i - 1] + c * (1.0 - n[i - 1] * n[i - 1]));
  m(1, 2) = static_cast<float>(n[0] * n[1] * t + s * n[2]);
  m(2, 1) = static_cast<float>(n[0] * n[1] * t - s * n[2]);
  m(1, 3) = static_cast<float>(n[0] * n[2] * t - s * n[1]);
  m(3, 1) = static_cast<float>(n[0] * n[2] * t + s * n[1]);
  m(2, 3) = static_cast<float>(n[1] * n[2] * t + s * n[0]);
  m(3, 2) = static_cast<float>(n[1] * n[2] * t - s * n[0]);
  return m;
}

bool BuildTriad(const Vec3& a, const Vec3& b, Triad& triad) {
  Vec3 w = cross(a, b);
  Vec3 u = {a[0] + b[0], a[1] + b[1], a[2] + b[2]};
  Vec3 d = {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
  Triad t;
  float length;
  if (!Normalize(w, t.w, length) || !Normalize(u, t.u, length) || !Normalize(d, t.d, length))
    return false;
  triad = t;
  return true;
}

Mat3 OrientationFromTriads(const Triad& c, const Triad& s) {
  Mat3 g;
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j)
      g(i, j) = c.w[i - 1] * s.w[j - 1] + c.u[i - 1] * s.u[j - 1] + c.d[i - 1] * s.d[j - 1];
  return g;
}

bool OrientationFromPair(const Vec3& sa, const Vec3& sb, const Vec3& ca, const Vec3& cb, Mat3& g) {
  Triad crystal, sample;
  if (!BuildTriad(ca, cb, crystal) || !BuildTriad(sa, sb, sample)) return false;
  g = OrientationFromTriads(crystal, sample);
  return true;
}

float SymmetricMisorientation(const Mat3& A, const Mat3& B, const Mat3* symmetry, int count) {
  // D = A B^T; E = S_o D^T, of which only the trace is needed:
  // trace(S D^T) = sum over i,l of S(i,l) D(i,l).
  Mat3 D;
  for (int i = 1; i <= 3; ++i)
    for (int k = 1; k <= 3; ++k)
      D(i, k) = A(i, 1) * B(k, 1) + A(i, 2) * B(k, 2) + A(i, 3) * B(k, 3);
  float best = -1.0f;
  for (int o = 0; o < count; ++o) {
    const Mat3& S = symmetry[o];
    float t = 0.0f;
    for (int i = 1; i <= 3; ++i) t += S(i, 1) * D(i, 1) + S(i, 2) * D(i, 2) + S(i, 3) * D(i, 3);
    if (t > 3.0f) t = 3.0f;
    if (t > best) best = t;
  }
  return AngleFromCosine((best - 1.0f) / 2.0f);
}

}  // namespace talvor
