// Map positions from titles, the CSV rows, inverse-pole-figure colours and the picture with its key.
// SPDX-License-Identifier: BSD-3-Clause
#include <gtest/gtest.h>

#include <cmath>

#include "orientation/geometry/crystal_geometry.hpp"
#include "orientation/geometry/rotation.hpp"
#include "orientation/input/input_file.hpp"
#include "orientation/maps/ipf_colour.hpp"
#include "orientation/maps/map_position.hpp"
#include "orientation/maps/map_table.hpp"
#ifdef TALVOR2_WITH_PNG
#include "orientation/maps/map_picture.hpp"
#include "common/angles.hpp"
#include "orientation/maps/pixel_font.hpp"
#endif

namespace talvor {
namespace {

TEST(MapPosition, TitlesWithAndWithoutPositions) {
  const struct {
    const char* title;
    bool known;
    int x, y;
  } cases[] = {
      {"Pattern 17 x=3 y=5", true, 3, 5},
      {"y=5 x=3", true, 3, 5},
      {"point,x=120,y=0,scan 2", true, 120, 0},
      {"\tx=-2\ty=+7", true, -2, 7},
      {"Pattern 17", false, 0, 0},
      {"x=3", false, 0, 0},                // one coordinate alone
      {"x=3 y=five", false, 0, 0},         // not a number
      {"x=3.5 y=2", false, 0, 0},          // grid steps are whole numbers
      {"x= 3 y=2", false, 0, 0},           // a blank after the sign
      {"X=3 Y=2", false, 0, 0},            // lower case only
      {"x=99999999999 y=1", false, 0, 0},  // beyond 32 bits
      {"", false, 0, 0},
      {"ax=3 by=2", false, 0, 0},
  };
  for (const auto& c : cases) {
    const MapPosition p = ParseMapPosition(c.title);
    EXPECT_EQ(p.known, c.known) << c.title;
    EXPECT_EQ(p.x, c.x) << c.title;
    EXPECT_EQ(p.y, c.y) << c.title;
  }
}

TEST(MapTable, RowsCarryTheResultsNumbersAndAQuotedTitle) {
  OrientationProblem problem;
  SetDefaults(problem);
  ScatteringPattern pattern;
  pattern.vectorCount = 9;
  SolutionStore store;
  // Unsolved: the results file's conventions, solved 0.
  EXPECT_EQ(MapTableRow(7, "p 7 x=1 y=2", {true, 1, 2}, pattern, store, problem),
            "7,1,2,-1.0000,-1.0000,-1.0000,0,9,999.9990,0,\"p 7 x=1 y=2\"");
  // The identity with F = 0: every vector used, angles 0, fit 0.
  store.count = 1;
  store.entries[0].orientation = Mat3::identity();
  store.entries[0].fit = 0.0f;
  EXPECT_EQ(MapTableRow(8, "say \"hi\", x", {}, pattern, store, problem),
            "8,,,0.0000,0.0000,0.0000,9,9,0.0000,1,\"say \"\"hi\"\", x\"");
  EXPECT_EQ(MapTableName("run1.tv2"), "run1_tv2.csv");
}

// A unit vector along (h, k, l).
Vec3 Along(float h, float k, float l) {
  const float n = std::sqrt(h * h + k * k + l * l);
  return {h / n, k / n, l / n};
}

TEST(IpfColour, CornersOfTheStandardTrianglesArePureColours) {
  OrientationProblem cubic;
  SetDefaults(cubic);
  const IpfFrame c = MakeIpfFrame(cubic, LaueClass::cubic);
  const struct {
    Vec3 d;
    Rgb rgb;
  } cubic_cases[] = {
      {Along(0, 0, 1), {255, 0, 0}},   {Along(0, 0, -1), {255, 0, 0}},
      {Along(1, 0, 0), {255, 0, 0}},   {Along(1, 0, 1), {0, 255, 0}},
      {Along(0, -1, 1), {0, 255, 0}},  {Along(1, 1, 1), {0, 0, 255}},
      {Along(-1, 1, -1), {0, 0, 255}},
  };
  for (const auto& k : cubic_cases)
    EXPECT_EQ(IpfColour(c, k.d), k.rgb) << k.d[0] << " " << k.d[1] << " " << k.d[2];

  // Titanium's frame: a along x, c along z, the 12 rotations of 622.
  OrientationProblem hex;
  SetDefaults(hex);
  hex.symmetryCount = 12;
  const float h = std::sqrt(3.0f) / 2;
  const float ops[12][4] = {{0, 0, 1, 0},   {0, 0, 1, 60},      {0, 0, 1, 120},
                            {0, 0, 1, 180}, {0, 0, 1, 240},     {0, 0, 1, 300},
                            {1, 0, 0, 180}, {h, 0.5f, 0, 180},  {0.5f, h, 0, 180},
                            {0, 1, 0, 180}, {-0.5f, h, 0, 180}, {-h, 0.5f, 0, 180}};
  for (int o = 0; o < 12; ++o) {
    Vec3 axis = {ops[o][0], ops[o][1], ops[o][2]};
    float w = common::radians(ops[o][3]);
    hex.symmetry[o] = RotationFromAxisAngle(w, axis);
  }
  hex.basis = Mat3::identity();
  hex.basis(1, 1) = 2.95f;
  ASSERT_EQ(LaueClassOf(hex), LaueClass::hexagonal);
  ASSERT_EQ(LaueClassOf(cubic), LaueClass::cubic);
  const IpfFrame x = MakeIpfFrame(hex, LaueClass::hexagonal);
  const struct {
    Vec3 d;
    Rgb rgb;
  } hex_cases[] = {
      {Along(0, 0, 1), {255, 0, 0}},
      {Along(0, 0, -1), {255, 0, 0}},
      {Along(1, 0, 0), {0, 255, 0}},
      {Along(-0.5f, h, 0), {0, 255, 0}},  // a1 and a2: [2-1-10] family
      {Along(h, 0.5f, 0), {0, 0, 255}},
      {Along(0, 1, 0), {0, 0, 255}},  // [10-10] family
  };
  for (const auto& k : hex_cases)
    EXPECT_EQ(IpfColour(x, k.d), k.rgb) << k.d[0] << " " << k.d[1] << " " << k.d[2];
}

TEST(IpfColour, EquivalentOrientationsHaveOneColour) {
  // g and s g (s a symmetry operation) describe one crystal: same colour.
  OrientationProblem cubic;
  SetDefaults(cubic);
  const IpfFrame frame = MakeIpfFrame(cubic, LaueClass::cubic);
  for (int k = 0; k < 20; ++k) {
    Vec3 axis = {std::sin(1.3f * k), std::cos(0.7f * k), 0.3f + 0.1f * k};
    float w = 0.37f * k + 0.1f;
    const Mat3 g = RotationFromAxisAngle(w, axis);
    const Rgb reference = IpfColourOfOrientation(frame, g);
    for (int o = 0; o < cubic.symmetryCount; ++o) {
      const Rgb c = IpfColourOfOrientation(frame, Multiply(cubic.symmetry[o], g));
      for (int i = 0; i < 3; ++i) EXPECT_NEAR(c[i], reference[i], 1) << k << " " << o;
    }
  }
}

#ifdef TALVOR2_WITH_PNG
TEST(MapPicture, PointsKeepTheirPlaceAndColourAndTheKeyIsDrawn) {
  OrientationProblem cubic;
  SetDefaults(cubic);
  MapPicture picture(MakeIpfFrame(cubic, LaueClass::cubic));
  // A 4 x 2 map: identity orientation (sample z = [001], red), one unsolved
  // point (black), one position missing (white), one outside (not drawn).
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x)
      if (!(x == 3 && y == 1)) picture.Add({true, x, y}, !(x == 2 && y == 0), Mat3::identity());
  picture.Add({true, kMaxMapCoordinate + 1, 0}, true, Mat3::identity());
  picture.Add({}, true, Mat3::identity());
  EXPECT_EQ(picture.points(), 7);
  EXPECT_EQ(picture.outside(), 1);
  const Raster r = picture.Draw();
  const int cell = picture.CellSize();
  EXPECT_EQ(cell, 16);
  const MapPicture::Layout l = picture.PictureLayout();
  auto pixel = [&](int x, int y) {
    const std::uint8_t* p = r.At(l.map_left + x * cell + cell / 2, l.map_top + y * cell + cell / 2);
    return Rgb{p[0], p[1], p[2]};
  };
  EXPECT_EQ(pixel(0, 0), (Rgb{255, 0, 0}));
  EXPECT_EQ(pixel(2, 0), (Rgb{0, 0, 0}));
  EXPECT_EQ(pixel(3, 1), (Rgb{255, 255, 255}));
  // The key right of the map: its lower-left corner is red, its lower-right
  // corner (the [101] end of the bottom edge) green; outside the triangle white.
  const int left = l.key_left, bottom = l.key_bottom;
  EXPECT_EQ(left, l.map_left + 4 * cell + 8);
  const std::uint8_t* red = r.At(left + 1, bottom - 1);
  EXPECT_GT(red[0], 240);
  EXPECT_LT(red[1], 20);
  const std::uint8_t* green = r.At(left + 185, bottom - 1);
  EXPECT_GT(green[1], 200);
  EXPECT_LT(green[0], 60);
  const std::uint8_t* outside = r.At(left + 2, bottom - 150);
  EXPECT_EQ(outside[0] + outside[1] + outside[2], 3 * 255);
  // Labels in black: the red corner's [001] below the key, the axes' names
  // beside the map; nothing black where the map and the key are white.
  auto ink_in = [&](int x0, int y0, int w, int h) {
    int n = 0;
    for (int y = y0; y < y0 + h; ++y)
      for (int x = x0; x < x0 + w; ++x) n += r.At(x, y)[0] + r.At(x, y)[1] + r.At(x, y)[2] == 0;
    return n;
  };
  EXPECT_GT(ink_in(left, bottom + 4, TextWidth("[001]"), kGlyphHeight), 10);
  EXPECT_GT(
      ink_in(left + 185 - TextWidth("[101]"), bottom + 4, TextWidth("[101]") + 2, kGlyphHeight),
      10);
  EXPECT_GT(ink_in(0, 0, r.width, l.map_top), 20);           // "scan step = 16 px", the x arrow
  EXPECT_GT(ink_in(0, l.map_top, l.map_left, 4 * cell), 5);  // the y arrow
  EXPECT_EQ(ink_in(l.map_left + 3 * cell, l.map_top + cell, cell, cell),
            0);  // the missing position: white
}
#endif

}  // namespace
}  // namespace talvor
