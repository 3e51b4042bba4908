// Inverse-pole-figure colours: the crystal direction along the sample z axis, coloured in its standard triangle.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "orientation/geometry/vec3.hpp"
#include "orientation/input/orientation_problem.hpp"

namespace talvor {

// Laue classes the colouring knows.
enum class LaueClass {
  cubic,      // m-3m: triangle [001] red, [101] green, [111] blue
  hexagonal,  // 6/mmm: triangle [0001] red, [2-1-10] green, [10-10] blue
};

using Rgb = std::array<std::uint8_t, 3>;

// The class a crystal's symmetry operations describe: 24 operations give
// cubic, 12 operations with a sixfold axis give hexagonal; anything else
// has no colouring (nullopt).
std::optional<LaueClass> LaueClassOf(const OrientationProblem& problem);

// "cubic" / "hexagonal" (also "m-3m" / "6/mmm"); nullopt for any other text.
std::optional<LaueClass> LaueClassFromName(std::string_view name);

// The crystal frame the colouring works in. Cubic: the Cartesian axes of
// the crystal frame are the cube axes. Hexagonal: c is the sixfold axis of
// the symmetry operations, a the first basis vector made perpendicular to c.
struct IpfFrame {
  LaueClass laue = LaueClass::cubic;
  Mat3 axes = Mat3::identity();  // rows: unit x, y, z of the colouring frame in crystal components
};

// The frame of `laue` for the crystal of `problem`.
IpfFrame MakeIpfFrame(const OrientationProblem& problem, LaueClass laue);

// Colour of the crystal direction `d` (crystal components, any length):
// red, green and blue weights of the three corners of the standard
// triangle the direction falls into, scaled so that the largest is 255.
Rgb IpfColour(const IpfFrame& frame, const Vec3& d);

// Colour of the orientation g (sample -> crystal) along the sample z axis:
// the crystal direction g (0, 0, 1).
Rgb IpfColourOfOrientation(const IpfFrame& frame, const Mat3& g);

// For the colour key: the direction of the point (u, v) of the stereographic
// projection of the standard triangle (the red corner at the origin, the
// green corner on the positive u axis), in crystal components; nullopt
// outside the triangle.
std::optional<Vec3> KeyDirection(const IpfFrame& frame, float u, float v);

// Extent of the standard triangle in the projection: u from 0 to the
// returned value, v from 0 to the returned value.
float KeyExtent(LaueClass laue);

}  // namespace talvor
