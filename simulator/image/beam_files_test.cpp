// Tests of every beam's files: their names, the aperture, where the discs land in the composed picture, its grey scale.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/image/beam_files.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace velmorant {
namespace {

TEST(BeamFiles, NamesFollowTheSimulatedImage) {
  EXPECT_EQ(beam_stack_path("./DS_experiment.bmp"), "./DS_experiment_beams.tif");
  EXPECT_EQ(beam_index_path("data/DS_experiment.png"), "data/DS_experiment_beams.csv");
  EXPECT_EQ(composed_pattern_path("a.b/DS_pattern"), "a.b/DS_pattern_pattern.png");
}

struct ApertureCase {
  const char* text;
  bool valid;
  float mrad;
};

class ApertureText : public ::testing::TestWithParam<ApertureCase> {};

TEST_P(ApertureText, IsAPositiveNumberOfMilliradians) {
  const ApertureCase c = GetParam();
  if (c.valid) {
    const std::optional<float> a = parse_aperture(c.text);
    if (c.mrad == 0.0f) {
      EXPECT_FALSE(a.has_value());
    } else {
      ASSERT_TRUE(a.has_value());
      EXPECT_EQ(*a, c.mrad);
    }
  } else {
    try {
      parse_aperture(c.text);
      FAIL() << c.text;
    } catch (const std::invalid_argument& e) {
      EXPECT_NE(std::string(e.what()).find(kApertureVariable), std::string::npos);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ApertureText,
    ::testing::Values(ApertureCase{"", true, 0.0f}, ApertureCase{"10", true, 10.0f},
                      ApertureCase{"6.5 ", true, 6.5f}, ApertureCase{"6,5", false, 0},
                      ApertureCase{"0", false, 0}, ApertureCase{"-3", false, 0},
                      ApertureCase{"nan", false, 0}, ApertureCase{"500", false, 0},
                      ApertureCase{"mrad", false, 0}));

// Three discs with constant intensities: the transmitted one, one 100 pixels
// up (+x) and one 40.4 pixels to the left (+y).
BeamStack three_discs() {
  BeamStack stack;
  stack.resize(3);
  stack.pixel_scale = 1e-4f;
  stack.wavelength = 0.025f;
  stack.discs.resize(3);
  stack.discs[1].offset_i = 100.0f;
  stack.discs[2].offset_j = 40.4f;
  for (int b = 0; b < 3; ++b)
    for (std::size_t k = 0; k < BeamStack::kPageSize; ++k)
      stack.page(b)[k] = b == 0 ? 0.5f : 0.01f * float(b);
  return stack;
}

TEST(ComposedPattern, DiscsLandAtTheirOffsetsUpAndLeft) {
  const BeamStack stack = three_discs();
  const ComposedLayout layout = composed_layout(stack, std::nullopt);
  EXPECT_EQ(layout.height, 512 + 100);
  EXPECT_EQ(layout.width, 512 + 40);
  const std::vector<float> picture = compose_pattern(stack, layout, std::nullopt);
  auto at = [&](double column, double row) {
    return picture[std::size_t(std::lround(row)) * std::size_t(layout.width) +
                   std::size_t(std::lround(column))];
  };
  // Centres, shifted half a pixel into the pixel beside the axis.
  const PicturePoint c0 = disc_centre(layout, stack.discs[0]);
  const PicturePoint c1 = disc_centre(layout, stack.discs[1]);
  const PicturePoint c2 = disc_centre(layout, stack.discs[2]);
  EXPECT_DOUBLE_EQ(c0.row - c1.row, 100.0);        // up is +x
  EXPECT_NEAR(c0.column - c2.column, 40.4, 1e-5);  // left is +y
  // Far from the others the discs keep their own intensity; where they
  // overlap the intensities add.
  EXPECT_FLOAT_EQ(at(layout.width - 1, layout.height - 1),
                  0.5f);                             // bottom right: the transmitted disc only
  EXPECT_FLOAT_EQ(at(c1.column + 20, 0), 0.01f);     // top row: only the disc of +x
  EXPECT_FLOAT_EQ(at(0, layout.height - 1), 0.02f);  // bottom left: only the disc of +y
  EXPECT_FLOAT_EQ(at(c0.column, c0.row), 0.5f + 0.01f + 0.02f);
  EXPECT_EQ(at(0, 0), 0.0f);  // the top left corner lies in no disc
}

TEST(ComposedPattern, ApertureCutsEachDiscToACircle) {
  const BeamStack stack = three_discs();
  const float mrad = 5.0f;  // radius tan(5 mrad) / 1e-4 = 50.0 pixels
  const ComposedLayout layout = composed_layout(stack, mrad);
  EXPECT_EQ(layout.half_extent, 51);
  const std::vector<float> picture = compose_pattern(stack, layout, mrad);
  const PicturePoint c0 = disc_centre(layout, stack.discs[0]);
  auto at = [&](int column, int row) {
    return picture[std::size_t(row) * std::size_t(layout.width) + std::size_t(column)];
  };
  const int row = int(std::lround(c0.row + 0.5)), column = int(std::lround(c0.column + 0.5));
  EXPECT_GT(at(column, row), 0.0f);
  // Down and to the right of the transmitted disc's centre no other disc
  // lies: 42 pixels away on the diagonal is inside the circle, 57 outside
  // (though inside the square that the disc's pixels fill without aperture).
  EXPECT_GT(at(column + 30, row + 30), 0.0f);
  EXPECT_EQ(at(column + 40, row + 40), 0.0f);
  EXPECT_EQ(layout.width, 2 * 51 + 40);
  EXPECT_EQ(layout.height, 2 * 51 + 100);
}

// A disc that would stay black on the four-decade grey scale does not widen
// the picture; one pixel within the four decades makes it count.
TEST(ComposedPattern, OnlyDiscsThatShowWidenThePicture) {
  BeamStack stack = three_discs();
  stack.discs[1].offset_i = 700.0f;
  float* far = stack.page(1);
  std::fill(far, far + BeamStack::kPageSize, 0.5f * 3e-5f);  // the brightest pixel is 0.5
  EXPECT_EQ(composed_layout(stack, std::nullopt).height, 512);
  EXPECT_EQ(composed_layout(stack, std::nullopt).width, 512 + 40);
  far[PatternImage::index(300, 300)] = 0.5f * 2e-4f;
  EXPECT_EQ(composed_layout(stack, std::nullopt).height, 512 + 700);
  // Outside a 5 mrad aperture (50 pixels) that pixel is not drawn: black again.
  EXPECT_EQ(composed_layout(stack, 5.0f).height, 2 * 51);
}

TEST(ComposedPattern, TooLargeAPictureIsCutAroundTheTransmittedDisc) {
  BeamStack stack = three_discs();
  stack.discs[1].offset_i = 9000.0f;
  const ComposedLayout layout = composed_layout(stack, std::nullopt);
  EXPECT_EQ(layout.height, kComposedLargestSide);
  EXPECT_DOUBLE_EQ(disc_centre(layout, stack.discs[0]).row, 0.5 * kComposedLargestSide - 0.5);
  const std::vector<float> picture =
      compose_pattern(stack, layout, std::nullopt);  // the far disc is left out
  EXPECT_EQ(picture.size(), std::size_t(layout.width) * std::size_t(layout.height));
}

TEST(ComposedPattern, GreyScaleIsLogarithmicOverFourDecades) {
  const std::vector<float> intensities{0.8f,      0.08f, 0.0252982f, 0.0008f, 0.00008f,
                                       0.000001f, 0.0f,  -1.0f,      NAN,     INFINITY};
  const std::vector<std::uint8_t> grey = composed_grey_levels(intensities);
  const std::vector<std::uint8_t> expected{255, 191, 159, 64, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(grey, expected);
}

}  // namespace
}  // namespace velmorant
