// Lattice inversion, plane normals, rotations and misorientation.
// SPDX-License-Identifier: BSD-3-Clause
#include <gtest/gtest.h>

#include <cmath>

#include "orientation/errors/report_fatal_error.hpp"
#include "orientation/geometry/crystal_geometry.hpp"
#include "orientation/geometry/rotation.hpp"
#include "orientation/input/input_file.hpp"

namespace talvor {
namespace {

Mat3 Rows(float a1x, float a1y, float a1z, float a2x, float a2y, float a2z, float a3x, float a3y,
          float a3z) {
  const float r[3][3] = {{a1x, a1y, a1z}, {a2x, a2y, a2z}, {a3x, a3y, a3z}};
  return Mat3::from_rows(r);
}

Mat3 Scaled(Mat3 m, float s) {
  for (float& x : m.a) x *= s;
  return m;
}

// The console text a call stops with, or an empty text.
template <typename F>
std::string StopText(F f) {
  try {
    f();
  } catch (const FatalStop& stop) {
    return std::string(stop.what());
  }
  return "";
}

TEST(BuildReciprocal, CoplanarOrNotAtEveryScale) {
  const struct {
    Mat3 basis;
    bool coplanar;
  } cases[] = {
      {Rows(1, 0, 0, 0, 1, 0, 1, 1, 0), true},      // a3 = a1 + a2
      {Rows(1, 0, 0, 0, 1, 0, 0, 0, 0), true},      // a zero vector
      {Rows(0, 0, 0, 0, 0, 0, 0, 0, 0), true},      // all zero
      {Rows(1, 0, 0, 0, 1, 0, 0, 0, 1e-6f), true},  // det 1e-6 below 1e-5
      {Rows(1, 0, 0, 0, 1, 0, 0, 0, 1e-4f), false},
      {Rows(3, 0, 0, -1.5f, 2.598076f, 0, 0, 0, 5.2f), false},  // hexagonal
  };
  for (float scale : {1e-20f, 1e-10f, 1e-3f, 1.0f, 7.0f, 1e3f, 1e10f, 1e20f}) {
    for (const auto& c : cases) {
      std::string text = StopText([&] { BuildReciprocal(Scaled(c.basis, scale)); });
      EXPECT_EQ(!text.empty(), c.coplanar)
          << "scale " << scale << " det " << common::determinant(c.basis);
      if (c.coplanar) {
        EXPECT_EQ(text, "\n Error: Vectors of the crystal basis are coplanar.\n\n");
      }
    }
  }
}

TEST(BuildReciprocal, ReciprocalVectorsAreDualUpToAPowerOfTwo) {
  Mat3 B = Rows(3, 0, 0, -1.5f, 2.598076f, 0, 0.2f, 0.1f, 5.2f);
  Mat3 R = BuildReciprocal(B);
  const float s = B(1, 1) * R(1, 1) + B(1, 2) * R(2, 1) + B(1, 3) * R(3, 1);
  int exponent;
  const float power = std::ldexp(1.0f, std::frexp(s, &exponent) > 0.75f ? exponent : exponent - 1);
  EXPECT_NEAR(s / power, 1.0f, 1e-6f) << s;
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) {
      float d = B(i, 1) * R(1, j) + B(i, 2) * R(2, j) + B(i, 3) * R(3, j);
      EXPECT_NEAR(d / s, i == j ? 1.0f : 0.0f, 1e-6f);
    }
}

TEST(PlaneNormal, TheLengthUnitNeverDecides) {
  // The same hexagonal cell written in units from 1e-20 to 1e20: every
  // family keeps its normal, none is taken for (0 0 0). Scaling by a power
  // of two changes no bit.
  const Mat3 B = Rows(2.95f, 0, 0, -1.475f, 2.554775f, 0, 0, 0, 4.686f);
  const int families[][3] = {{0, 0, 2}, {1, 0, 0}, {1, 0, 1}, {1, 1, 0},
                             {1, 0, 3}, {1, 1, 2}, {2, 0, 1}};
  const Mat3 R1 = BuildReciprocal(B);
  for (float scale :
       {1e-20f, 1e-15f, 1e-10f, 1e-5f, 1e5f, 1e10f, 1e15f, 1e20f, 0x1p-60f, 0x1p60f}) {
    const Mat3 R = BuildReciprocal(Scaled(B, scale));
    int e;
    const bool exact = std::frexp(scale, &e) == 0.5f;
    for (const auto& f : families) {
      Vec3 n1 = PlaneNormal(R1, f[0], f[1], f[2]);
      Vec3 n = PlaneNormal(R, f[0], f[1], f[2]);
      for (int i = 0; i < 3; ++i) {
        if (exact)
          EXPECT_EQ(n[i], n1[i]) << "scale " << scale;
        else
          EXPECT_NEAR(n[i], n1[i], 1e-6f) << "scale " << scale;
      }
    }
    EXPECT_EQ(StopText([&] { PlaneNormal(R, 0, 0, 0); }),
              "\n Error: One of the reflections has Miller indices (0 0 0).\n\n");
  }
}

TEST(PlaneNormal, UnitAlongReciprocalAndZeroStops) {
  Mat3 R = BuildReciprocal(Scaled(Mat3::identity(), 4.05f));
  Vec3 n = PlaneNormal(R, 0, 0, 1);
  EXPECT_FLOAT_EQ(n[2], 1.0f);
  Vec3 a = PlaneNormal(R, 2, 0, 0), b = PlaneNormal(R, 1, 0, 0);
  EXPECT_EQ(a, b);
  EXPECT_EQ(StopText([&] { PlaneNormal(R, 0, 0, 0); }),
            "\n Error: One of the reflections has Miller indices (0 0 0).\n\n");
}

TEST(Normalize, ThresholdAndUntouchedOutput) {
  Vec3 u = {9, 9, 9};
  float len;
  EXPECT_FALSE(Normalize({1e-7f, 0, 0}, u, len));
  EXPECT_EQ(u, (Vec3{9, 9, 9}));
  EXPECT_TRUE(Normalize({0, 3, 4}, u, len));
  EXPECT_FLOAT_EQ(len, 5);
  EXPECT_FLOAT_EQ(u[2], 0.8f);
}

TEST(AngleFromCosine, ClampsRoundedDotProducts) {
  EXPECT_EQ(AngleFromCosine(1.0000001f), 0.0f);
  EXPECT_FLOAT_EQ(AngleFromCosine(-1.0000001f), kPi);
  EXPECT_FLOAT_EQ(AngleFromCosine(0.0f), kPi / 2);
}

TEST(OrientationFromPair, CarriesSampleOntoCrystalPair) {
  float w = 0.7f;
  Vec3 axis = {1, 2, 3};
  Mat3 truth = RotationFromAxisAngle(w, axis);
  Vec3 sa = {0.6f, 0.8f, 0}, sb = {0, 0.6f, 0.8f};
  Mat3 g;
  ASSERT_TRUE(OrientationFromPair(sa, sb, Apply(truth, sa), Apply(truth, sb), g));
  for (int k = 0; k < 9; ++k) EXPECT_NEAR(g.a[k], truth.a[k], 1e-6f);
}

TEST(OrientationFromPair, ParallelAndAntiparallelPairsFail) {
  Vec3 a = {0, 0, 1}, b = {0, 1, 0}, minus_a = {0, 0, -1};
  Mat3 g = Mat3::identity();
  g(1, 2) = 5;  // marker: must stay
  EXPECT_FALSE(OrientationFromPair(a, minus_a, a, b, g));
  EXPECT_FALSE(OrientationFromPair(a, b, a, a, g));
  EXPECT_FALSE(OrientationFromPair(a, a, a, b, g));
  EXPECT_EQ(g(1, 2), 5);
}

TEST(RotationFromAxisAngle, ZeroAxisGivesIdentityAndResetsInputs) {
  float w = 1.0f;
  Vec3 axis = {0, 0, 0};
  EXPECT_EQ(RotationFromAxisAngle(w, axis).a, Mat3::identity().a);
  EXPECT_EQ(w, 0.0f);
  EXPECT_EQ(axis, (Vec3{0, 0, 1}));
}

TEST(RotationFromAxisAngle, TransposeOfVectorRotation) {
  // 90 degrees about z: x components of a fixed vector in the rotated frame.
  float w = kPi / 2;
  Vec3 axis = {0, 0, 2};
  Mat3 m = RotationFromAxisAngle(w, axis);
  Vec3 v = Apply(m, {1, 0, 0});
  EXPECT_NEAR(v[0], 0, 1e-7f);
  EXPECT_NEAR(v[1], -1, 1e-7f);
}

TEST(SymmetricMisorientation, CubicSymmetryAndNoOperations) {
  Mat3 cubic[kMaxSymmetryOps];
  CubicRotations(cubic);
  float w = 0.3f;
  Vec3 axis = {1, -2, 0.5f};
  Mat3 A = RotationFromAxisAngle(w, axis);
  EXPECT_EQ(SymmetricMisorientation(A, A, cubic, 24), 0.0f);
  // A symmetry-equivalent orientation is at zero misorientation.
  EXPECT_NEAR(SymmetricMisorientation(Multiply(cubic[5], A), A, cubic, 24), 0.0f, 1e-3f);
  EXPECT_NEAR(SymmetricMisorientation(A, Mat3::identity(), cubic, 1), 0.3f, 1e-5f);
  EXPECT_FLOAT_EQ(SymmetricMisorientation(A, A, cubic, 0), kPi);
}

TEST(CubicRotations, ProperRotationsOfTheCube) {
  Mat3 cubic[kMaxSymmetryOps];
  CubicRotations(cubic);
  EXPECT_EQ(cubic[0].a, Mat3::identity().a);
  for (int o = 0; o < kMaxSymmetryOps; ++o) {
    EXPECT_NEAR(common::determinant(cubic[o]), 1.0f, 1e-6f);
    for (float x : cubic[o].a)
      EXPECT_TRUE(std::fabs(x) < 1e-6f || std::fabs(std::fabs(x) - 1) < 1e-6f)
          << "operation " << o + 1;
    for (int p = 0; p < o; ++p)
      EXPECT_GT(SymmetricMisorientation(cubic[o], cubic[p], cubic, 1), 1.0f)
          << o + 1 << " " << p + 1;
  }
}

}  // namespace
}  // namespace talvor
