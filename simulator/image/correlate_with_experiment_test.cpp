// Tests of the experimental image reader and the correlation about mid grey.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/image/correlate_with_experiment.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "simulator/image/image_test_support.hpp"
#include "simulator/image/write_pattern_image.hpp"

namespace velmorant {
namespace {

using testing::read_bytes;
using testing::ScratchFolder;
using testing::write_bytes;
constexpr int kN = PatternImage::kSize;
using Bytes = std::vector<std::uint8_t>;

void put32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int k = 0; k < 4; ++k) b[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
}

// A smooth pattern of rings, like a real one, scaled to grey levels.
PatternImage scaled_rings() {
  PatternImage image;
  for (int j = 1; j <= kN; ++j)
    for (int i = 1; i <= kN; ++i) {
      const float r = std::hypot(float(i - 200), float(j - 300));
      image(i, j) = 0.6f + 0.4f * std::cos(r / 9.0f) * std::exp(-r / 400.0f);
    }
  scale_to_grey_levels(image);
  return image;
}

Bytes encoded(const PatternImage& scaled, int bits) {
  Bytes b(encoded_size(bits));
  encode_pattern_image(scaled, bits, b.data());
  return b;
}

class Correlate : public testing::ImageFolderTest {
protected:
  std::string experimental() const { return dir / "exp.bmp"; }
};

TEST_F(Correlate, CopyOfTheWritten8BitImageGivesNearlyOne) {
  PatternImage image;
  for (int j = 1; j <= kN; ++j)
    for (int i = 1; i <= kN; ++i)
      image(i, j) = 0.7f + 0.3f * std::sin(0.05f * i) * std::cos(0.03f * j);
  in->image_bits = 8;
  write_pattern_image(image, *in);
  std::filesystem::copy_file(dir / "DS_exp.bmp", experimental());
  // The file holds the rounded levels of the scaled image, element for element.
  const std::vector<float> grey = read_experimental_image(experimental());
  ASSERT_EQ(grey.size(), PatternImage::size());
  for (int j = 1; j <= kN; ++j)
    for (int i = 1; i <= kN; ++i)
      ASSERT_EQ(grey[PatternImage::index(i, j)], grey_level(image(i, j))) << i << "," << j;
  // The sums are single precision over 262144 pixels: r is good to about 1e-3.
  const float r = correlate_with_experiment(image, *in);
  EXPECT_GT(r, 0.999f);
  EXPECT_LE(r, 1.0f);
}

TEST_F(Correlate, CopyOfThe24BitImageReadsThePlainMean) {
  const PatternImage image = scaled_rings();
  write_bytes(experimental(), encoded(image, 24));
  const std::vector<float> grey = read_experimental_image(experimental());
  ASSERT_EQ(grey.size(), PatternImage::size());
  for (int j = 1; j <= kN; j += 7)
    for (int i = 1; i <= kN; i += 5)
      ASSERT_EQ(grey[PatternImage::index(i, j)], grey_level(image(i, j)));
  EXPECT_GT(correlate_with_experiment(image, *in), 0.999f);
}

TEST_F(Correlate, IsAboutMidGreyNotAboutTheMeans) {
  // Simulated: 255 and 0 in two halves; experimental: 255 and 200. Correlated
  // about their means they agree perfectly; about 128 they do not:
  // r = (127·127 − 72·128) / √((127² + 72²)(127² + 128²)) = 0.26261, up to
  // the rounding of the single-precision sums.
  PatternImage sim, exp;
  for (int j = 1; j <= kN; ++j)
    for (int i = 1; i <= kN; ++i) {
      sim(i, j) = i <= 256 ? 255.0f : 0.0f;
      exp(i, j) = i <= 256 ? 255.0f : 200.0f;
    }
  write_bytes(experimental(), encoded(exp, 8));
  EXPECT_NEAR(correlate_with_experiment(sim, *in), 0.26261f, 2e-3f);
}

TEST_F(Correlate, InvertedImageGivesNearlyMinusOne) {
  const PatternImage image = scaled_rings();
  PatternImage inverted;
  for (std::size_t k = 0; k < PatternImage::size(); ++k)
    inverted.data()[k] = 255.0f - image.data()[k];
  write_bytes(experimental(), encoded(inverted, 8));
  EXPECT_LT(correlate_with_experiment(image, *in), -0.99f);
  EXPECT_GE(correlate_with_experiment(image, *in), -1.0f);
}

TEST_F(Correlate, NaNPatternGivesMinusOne) {
  PatternImage flat;
  flat.fill(0.5f);
  scale_to_grey_levels(flat);  // all equal: every element NaN
  write_bytes(experimental(), encoded(scaled_rings(), 8));
  EXPECT_EQ(correlate_with_experiment(flat, *in), -1.0f);
}

TEST_F(Correlate, UnusableFilesGiveTwo) {
  const Bytes good = encoded(scaled_rings(), 8);
  struct Case {
    const char* what;
    std::size_t at;
    std::uint32_t value;
    int size;
  } cases[] = {
      {"256 x 256", 18, 256, 4},
      {"height 256", 22, 256, 4},
      {"top-down rows", 22, std::uint32_t(-512), 4},
      {"RLE4", 30, 2, 4},
      {"bit fields", 30, 3, 4},
      {"16 bits", 28, 16, 2},
      {"32 bits", 28, 32, 2},
      {"not BM", 0, 'B' | ('A' << 8), 2},
  };
  const PatternImage image = scaled_rings();
  for (const Case& c : cases) {
    Bytes b = good;
    for (int k = 0; k < c.size; ++k) b[c.at + k] = static_cast<std::uint8_t>(c.value >> (8 * k));
    write_bytes(experimental(), b);
    EXPECT_EQ(correlate_with_experiment(image, *in), kUnusableImage) << c.what;
  }
}

TEST_F(Correlate, SmallFileWithTheRightSizeInItsNameStillGivesTwo) {
  // A real 256 x 256 8-bit file: header, palette and 65536 pixels.
  Bytes b(54 + 1024 + 256 * 256, 0x40);
  const Bytes head = encoded(scaled_rings(), 8);
  std::copy(head.begin(), head.begin() + 1078, b.begin());
  put32(b, 18, 256);
  put32(b, 22, 256);
  write_bytes(experimental(), b);
  EXPECT_EQ(correlate_with_experiment(scaled_rings(), *in), 2.0f);
}

TEST_F(Correlate, ColoursUsedZeroTakesThePaletteAsPixels) {
  Bytes b = encoded(scaled_rings(), 8);
  put32(b, 46, 0);
  write_bytes(experimental(), b);
  const std::vector<float> grey = read_experimental_image(experimental());
  ASSERT_EQ(grey.size(), PatternImage::size());
  // File pixel p (row p / 512, x = p % 512) is element (p / 512 + 1, 512 - p % 512).
  auto at = [&](std::size_t p) {
    return grey[PatternImage::index(int(p / kN) + 1, kN - int(p % kN))];
  };
  for (std::size_t k = 0; k < 256; ++k) {
    ASSERT_EQ(at(4 * k), int(k));
    ASSERT_EQ(at(4 * k + 1), int(k));
    ASSERT_EQ(at(4 * k + 2), int(k));
    ASSERT_EQ(at(4 * k + 3), 0);
  }
  for (std::size_t p = 1024; p < PatternImage::size(); p += 997)
    ASSERT_EQ(at(p), b[1078 + p - 1024]);
}

TEST_F(Correlate, FirstPixelChoosesTheTwentyFourBitConversion) {
  // Pixels given as blue, green, red; the rest of the file is (10, 21, 0).
  struct Case {
    std::uint8_t first[3];
    int first_grey;
    int other_grey;
  } cases[] = {
      {{0, 128, 128}, 255 - 127 / 2, 20 / 2},  // sums to 256 with a zero: two-colour ramp
      {{100, 100, 100}, 100, 31 / 3},          // plain mean
      {{128, 128, 0}, 127 / 2, 20 / 2},        // ramp, blue not 0
      {{0, 0, 0}, 0, 31 / 3},                  // sum 0: plain
      {{56, 100, 100}, 256 / 3, 31 / 3},       // sum 256 but no zero: plain
  };
  for (const Case& c : cases) {
    Bytes b(786486);
    const Bytes head = encoded(scaled_rings(), 24);
    std::copy(head.begin(), head.begin() + 54, b.begin());
    for (std::size_t p = 0; p < PatternImage::size(); ++p) {
      b[54 + 3 * p] = 10;
      b[54 + 3 * p + 1] = 21;
      b[54 + 3 * p + 2] = 0;
    }
    std::copy(c.first, c.first + 3, b.begin() + 54);
    write_bytes(experimental(), b);
    const std::vector<float> grey = read_experimental_image(experimental());
    ASSERT_EQ(grey.size(), PatternImage::size());
    EXPECT_EQ(grey[PatternImage::index(1, 512)], c.first_grey);
    EXPECT_EQ(grey[PatternImage::index(200, 17)], c.other_grey);
  }
}

TEST_F(Correlate, RampWithBlueZeroAndGreenZero) {
  // (G - 1) / 2 truncates toward zero: G = 0 with B = 0 gives 255.
  Bytes b(786486, 0);
  const Bytes head = encoded(scaled_rings(), 24);
  std::copy(head.begin(), head.begin() + 54, b.begin());
  b[54] = 0, b[55] = 128, b[56] = 128;
  write_bytes(experimental(), b);
  const std::vector<float> grey = read_experimental_image(experimental());
  EXPECT_EQ(grey[PatternImage::index(300, 300)], 255);
}

TEST_F(Correlate, MissingOrShortFilesAreErrorsNamingTheFile) {
  const Bytes good = encoded(scaled_rings(), 8);
  const struct {
    const char* what;
    std::size_t keep;  // bytes of the good file kept; npos: no file at all
    std::uint32_t colours_used;
  } cases[] = {
      {"missing", std::string::npos, 256},
      {"empty", 0, 256},
      {"one byte", 1, 256},
      {"short header", 40, 256},
      {"short palette", 600, 256},
      {"short pixels", 263221, 256},
      {"palette beyond the end", 263222, 0x7fffffff},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(experimental());
    if (c.keep != std::string::npos) {
      Bytes b(good.begin(), good.begin() + std::ptrdiff_t(c.keep));
      if (b.size() >= 50) put32(b, 46, c.colours_used);
      write_bytes(experimental(), b);
    }
    try {
      correlate_with_experiment(scaled_rings(), *in);
      ADD_FAILURE() << c.what << ": no error";
    } catch (const FileError& e) {
      EXPECT_NE(std::string(e.what()).find(experimental()), std::string::npos) << e.what();
    }
  }
}

TEST_F(Correlate, FolderInsteadOfAFileIsAnError) {
  std::filesystem::create_directory(experimental());
  EXPECT_THROW(correlate_with_experiment(scaled_rings(), *in), FileError);
}

}  // namespace
}  // namespace velmorant

