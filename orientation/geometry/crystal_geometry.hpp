// Lattice inversion, plane normals, normalisation and the clamped arc cosine.
#pragma once
#include "geometry/vec3.hpp"
#include "common/physical_constants.hpp"

namespace talvor {

// The engine's length below which a vector counts as zero.
constexpr float kZeroLength = 2.0e-7f;

// Single-precision pi and 2 pi as the engine uses them.
using common::kPi;
using common::kTwoPi;

// Inverse of A by cofactors. Fails (returns false, `inverse` untouched)
// when |det A| < tolerance.
bool InvertMatrix3(const Mat3& A, float tolerance, Mat3& inverse);

// u = v / |v| and length = |v|. Fails (returns false, u untouched) when
// |v| < kZeroLength; `length` is written in both cases.
bool Normalize(const Vec3& v, Vec3& u, float& length);

// Arc cosine of c clamped into [-1, 1]; radians in [0, pi].
float AngleFromCosine(float c);

// Reciprocal matrix R = B^-1 of the lattice basis B (row r = basis vector r);
// column j of R is b_j with a_i . b_j = delta_ij. The coplanarity tolerance
// is 1e-5 times the cube of the largest |B(i,j)|, so it does not depend on
// the length unit. Stops with kCoplanarBasis when the inversion fails.
Mat3 BuildReciprocal(const Mat3& basis);

// Unit normal of the planes (h k l): R (h, k, l)^T normalised.
// Stops with kZeroMillerIndices when it has zero length.
Vec3 PlaneNormal(const Mat3& reciprocal, int h, int k, int l);

}  // namespace talvor
