// Lattice inversion, plane normals, normalisation and the clamped arc cosine.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once
#include "orientation/geometry/vec3.hpp"
#include "common/physical_constants.hpp"
#include "orientation/errors/report_fatal_error.hpp"

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

// Reciprocal directions of the lattice basis B (row r = basis vector r):
// R = s B^-1 for a power of two s chosen so that the largest |B(i,j)| / s
// lies in [0.5, 1). Column j of R is parallel to b_j (a_i . b_j = delta_ij);
// only directions are taken from it. The scaling is exact, so for a basis
// of ordinary size every unit normal is the same, bit for bit, as without
// it, while a basis of 1e-20 or 1e20 neither underflows nor overflows.
// Coplanar when |det| < 1e-5 a_max^3 (a_max the largest |B(i,j)|): a test
// of shape, not of the length unit. Stops with kCoplanarBasis, naming
// `place`, when the inversion fails.
Mat3 BuildReciprocal(const Mat3& basis, const InputPlace& place = {});

// Unit normal of the planes (h k l): R (h, k, l)^T normalised. With R from
// BuildReciprocal the length of R (h, k, l)^T is at least 1/sqrt(3) for any
// non-zero indices, so only (0 0 0) falls below kZeroLength; it stops with
// kZeroMillerIndices, naming `place`.
Vec3 PlaneNormal(const Mat3& reciprocal, int h, int k, int l, const InputPlace& place = {});

}  // namespace talvor
