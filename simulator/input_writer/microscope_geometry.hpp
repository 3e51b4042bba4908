// Microscope quantities turned into the values of "VelmorantDS.dat": the
// electron wavelength of an accelerating voltage, the Bunge angles that put a
// zone axis along the beam, and the pixel scale of a convergence semi-angle.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <array>
#include <optional>
#include <stdexcept>

#include "simulator/input_writer/writer_errors.hpp"

namespace velmorant::crystal_file {

using Vec3d = std::array<double, 3>;
// Direct basis, row r = basis vector r (a, b, c) in Cartesian crystal coordinates, Å.
using CellRows = std::array<Vec3d, 3>;

// Pixels across the simulated pattern; the field spans 256 pixels either side of its centre.
inline constexpr int kPatternPixels = 512;

// Relativistic electron wavelength, Å, for an accelerating voltage in kV
// (common::electron_wavelength_angstrom); throws std::invalid_argument unless
// the voltage is a positive finite number.
double electron_wavelength(double kilovolts);

// Cartesian basis of the cell parameters (Å, degrees): a along x, b in the
// xy plane, c completing a right-handed set. Angles of exactly 90° and 120°
// give exact zero and one-half cosines. Throws SettingsError ("cell") when the
// parameters do not describe a cell.
CellRows cell_rows(double a, double b, double c, double alpha, double beta, double gamma);

// Three-index direction [U V W] of a four-index hexagonal direction
// [u v t w] (t = -(u + v)): U = u - t, V = v - t, W = w.
Vec3d three_index_direction(double u, double v, double t, double w);

// Cartesian vector u a + v b + w c of the direction [u v w], Å.
Vec3d cartesian_direction(const CellRows& cell, const Vec3d& uvw);

// Bunge angles φ1, Φ, φ2 in degrees.
struct EulerDegrees {
  double phi1 = 0, Phi = 0, phi2 = 0;
};

// The crystal axis among [1 0 0], [0 1 0], [0 0 1] most nearly perpendicular
// to the zone axis (the first of them on a tie): the default reference.
Vec3d default_reference(const CellRows& cell, const Vec3d& zone_uvw);

// Orientation of the crystal for the program's convention: the orientation
// matrix g (bunge_matrix) maps sample-frame vectors to crystal-frame vectors,
// and the beam runs along the sample z axis. The result puts the zone axis
// [u v w] along sample z and the part of the reference direction
// perpendicular to it along sample x (the first axis of the pattern). Throws
// SettingsError for a zero zone axis or a reference parallel to it.
EulerDegrees euler_from_zone_axis(const CellRows& cell, const Vec3d& zone_uvw,
                                  const std::optional<Vec3d>& reference_uvw);

// Pixel scale (tangent of the angle between neighbouring pixels) for which
// the field reaches the convergence semi-angle (mrad) 256 pixels from its
// centre: tan(α) / 256.
double pixel_scale_from_semi_angle(double milliradians);
// The inverse: the semi-angle in mrad of a pixel scale.
double semi_angle_from_pixel_scale(double pixel_scale);

}  // namespace velmorant::crystal_file
