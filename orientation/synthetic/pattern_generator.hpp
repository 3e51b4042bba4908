// Synthetic patterns of measured scattering vectors with known orientations, for examples and tests.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once
#include <array>
#include <iosfwd>
#include <cstdint>
#include <string>
#include <vector>

namespace talvor::tools {

using Vector3d = std::array<double, 3>;
using Matrix3d = std::array<Vector3d, 3>;  // m[i][j]: row i, column j (0-based)

// A symmetry operation as the input file writes it: axis (need not be unit)
// and angle in degrees.
struct AxisAngle {
  Vector3d axis;
  double degrees;
};

// Crystal as the .tv2 header describes it.
struct CrystalDescription {
  std::string title;                         // one line, written as a comment
  Matrix3d basis;                            // row r: Cartesian components of basis vector r
  std::vector<std::array<int, 3>> families;  // Miller indices (h k l)
  std::vector<AxisAngle> symmetry;           // proper rotations of the Laue class
};

// Unit cube, families {111} {002} {022} {113}, the 24 cube rotations: the
// crystal the orientation finder assumes when the header gives none.
CrystalDescription DefaultCubic();
// Copper, fcc, a = 3.6149 Angstrom, five families of allowed reflections.
CrystalDescription CubicCopper();
// Titanium, hcp, a = 2.9508, c = 4.6855 Angstrom, seven families, the 12
// rotations of the hexagonal holohedry (622).
CrystalDescription HexagonalTitanium();
// "default-cubic", "copper" or "titanium"; any other name gives the default cubic crystal.
CrystalDescription CrystalByName(const std::string& name);

// Run parameters written into the header.
struct RunParameters {
  int strategy = 3;
  double p1Degrees = 2.0;
  double p2Degrees = 3.5;
};

struct PatternSettings {
  std::uint64_t seed = 1;
  int patternCount = 30;
  int minVectors = 6;  // vectors per pattern, uniform in [min, max]
  int maxVectors = 12;
  // Root-mean-square angle between a measured vector and its plane normal,
  // the deviation pointing in a uniformly random direction.
  double noiseDegrees = 0.3;
  // Share of the vectors replaced by random directions (rounded to the
  // nearest count per pattern).
  double spuriousFraction = 0.0;
  // Least angle between any two vectors of a pattern (or one and the
  // opposite of the other), and least angle of a spurious vector from every
  // plane normal of the crystal in the true orientation, so that a spurious
  // vector is never explained by the true orientation.
  double separationDegrees = 7.0;
};

struct GeneratedPattern {
  Matrix3d orientation{};         // true g: sample-frame vector -> crystal-frame vector
  std::vector<Vector3d> vectors;  // unit vectors, sample frame
  std::vector<int> spurious;      // 0-based positions of the spurious vectors
};

// Draws settings.patternCount patterns: a uniformly random orientation
// each, plane normals of randomly chosen families and members with random
// sign, angular noise, then the spurious vectors, all in random order.
// The generator's random numbers are its own (no standard distribution),
// so the same settings give the same patterns from one build to the next.
std::vector<GeneratedPattern> GeneratePatterns(const CrystalDescription& crystal,
                                               const PatternSettings& settings);

// The whole .tv2 input: header of `crystal` and `run`, then the patterns.
std::string FormatInput(const CrystalDescription& crystal, const RunParameters& run,
                        const std::vector<GeneratedPattern>& patterns);

// One line per pattern: number, vector count, spurious count, the true
// orientation reduced to the fundamental zone as Bunge angles in degrees,
// and the positions (1-based) of the spurious vectors.
std::string FormatTruth(const CrystalDescription& crystal,
                        const std::vector<GeneratedPattern>& patterns);

// A synthetic orientation map: width x height points (x fastest), cut into
// grainsX x grainsY equal rectangles of grains, each with its own random
// orientation; every point is a pattern drawn as GeneratePatterns draws one
// (the orientation aside) with `patterns`' vector counts, noise and
// spurious share. patterns.seed seeds everything; patterns.patternCount is
// not used.
struct MapSettings {
  int width = 100;   // points along x
  int height = 100;  // points along y
  int grainsX = 2;
  int grainsY = 2;
  PatternSettings patterns;
};

// Grain (0-based, row-major) of the point (x, y).
int GrainAt(const MapSettings& map, int x, int y);

// True orientations (g: sample -> crystal) of the grains, by grain index.
std::vector<Matrix3d> MapGrains(const MapSettings& map);

// Streams the map as a .tv2 input (title of point k, 1-based in x-fastest
// order: "Pattern k x=X y=Y") and its truth: the grains' reduced Bunge
// angles in comment lines, then per point its number, x, y and grain
// (1-based). Memory does not grow with the number of points.
void WriteMap(std::ostream& input, std::ostream& truth, const CrystalDescription& crystal,
              const RunParameters& run, const MapSettings& map);

// Rotation matrices of the crystal's symmetry operations.
std::vector<Matrix3d> SymmetryMatrices(const CrystalDescription& crystal);

// Angle in degrees between orientations a and b, smallest over the
// symmetry operations of the crystal.
double MisorientationDegrees(const Matrix3d& a, const Matrix3d& b,
                             const CrystalDescription& crystal);

// Bunge angles (phi1, Phi, phi2) in degrees of g reduced to the symmetry-
// equivalent orientation closest to the identity.
Vector3d ReducedBungeDegrees(const Matrix3d& g, const CrystalDescription& crystal);

}  // namespace talvor::tools
