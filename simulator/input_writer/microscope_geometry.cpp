// Wavelength, zone-axis orientation and pixel scale for the input file.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/input_writer/microscope_geometry.hpp"

#include <cmath>

#include "common/angles.hpp"
#include "common/electron_wavelength.hpp"
#include "common/vec3.hpp"

namespace velmorant::crystal_file {

namespace {

using common::cross;
using common::dot;

Vec3d scaled(const Vec3d& a, double s) { return {a[0] * s, a[1] * s, a[2] * s}; }
double norm(const Vec3d& a) { return std::sqrt(dot(a, a)); }

// Cosine and sine of an angle in degrees, exact at the angles of the
// crystal systems so that a cubic or hexagonal basis has exact zeros.
double cos_degrees(double d) {
  if (d == 90.0) return 0.0;
  if (d == 120.0) return -0.5;
  if (d == 60.0) return 0.5;
  return std::cos(common::radians(d));
}
double sin_degrees(double d) {
  if (d == 90.0) return 1.0;
  return std::sin(common::radians(d));
}

}  // namespace

double electron_wavelength(double kilovolts) {
  if (!(kilovolts > 0.0) || !std::isfinite(kilovolts))
    throw std::invalid_argument("the accelerating voltage must be a positive number of kV");
  return common::electron_wavelength_angstrom(kilovolts);
}

CellRows cell_rows(double a, double b, double c, double alpha, double beta, double gamma) {
  const double ca = cos_degrees(alpha), cb = cos_degrees(beta), cg = cos_degrees(gamma);
  const double sg = sin_degrees(gamma);
  const double volume_factor = 1.0 - ca * ca - cb * cb - cg * cg + 2.0 * ca * cb * cg;
  if (!(a > 0 && b > 0 && c > 0) || !(volume_factor > 0.0) || !(sg > 0.0))
    throw SettingsError("cell", "the cell parameters do not describe a cell");
  CellRows r{};
  r[0] = {a, 0.0, 0.0};
  r[1] = {b * cg, b * sg, 0.0};
  r[2] = {c * cb, c * (ca - cb * cg) / sg, c * std::sqrt(volume_factor) / sg};
  return r;
}

Vec3d three_index_direction(double u, double v, double t, double w) { return {u - t, v - t, w}; }

Vec3d cartesian_direction(const CellRows& cell, const Vec3d& uvw) {
  Vec3d d{};
  for (int c = 0; c < 3; ++c)
    d[c] = uvw[0] * cell[0][c] + uvw[1] * cell[1][c] + uvw[2] * cell[2][c];
  return d;
}

Vec3d default_reference(const CellRows& cell, const Vec3d& zone_uvw) {
  const Vec3d z = cartesian_direction(cell, zone_uvw);
  const double zn = norm(z);
  Vec3d best{1, 0, 0};
  double best_cos = 2.0;
  for (int axis = 0; axis < 3; ++axis) {
    const double c = std::fabs(dot(cell[axis], z)) / (norm(cell[axis]) * zn);
    if (c < best_cos - 1e-12) {
      best_cos = c;
      best = {0, 0, 0};
      best[axis] = 1;
    }
  }
  return best;
}

EulerDegrees euler_from_zone_axis(const CellRows& cell, const Vec3d& zone_uvw,
                                  const std::optional<Vec3d>& reference_uvw) {
  const Vec3d z = cartesian_direction(cell, zone_uvw);
  const double zn = norm(z);
  if (!(zn > 0.0)) throw SettingsError("zone", "the zone axis is the zero vector");
  const Vec3d e3 = scaled(z, 1.0 / zn);
  const Vec3d ref =
      cartesian_direction(cell, reference_uvw ? *reference_uvw : default_reference(cell, zone_uvw));
  // The part of the reference perpendicular to the beam.
  const Vec3d along = scaled(e3, dot(ref, e3));
  const Vec3d perp{ref[0] - along[0], ref[1] - along[1], ref[2] - along[2]};
  const double pn = norm(perp);
  if (!(pn > 1e-6 * norm(ref)))
    throw SettingsError("reference", "the reference direction is parallel to the zone axis");
  const Vec3d e1 = scaled(perp, 1.0 / pn);
  const Vec3d e2 = cross(e3, e1);
  // g has the crystal components of the sample axes x, y, z as its columns:
  // g(r, 1) = e1[r], g(r, 2) = e2[r], g(r, 3) = e3[r].
  // Bunge: g(3,3) = cos Φ, g(1,3) = sin φ2 sin Φ, g(2,3) = cos φ2 sin Φ,
  // g(3,1) = sin φ1 sin Φ, g(3,2) = -cos φ1 sin Φ.
  EulerDegrees e;
  const double c = std::fmax(-1.0, std::fmin(1.0, e3[2]));
  const double Phi = std::acos(c);
  double phi1 = 0, phi2 = 0;
  if (std::hypot(e3[0], e3[1]) > 1e-12) {
    phi2 = std::atan2(e3[0], e3[1]);
    phi1 = std::atan2(e1[2], -e2[2]);
  } else {
    // Beam along ±z of the crystal frame: only φ1 ± φ2 matters; φ2 = 0 and
    // g(1,1) = cos φ1, g(1,2) = sin φ1 (g(1,2) is the x component of e2).
    phi1 = std::atan2(e2[0], e1[0]);
  }
  auto degrees = [](double r) {
    double d = common::degrees(r);
    if (d < 0) d += 360.0;
    if (d >= 360.0) d -= 360.0;
    return d;
  };
  e.phi1 = degrees(phi1);
  e.Phi = common::degrees(Phi);
  e.phi2 = degrees(phi2);
  return e;
}

double pixel_scale_from_semi_angle(double milliradians) {
  return std::tan(milliradians * 1e-3) / (kPatternPixels / 2);
}

double semi_angle_from_pixel_scale(double pixel_scale) {
  return std::atan(pixel_scale * (kPatternPixels / 2)) * 1e3;
}

}  // namespace velmorant::crystal_file
