// Tests of the grey-level scaling and the 8- and 24-bit BMP layouts.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/image/write_pattern_image.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>

#include "simulator/image/image_test_support.hpp"

namespace velmorant {
namespace {

using testing::read_bytes;
using testing::ScratchFolder;
constexpr int kN = PatternImage::kSize;

std::uint32_t u16(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b[at] | (std::uint32_t(b[at + 1]) << 8);
}
std::uint32_t u32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return u16(b, at) | (u16(b, at + 2) << 16);
}

// An intensity field whose every element has a different value in 0.2..0.9,
// so that a misplaced pixel shows.
PatternImage ramp_pattern() {
  PatternImage image;
  for (int j = 1; j <= kN; ++j)
    for (int i = 1; i <= kN; ++i)
      image(i, j) = 0.2f + 0.7f * float((i * 7 + j * 13) % 997) / 996.0f;
  return image;
}

class WritePatternImage : public testing::ImageFolderTest {
protected:
  std::string written() const { return dir / "DS_exp.bmp"; }
};

TEST(ScaleToGreyLevels, MinimumToZeroMaximumTo255InPlace) {
  PatternImage image;
  image.fill(0.5f);
  image(1, 1) = 0.25f;
  image(512, 512) = 1.25f;
  image(7, 9) = 0.75f;
  scale_to_grey_levels(image);
  EXPECT_EQ(image(1, 1), 0.0f);
  EXPECT_EQ(image(512, 512), 255.0f);
  EXPECT_FLOAT_EQ(image(7, 9), 127.5f);  // unrounded
  EXPECT_FLOAT_EQ(image(2, 1), 63.75f);
}

TEST(ScaleToGreyLevels, NonFiniteElementsArePassedOver) {
  PatternImage image;
  image.fill(0.5f);
  image(1, 1) = NAN;  // the first element does not seed the extremes
  image(3, 3) = INFINITY;
  image(4, 4) = 1.0f;
  image(5, 5) = 0.0f;
  scale_to_grey_levels(image);
  EXPECT_TRUE(std::isnan(image(1, 1)));
  EXPECT_FALSE(std::isfinite(image(3, 3)));
  EXPECT_EQ(image(4, 4), 255.0f);
  EXPECT_EQ(image(5, 5), 0.0f);
  EXPECT_FLOAT_EQ(image(2, 2), 127.5f);
}

TEST(ScaleToGreyLevels, UniformPatternBecomesNaNAndIsWrittenBlack) {
  PatternImage image;
  image.fill(1.0f);
  scale_to_grey_levels(image);
  EXPECT_TRUE(std::isnan(image(1, 1)));
  EXPECT_TRUE(std::isnan(image(512, 512)));
  EXPECT_EQ(grey_level(image(300, 200)), 0);
}

TEST(GreyLevel, NearestIntegerHalvesAwayFromZero) {
  const struct {
    float v;
    int grey;
  } cases[] = {{0.0f, 0}, {0.49f, 0},     {0.5f, 1},     {1.5f, 2},
               {2.5f, 3}, {127.49f, 127}, {254.5f, 255}, {255.0f, 255},
               {NAN, 0},  {INFINITY, 0},  {-INFINITY, 0}};
  for (const auto& c : cases) EXPECT_EQ(grey_level(c.v), c.grey) << c.v;
}

TEST_F(WritePatternImage, EightBitLayoutByteForByte) {
  PatternImage image = ramp_pattern();
  in->image_bits = 8;
  write_pattern_image(image, *in);
  const std::vector<std::uint8_t> b = read_bytes(written());
  ASSERT_EQ(b.size(), 263222u);
  EXPECT_EQ(b[0], 'B');
  EXPECT_EQ(b[1], 'M');
  const struct {
    std::size_t at;
    int size;
    std::uint32_t value;
  } fields[] = {{2, 4, 263222},  {6, 2, 0},     {8, 2, 0},     {10, 4, 1078}, {14, 4, 40},
                {18, 4, 512},    {22, 4, 512},  {26, 2, 1},    {28, 2, 8},    {30, 4, 0},
                {34, 4, 262144}, {38, 4, 2808}, {42, 4, 2808}, {46, 4, 256},  {50, 4, 256}};
  for (const auto& f : fields)
    EXPECT_EQ(f.size == 2 ? u16(b, f.at) : u32(b, f.at), f.value) << "offset " << f.at;
  for (int k = 0; k < 256; ++k) {
    const std::size_t e = 54 + 4 * std::size_t(k);
    ASSERT_EQ(b[e], k);
    ASSERT_EQ(b[e + 1], k);
    ASSERT_EQ(b[e + 2], k);
    ASSERT_EQ(b[e + 3], 0);
  }
  // Stored row r holds i = r + 1; pixel x holds j = 512 - x; image scaled in place.
  for (int i = 1; i <= kN; ++i)
    for (int j = 1; j <= kN; ++j)
      ASSERT_EQ(b[1078 + std::size_t(i - 1) * kN + std::size_t(kN - j)], grey_level(image(i, j)))
          << i << "," << j;
  EXPECT_EQ(b[1078], grey_level(image(1, 512)));
}

TEST_F(WritePatternImage, TwentyFourBitLayoutByteForByte) {
  PatternImage image = ramp_pattern();
  in->image_bits = 24;
  write_pattern_image(image, *in);
  const std::vector<std::uint8_t> b = read_bytes(written());
  ASSERT_EQ(b.size(), 786486u);
  const struct {
    std::size_t at;
    int size;
    std::uint32_t value;
  } fields[] = {{2, 4, 786486},  {6, 2, 0},    {8, 2, 0},  {10, 4, 54}, {14, 4, 40},
                {18, 4, 512},    {22, 4, 512}, {26, 2, 1}, {28, 2, 24}, {30, 4, 0},
                {34, 4, 786432}, {38, 4, 0},   {42, 4, 0}, {46, 4, 0},  {50, 4, 0}};
  EXPECT_EQ(b[0], 'B');
  EXPECT_EQ(b[1], 'M');
  for (const auto& f : fields)
    EXPECT_EQ(f.size == 2 ? u16(b, f.at) : u32(b, f.at), f.value) << "offset " << f.at;
  for (int i = 1; i <= kN; ++i)
    for (int j = 1; j <= kN; ++j) {
      const std::size_t at = 54 + 3 * (std::size_t(i - 1) * kN + std::size_t(kN - j));
      const std::uint8_t g = grey_level(image(i, j));
      ASSERT_TRUE(b[at] == g && b[at + 1] == g && b[at + 2] == g) << i << "," << j;
    }
}

TEST_F(WritePatternImage, OtherDepthWritesAnEmptyFileButStillScales) {
  PatternImage image = ramp_pattern();
  in->image_bits = 16;
  write_pattern_image(image, *in);
  ASSERT_TRUE(std::filesystem::exists(written()));
  EXPECT_EQ(std::filesystem::file_size(written()), 0u);
  float lo = 1e9f, hi = -1e9f;
  for (std::size_t k = 0; k < PatternImage::size(); ++k) {
    lo = std::min(lo, image.data()[k]);
    hi = std::max(hi, image.data()[k]);
  }
  EXPECT_EQ(lo, 0.0f);
  EXPECT_EQ(hi, 255.0f);
}

TEST_F(WritePatternImage, ReplacesALongerFileWhole) {
  testing::write_bytes(written(), std::vector<std::uint8_t>(900000, 0xAB));
  PatternImage image = ramp_pattern();
  in->image_bits = 8;
  write_pattern_image(image, *in);
  EXPECT_EQ(std::filesystem::file_size(written()), 263222u);
  // Nothing but the image is left in the folder.
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.path()))
    files += e.is_regular_file();
  EXPECT_EQ(files, 1);
}

TEST_F(WritePatternImage, MissingFolderNamesTheFile) {
  in->image_directory = (dir.path() / "no-such-folder").string();
  in->image_bits = 8;
  PatternImage image = ramp_pattern();
  std::string messages[2];
  try {
    check_image_folder(*in);
  } catch (const FileError& e) {
    messages[0] = e.what();
  }
  try {
    write_pattern_image(image, *in);
  } catch (const FileError& e) {
    messages[1] = e.what();
  }
  for (const std::string& msg : messages) {
    EXPECT_NE(msg.find("no-such-folder/DS_exp.bmp"), std::string::npos) << msg;
    EXPECT_NE(msg.find("does not exist"), std::string::npos) << msg;
  }
  EXPECT_EQ(messages[0], messages[1]);  // the early check says what the write would say
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST_F(WritePatternImage, ExistingFolderPassesTheCheck) {
  EXPECT_NO_THROW(check_image_folder(*in));
  in->image_directory = "";
  EXPECT_NO_THROW(check_image_folder(*in));  // the working directory
  testing::write_bytes(dir / "plain-file", {});
  in->image_directory = dir / "plain-file";
  EXPECT_THROW(check_image_folder(*in), FileError);
}

}  // namespace
}  // namespace velmorant
