// Inverse-pole-figure colours: the crystal direction along the sample z axis, coloured in its standard triangle.
// SPDX-License-Identifier: BSD-3-Clause
#include "orientation/maps/ipf_colour.hpp"

#include <algorithm>
#include <cmath>
#include "common/physical_constants.hpp"

namespace talvor {

namespace {

constexpr float kThirtyDegrees = common::kPi / 6.0f;  // radians

Vec3 Unit(const Vec3& v) {
  const float len = std::sqrt(dot(v, v));
  if (!(len > 0.0f)) return {0, 0, 1};
  return {v[0] / len, v[1] / len, v[2] / len};
}

Rgb Scaled(float r, float g, float b) {
  r = std::max(r, 0.0f);
  g = std::max(g, 0.0f);
  b = std::max(b, 0.0f);
  const float top = std::max({r, g, b});
  if (!(top > 0.0f)) return {0, 0, 0};
  auto level = [&](float c) { return static_cast<std::uint8_t>(std::lround(255.0f * c / top)); };
  return {level(r), level(g), level(b)};
}

// Polar angle from the red corner (0 .. 90 degrees) and azimuth (0 .. 30
// degrees) of a hexagonal direction in the colouring frame.
void HexagonalAngles(const Vec3& d, float& polar, float& azimuth) {
  polar = std::acos(std::min(1.0f, std::fabs(d[2])));
  float phi =
      std::atan2(std::fabs(d[1]), std::fabs(d[0]));  // 0 .. 90 degrees: mirrors fold the rest
  // The sixfold axis with its mirrors repeats every 60 degrees and mirrors at 30.
  phi = std::fmod(phi, 2.0f * kThirtyDegrees);
  if (phi > kThirtyDegrees) phi = 2.0f * kThirtyDegrees - phi;
  azimuth = phi;
}

}  // namespace

std::optional<LaueClass> LaueClassOf(const OrientationProblem& problem) {
  if (problem.symmetryCount == 24) return LaueClass::cubic;
  if (problem.symmetryCount == 12) {
    for (int o = 0; o < problem.symmetryCount; ++o) {
      const Mat3& m = problem.symmetry[o];
      const float trace = m(1, 1) + m(2, 2) + m(3, 3);
      if (std::fabs(trace - 2.0f) < 1e-3f) return LaueClass::hexagonal;  // a 60-degree turn
    }
  }
  return std::nullopt;
}

std::optional<LaueClass> LaueClassFromName(std::string_view name) {
  if (name == "cubic" || name == "m-3m") return LaueClass::cubic;
  if (name == "hexagonal" || name == "6/mmm") return LaueClass::hexagonal;
  return std::nullopt;
}

IpfFrame MakeIpfFrame(const OrientationProblem& problem, LaueClass laue) {
  IpfFrame frame;
  frame.laue = laue;
  if (laue != LaueClass::hexagonal) return frame;
  Vec3 c = {0, 0, 1};
  for (int o = 0; o < problem.symmetryCount; ++o) {
    const Mat3& m = problem.symmetry[o];
    if (std::fabs(m(1, 1) + m(2, 2) + m(3, 3) - 2.0f) < 1e-3f) {
      c = Unit({m(3, 2) - m(2, 3), m(1, 3) - m(3, 1), m(2, 1) - m(1, 2)});
      break;
    }
  }
  Vec3 a = {problem.basis(1, 1), problem.basis(1, 2), problem.basis(1, 3)};
  const float along = dot(a, c);
  a = {a[0] - along * c[0], a[1] - along * c[1], a[2] - along * c[2]};
  if (!(dot(a, a) > 1e-12f)) a = std::fabs(c[0]) < 0.9f ? Vec3{1, 0, 0} : Vec3{0, 1, 0};
  a = Unit(a);
  const float along2 = dot(a, c);
  a = Unit({a[0] - along2 * c[0], a[1] - along2 * c[1], a[2] - along2 * c[2]});
  const Vec3 b = cross(c, a);
  for (int j = 1; j <= 3; ++j) {
    frame.axes(1, j) = a[j - 1];
    frame.axes(2, j) = b[j - 1];
    frame.axes(3, j) = c[j - 1];
  }
  return frame;
}

Rgb IpfColour(const IpfFrame& frame, const Vec3& direction) {
  const Vec3 d = Unit(Apply(frame.axes, direction));
  if (frame.laue == LaueClass::cubic) {
    // The 48 operations of m-3m take any direction to 0 <= h <= k <= l.
    float h = std::fabs(d[0]), k = std::fabs(d[1]), l = std::fabs(d[2]);
    if (h > k) std::swap(h, k);
    if (k > l) std::swap(k, l);
    if (h > k) std::swap(h, k);
    return Scaled(l - k, k - h, h);
  }
  float polar, azimuth;
  HexagonalAngles(d, polar, azimuth);
  const float t = polar / (common::kPi / 2.0f), f = azimuth / kThirtyDegrees;
  return Scaled(1.0f - t, t * (1.0f - f), t * f);
}

Rgb IpfColourOfOrientation(const IpfFrame& frame, const Mat3& g) {
  return IpfColour(frame, {g(1, 3), g(2, 3), g(3, 3)});
}

float KeyExtent(LaueClass laue) {
  return laue == LaueClass::cubic ? 0.4142136f : 1.0f;  // tan 22.5 and tan 45 degrees
}

std::optional<Vec3> KeyDirection(const IpfFrame& frame, float u, float v) {
  const float r2 = u * u + v * v;
  const Vec3 d = {2.0f * u / (1.0f + r2), 2.0f * v / (1.0f + r2), (1.0f - r2) / (1.0f + r2)};
  bool inside;
  if (frame.laue == LaueClass::cubic)  // triangle [001] [101] [111]: 0 <= y <= x <= z
    inside = d[1] >= 0.0f && d[1] <= d[0] && d[0] <= d[2];
  else  // [0001] [2-1-10] [10-10]: polar angle up to 90 degrees, azimuth 0 to 30
    inside = d[2] >= 0.0f && v >= 0.0f && std::atan2(v, u) <= kThirtyDegrees;
  if (!inside) return std::nullopt;
  // Back to crystal components: the frame's rows are its axes.
  return Apply(Transpose(frame.axes), d);
}

}  // namespace talvor