namespace velmorant {
namespace {

// Every r of -1 comes with the reason; an ordinary r with none.
TEST(CorrelationReasons, EveryMinusOneSaysWhy) {
  PatternImage rings_scaled;
  for (int j = 1; j <= kN; ++j)
    for (int i = 1; i <= kN; ++i)
      rings_scaled(i, j) = 127.5f + 127.5f * std::cos(0.05f * float(i * i + j * j) / 100.0f);
  std::vector<float> same(rings_scaled.data(), rings_scaled.data() + PatternImage::kPixels);
  std::vector<float> inverted(same), mid(PatternImage::kPixels, 128.0f);
  for (float& v : inverted) v = 256.0f - v;
  PatternImage nan_pattern = rings_scaled, mid_pattern;
  nan_pattern(3, 4) = NAN;
  mid_pattern.fill(128.0f);
  const struct {
    const char* what;
    const std::vector<float>& grey;
    const PatternImage& pattern;
    const char* reason;  // empty: an ordinary r
  } cases[] = {
      {"same", same, rings_scaled, ""},
      {"inverted", inverted, rings_scaled, "inverted (negative) about mid grey"},
      {"non-finite pixel", same, nan_pattern,
       "1 of 262144 pixels of the simulated pattern are not finite"},
      {"experiment mid grey", mid, rings_scaled,
       "the experimental image is mid grey (128) everywhere"},
      {"pattern mid grey", same, mid_pattern, "the simulated pattern is mid grey (128) everywhere"},
  };
  for (const auto& c : cases) {
    const Correlation r = correlate_grey_levels_explained(c.grey, c.pattern);
    if (c.reason[0] == '\0') {
      EXPECT_GT(r.r, 0.999f) << c.what;
      EXPECT_EQ(r.why, "") << c.what;
    } else {
      EXPECT_EQ(r.r, -1.0f) << c.what;
      EXPECT_NE(r.why.find(c.reason), std::string::npos) << c.what << ": " << r.why;
    }
  }
}

}  // namespace
}  // namespace velmorant
