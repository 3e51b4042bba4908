// Rotations: axis and angle, orientation from two vector pairs, misorientation under symmetry.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once
#include "orientation/geometry/vec3.hpp"

namespace talvor {

// Rotation matrix for angle w (radians) about `axis` (need not be unit):
// the transpose of the right-handed rotation of vectors by w about the
// axis, i.e. it gives a fixed vector's components in the rotated frame.
// An axis shorter than kZeroLength gives the identity and resets
// w = 0 and axis = (0, 0, 1).
Mat3 RotationFromAxisAngle(float& w, Vec3& axis);

// The symmetric triad of a pair of unit vectors (a, b): unit vectors along
// w = a x b, u = a + b, d = a - b. The bisector u and the difference d share
// the angular error of the pair equally between its two vectors.
struct Triad {
  Vec3 w, u, d;
};

// Fails (returns false, `triad` untouched) when a and b are parallel or
// antiparallel (one of the three lengths below kZeroLength).
bool BuildTriad(const Vec3& a, const Vec3& b, Triad& triad);

// g(i,j) = wc_i ws_j + uc_i us_j + dc_i ds_j: carries the sample triad onto
// the crystal triad.
Mat3 OrientationFromTriads(const Triad& crystal, const Triad& sample);

// Triad of the swapped pair (b, a), derived from that of (a, b) exactly:
// w and d change sign, u stays.
inline Triad SwappedTriad(const Triad& t) {
  return {{-t.w[0], -t.w[1], -t.w[2]}, t.u, {-t.d[0], -t.d[1], -t.d[2]}};
}

// Orientation g with g sa ~ ca and g sb ~ cb (g maps sample-frame vectors
// to crystal-frame vectors); all four are unit vectors. The crystal pair's
// triad is built first, then the sample pair's. Fails (returns false,
// g untouched) when either pair is parallel or antiparallel.
bool OrientationFromPair(const Vec3& sa, const Vec3& sb, const Vec3& ca, const Vec3& cb, Mat3& g);

// Smallest rotation angle (radians, [0, pi]) between A and B over the
// listed symmetry operations S_1..S_count, applied on one side:
// max over o of trace(S_o (A B^T)^T), capped at 3, through the angle
// formula. With count 0 the result is pi.
float SymmetricMisorientation(const Mat3& A, const Mat3& B, const Mat3* symmetry, int count);

}  // namespace talvor
