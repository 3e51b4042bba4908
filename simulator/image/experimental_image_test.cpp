// Tests of the BMP, PNG and TIFF experimental images: round trips through every writer, grey rules, unusable files.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/image/experimental_image.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "simulator/image/correlate_with_experiment.hpp"
#include "simulator/image/encode_image.hpp"
#include "simulator/image/image_test_support.hpp"
#include "simulator/image/simulated_image.hpp"
#include "simulator/image/write_pattern_image.hpp"

namespace velmorant {
namespace {

using testing::read_bytes;
using testing::write_bytes;
using Bytes = std::vector<std::uint8_t>;
constexpr int kN = PatternImage::kSize;

// Transmitted intensities of a smooth pattern of rings, off centre so that a
// flipped or turned image shows.
PatternImage rings(float cx, float cy, float period) {
  PatternImage image;
  for (int j = 1; j <= kN; ++j)
    for (int i = 1; i <= kN; ++i) {
      const float r = std::hypot(float(i) - cx, float(j) - cy);
      image(i, j) = 0.6f + 0.4f * std::cos(r / period) * std::exp(-r / 400.0f);
    }
  return image;
}

PatternImage scaled(PatternImage image) {
  scale_to_grey_levels(image);
  return image;
}

bool have_convert() { return std::system("convert -version > /dev/null 2>&1") == 0; }

struct Written {
  const char* what;
  ImageFormat format;
  int bits;
  const char* name;
};

// Every kind of simulated image a run can write.
const Written kWritten[] = {
    {"BMP 8", ImageFormat::bmp, 8, "exp.bmp"},        {"BMP 24", ImageFormat::bmp, 24, "exp.bmp"},
    {"PNG 8", ImageFormat::png, 8, "exp.png"},        {"PNG 16", ImageFormat::png, 16, "exp.png"},
    {"TIFF 8", ImageFormat::tiff, 8, "exp.tif"},      {"TIFF 16", ImageFormat::tiff, 16, "exp.tif"},
    {"TIFF float", ImageFormat::tiff, 32, "exp.tif"},
};

class ExperimentalImageTest : public testing::ImageFolderTest {
protected:
  // Writes `intensities` as the run would for an experiment of this kind and
  // returns the path of the simulated image.
  std::string write_as(const Written& w, PatternImage intensities) {
    in->image_name = w.name;
    in->image_bits = w.format == ImageFormat::bmp ? w.bits : 8;
    ImagePlan plan;
    plan.experiment = true;
    plan.format = w.format;
    plan.bits = w.bits;
    plan.simulated_path = dir / (std::string("DS_") + w.name);
    write_simulated_image(intensities, plan, *in);
    return plan.simulated_path;
  }
};

// A simulated pattern written in every format and read back as the
// experiment gives the r of the unrounded grey levels: to the rounding of the
// grey levels for 8 bits (about 1e-5 here), closer for 16 bits and float.
// Formats that hold the same integer grey levels give the same r to the bit.
TEST_F(ExperimentalImageTest, RoundTripThroughEveryFormatGivesTheSameR) {
  const PatternImage simulated = rings(200.0f, 300.0f, 9.0f);
  const PatternImage other = scaled(rings(210.0f, 290.0f, 8.0f));  // another thickness, say
  const PatternImage grey = scaled(simulated);
  const std::vector<float> exact(grey.data(), grey.data() + PatternImage::kPixels);
  const float r_exact = correlate_grey_levels(exact, other);
  ASSERT_GT(std::fabs(r_exact), 0.1f);
  ASSERT_LT(std::fabs(r_exact), 0.98f);
  float r8 = NAN, r16 = NAN;
  for (const Written& w : kWritten) {
    if (!format_built(w.format)) continue;  // built without libpng or libtiff
    const std::string path = write_as(w, simulated);
    const ExperimentalImage image = load_experimental_image(path);
    ASSERT_TRUE(image.usable()) << w.what << ": " << image.problem;
    EXPECT_EQ(image.format, w.format) << w.what;
    EXPECT_EQ(image.bits, w.bits) << w.what;
    float worst = 0.0f;
    for (std::size_t k = 0; k < PatternImage::kPixels; ++k)
      worst = std::max(worst, std::fabs(image.grey[k] - exact[k]));
    EXPECT_LE(worst, w.bits == 16 ? 0.5f / 257.0f + 1e-4f : w.bits == 32 ? 1e-4f : 0.5f) << w.what;
    const float r = correlate_grey_levels(image.grey, other);
    EXPECT_NEAR(r, r_exact, w.bits == 8 || w.bits == 24 ? 2e-4f : 2e-5f) << w.what;
    float& same = w.bits == 16 ? r16 : r8;
    if (w.bits == 32) continue;
    if (std::isnan(same))
      same = r;
    else
      EXPECT_EQ(r, same) << w.what;  // the same grey levels, the same sums
  }
}

// Every format shows the pattern the same way (+x up, +y to the left): a
// PNG or TIFF that ImageMagick makes from the BMP holds the same grey level
// in every element; so does the BMP when ImageMagick writes it run-length
// encoded (palette of only the colours used) or with its longer header.
TEST_F(ExperimentalImageTest, FilesConvertedByImageMagickReadTheSame) {
  if (!format_built(ImageFormat::png) || !format_built(ImageFormat::tiff))
    GTEST_SKIP() << "built without libpng or libtiff";
  if (!have_convert()) GTEST_SKIP() << "ImageMagick's convert is not installed";
  PatternImage simulated = rings(150.0f, 330.0f, 11.0f);
  const std::string bmp = write_as(kWritten[0], simulated);
  const std::vector<float> expected = load_experimental_image(bmp).grey;
  ASSERT_EQ(expected.size(), PatternImage::kPixels);
  const struct {
    const char* options;
    const char* name;
  } conversions[] = {
      {"", "c.png"},
      {"-depth 16", "c16.png"},
      {"", "c.tif"},
      {"-depth 16", "c16.tif"},
      {"-compress LZW", "lzw.tif"},
      {"-interlace PNG", "interlaced.png"},
      {"-compress RLE -type Palette", "BMP3:rle.bmp"},
      {"-type TrueColor", "BMP:v4.bmp"},
  };
  for (const auto& c : conversions) {
    const std::string target = std::string(c.name);
    const std::size_t colon = target.find(':');
    const std::string file = dir / (colon == std::string::npos ? target : target.substr(colon + 1));
    const std::string out = colon == std::string::npos ? file : target.substr(0, colon + 1) + file;
    const std::string command = "convert '" + bmp + "' " + c.options + " '" + out + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const ExperimentalImage image = load_experimental_image(file);
    ASSERT_TRUE(image.usable()) << c.name << ": " << image.problem;
    std::size_t differ = 0;
    for (std::size_t k = 0; k < PatternImage::kPixels; ++k)
      differ += std::fabs(image.grey[k] - expected[k]) > 1e-3f;
    EXPECT_EQ(differ, 0u) << c.name;
  }
}

// Colour becomes grey by the luma 0.299 R + 0.587 G + 0.114 B, rounded on
// the file's own integer scale; 16 bits are divided by 257.
TEST_F(ExperimentalImageTest, ColourAndDepthBecomeGreyByTheDocumentedRule) {
  if (!format_built(ImageFormat::png) || !format_built(ImageFormat::tiff))
    GTEST_SKIP() << "built without libpng or libtiff";
  if (!have_convert()) GTEST_SKIP() << "ImageMagick's convert is not installed";
  const struct {
    const char* colour;
    const char* options;
    const char* name;
    float grey;
  } cases[] = {
      {"rgb(200,100,50)", "-depth 8", "rgb8.png", 124.0f},            // 124.2
      {"rgb(200,100,50)", "", "PNG48:rgb16.png", 31919.0f / 257.0f},  // 31919.4 of 65535
      {"rgb(200,100,50)", "-depth 8", "rgb8.tif", 124.0f},
      {"rgb(10,250,90)", "-depth 8", "green.png", 160.0f},  // 2.99 + 146.75 + 10.26 = 160.0
      {"gray(40)", "-depth 8", "grey.png", 40.0f},
      {"gray(40)", "-depth 16", "grey16.tif", 40.0f},             // 10280 / 257
      {"rgba(200,100,50,0.5)", "-depth 8", "alpha.png", 124.0f},  // alpha ignored
      {"graya(40,0.5)", "-depth 8", "grey-alpha.png", 40.0f},     // alpha ignored
      {"rgba(200,100,50,0.5)", "-depth 8", "alpha.tif", 124.0f},  // alpha ignored
      {"graya(40,0.5)", "-depth 8", "grey-alpha.tif", 40.0f},     // alpha ignored
      // A palette with a transparent entry (tRNS): libpng expands it to four
      // samples a pixel, which must not be read as three.
      {"rgba(0,0,0,0)", "-fill 'rgb(200,100,50)' -draw 'rectangle 0,0 511,510'",
       "PNG8:palette-trns.png", 124.0f},
      {"rgb(200,100,50)", "", "PNG8:palette.png", 124.0f},
  };
  for (const auto& c : cases) {
    const std::string target = c.name;
    const std::size_t colon = target.find(':');
    const std::string file = dir / (colon == std::string::npos ? target : target.substr(colon + 1));
    const std::string out = colon == std::string::npos ? file : target.substr(0, colon + 1) + file;
    const std::string command =
        std::string("convert -size 512x512 xc:'") + c.colour + "' " + c.options + " '" + out + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const ExperimentalImage image = load_experimental_image(file);
    ASSERT_TRUE(image.usable()) << c.name << ": " << image.problem;
    // Neighbouring pixels: a file read with the wrong number of samples a
    // pixel gives the right grey at one of them by chance at most.
    for (int j = 400; j < 404; ++j)
      EXPECT_FLOAT_EQ(image.grey[PatternImage::index(100, j)], c.grey) << c.name << " " << j;
  }
}

// Files that are readable but cannot be compared: r = 2.0, with a sentence
// that names the file and the reason. Made by ImageMagick or by patching a
// good file.
TEST_F(ExperimentalImageTest, UnusableImagesSayWhy) {
  if (!format_built(ImageFormat::png) || !format_built(ImageFormat::tiff))
    GTEST_SKIP() << "built without libpng or libtiff";
  if (!have_convert()) GTEST_SKIP() << "ImageMagick's convert is not installed";
  const struct {
    const char* command;  // made with convert; {} is the file
    const char* name;
    const char* reason;
  } cases[] = {
      {"-size 256x256 xc:gray50 -depth 8", "small.png",
       "is 256 x 256 pixels; it must be 512 x 512"},
      {"-size 512x512 xc:black -type bilevel", "bilevel.png",
       "has 1 bits per sample; a PNG experiment must have 8 or 16"},
      {"-size 256x256 xc:gray50 -depth 8", "small.tif", "is 256 x 256 pixels"},
      {"-size 512x512 xc:black -depth 1", "bilevel.tif", "has 1-bit unsigned samples"},
      {"-size 512x512 xc:gray50 -colorspace CMYK", "cmyk.tif", "photometric interpretation 5"},
      {"-size 256x256 xc:gray50 -depth 8", "BMP3:small.bmp", "is 256 x 256 pixels"},
      {"-size 512x512 pattern:checkerboard -type bilevel", "BMP3:bilevel.bmp",
       "has 1 bits per pixel; a BMP experiment must have 8 or 24"},
      {"-size 512x512 xc:gray50 -depth 8 -type Palette", "BMP2:os2.bmp",
       "has the 12-byte header of OS/2"},
      {"-size 512x512 xc:gray50 -depth 8", "GIF:grey.gif",
       "is neither BMP, PNG nor TIFF (it starts with the bytes 47 49)"},
  };
  for (const auto& c : cases) {
    const std::string target = c.name;
    const std::size_t colon = target.find(':');
    const std::string file = dir / (colon == std::string::npos ? target : target.substr(colon + 1));
    const std::string out = colon == std::string::npos ? file : target.substr(0, colon + 1) + file;
    const std::string command = std::string("convert ") + c.command + " '" + out + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const ExperimentalImage image = load_experimental_image(file);
    EXPECT_FALSE(image.usable()) << c.name;
    EXPECT_TRUE(image.grey.empty()) << c.name;
    EXPECT_EQ(image.problem.rfind("the experimental image \"" + file + "\" ", 0), 0u)
        << image.problem;
    EXPECT_NE(image.problem.find(c.reason), std::string::npos) << c.name << ": " << image.problem;
  }
}

// Float TIFFs are stretched like the simulated pattern; non-finite pixels or
// a single value make them unusable.
TEST_F(ExperimentalImageTest, FloatTiffIsStretchedAndNonFinitePixelsAreReported) {
  if (!format_built(ImageFormat::png) || !format_built(ImageFormat::tiff))
    GTEST_SKIP() << "built without libpng or libtiff";
  PatternImage values;
  for (int j = 1; j <= kN; ++j)
    for (int i = 1; i <= kN; ++i) values(i, j) = -3.0f + 0.01f * float(i) + 0.001f * float(j);
  const std::string path = dir / "f.tif";
  write_bytes(path, encode_tiff(values, 32));
  ExperimentalImage image = load_experimental_image(path);
  ASSERT_TRUE(image.usable()) << image.problem;
  EXPECT_EQ(image.grey[PatternImage::index(1, 1)], 0.0f);
  EXPECT_FLOAT_EQ(image.grey[PatternImage::index(512, 512)], 255.0f);
  EXPECT_NEAR(image.grey[PatternImage::index(256, 1)], 255.0f * 2.55f / (5.11f + 0.511f), 1e-3f);
  // Read without stretching: the values as written, to the bit.
  const Bytes bytes = read_bytes(path);
  const ExperimentalImage raw = decode_tiff(bytes.data(), bytes.size(), path, false);
  for (std::size_t k = 0; k < PatternImage::kPixels; k += 1013)
    ASSERT_EQ(raw.grey[k], values.data()[k]);

  const struct {
    const char* what;
    float value;
    const char* reason;
  } cases[] = {
      {"one NaN", NAN, "has 1 of 262144 pixels that are not finite numbers"},
      {"one infinity", INFINITY, "has 1 of 262144 pixels that are not finite numbers"},
  };
  for (const auto& c : cases) {
    PatternImage bad = values;
    bad(7, 9) = c.value;
    write_bytes(path, encode_tiff(bad, 32));
    image = load_experimental_image(path);
    EXPECT_NE(image.problem.find(c.reason), std::string::npos) << c.what << ": " << image.problem;
  }
  PatternImage flat;
  flat.fill(0.7f);
  write_bytes(path, encode_tiff(flat, 32));
  EXPECT_NE(load_experimental_image(path).problem.find("is uniform"), std::string::npos);
}

// Files that cannot be read at all are errors naming the file (the run stops
// with "  -101"): cut short, a folder, no permission.
TEST_F(ExperimentalImageTest, TruncatedFoldersAndUnreadableFilesAreErrors) {
  const PatternImage simulated = rings(200.0f, 300.0f, 9.0f);
  for (const Written& w : kWritten) {
    if (!format_built(w.format)) continue;
    const Bytes good = read_bytes(write_as(w, simulated));
    for (std::size_t keep : {good.size() / 2, good.size() - 1, std::size_t(20)}) {
      const std::string path = dir / "cut";
      write_bytes(path, Bytes(good.begin(), good.begin() + std::ptrdiff_t(keep)));
      try {
        const ExperimentalImage image = load_experimental_image(path);
        ADD_FAILURE() << w.what << " cut to " << keep << " bytes: no error; " << image.problem;
      } catch (const FileError& e) {
        EXPECT_NE(std::string(e.what()).find("\"" + path + "\""), std::string::npos) << e.what();
      }
    }
  }
  const std::string folder = dir / "folder.png";
  std::filesystem::create_directory(folder);
  EXPECT_THROW(load_experimental_image(folder), FileError);
  if (::geteuid() != 0 && format_built(ImageFormat::png)) {  // root reads everything
    const std::string locked = dir / "locked.png";
    write_bytes(locked, encode_png(scaled(simulated), 8));
    ::chmod(locked.c_str(), 0);
    EXPECT_THROW(load_experimental_image(locked), FileError);
  }
}

// A run-length encoded BMP made by hand: runs, a literal run with its pad
// byte, a move (delta), end of line and end of picture; its palette maps
// index k to grey 100 + k, and pixels the data skips take entry 0.
TEST_F(ExperimentalImageTest, RunLengthEncodedBmpAppliesItsPalette) {
  Bytes b(54 + 4 * 4, 0);
  PatternImage blank;
  Bytes head(encoded_size(8));
  encode_pattern_image(blank, 8, head.data());
  std::copy(head.begin(), head.begin() + 54, b.begin());
  auto put32 = [&](std::size_t at, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) b[at + std::size_t(k)] = static_cast<std::uint8_t>(v >> (8 * k));
  };
  put32(10, 54 + 16);  // pixel data after a palette of 4 entries
  put32(30, 1);        // RLE8
  put32(46, 4);
  for (int k = 0; k < 4; ++k)
    for (int c = 0; c < 3; ++c)
      b[54 + 4 * std::size_t(k) + std::size_t(c)] = static_cast<std::uint8_t>(100 + k);
  const std::uint8_t data[] = {
      3, 1,              // bottom row: x 0..2 entry 1
      0, 3, 2, 3, 1, 0,  // literal 2, 3, 1 and a pad byte: x 3..5
      0, 2, 4, 1,        // move 4 right, 1 up: row 1, x 10
      2, 3,              // row 1, x 10..11 entry 3
      0, 0,              // end of line: row 2
      1, 2,              // row 2, x 0 entry 2
      0, 1,              // end of picture
  };
  b.insert(b.end(), std::begin(data), std::end(data));
  const std::string path = dir / "rle.bmp";
  write_bytes(path, b);
  const ExperimentalImage image = load_experimental_image(path);
  ASSERT_TRUE(image.usable()) << image.problem;
  // Row r from the bottom, pixel x from the left: element (r + 1, 512 - x).
  const struct {
    int row, x;
    float grey;
  } pixels[] = {{0, 0, 101}, {0, 2, 101}, {0, 3, 102},    {0, 4, 103},  {0, 5, 101},
                {0, 6, 100}, {1, 9, 100}, {1, 10, 103},   {1, 11, 103}, {1, 12, 100},
                {2, 0, 102}, {2, 1, 100}, {511, 511, 100}};
  for (const auto& p : pixels)
    EXPECT_EQ(image.grey[PatternImage::index(p.row + 1, kN - p.x)], p.grey) << p.row << "," << p.x;
  // Without its end-of-picture mark the data is cut short: an error.
  b.erase(b.end() - 2, b.end());
  write_bytes(path, b);
  EXPECT_THROW(load_experimental_image(path), FileError);
}

// A grey TIFF whose photometric interpretation says white is zero is read
// inverted: the sample 40 of 255 is grey level 215.
TEST_F(ExperimentalImageTest, TiffWithWhiteAsZeroIsInverted) {
  if (!format_built(ImageFormat::tiff)) GTEST_SKIP() << "built without libtiff";
  PatternImage levels;
  levels.fill(40.0f);
  levels(100, 400) = 250.0f;
  for (int bits : {8, 16}) {
    Bytes b = encode_tiff(levels, bits);
    // Little-endian file: the directory's offset at byte 4, then a count and
    // 12-byte entries (tag, type, count, value); tag 262 is the photometric
    // interpretation, 1 black is zero, 0 white is zero.
    const std::size_t ifd = b[4] | (b[5] << 8) | (b[6] << 16) | (std::size_t(b[7]) << 24);
    const std::size_t n = b[ifd] | (b[ifd + 1] << 8);
    bool patched = false;
    for (std::size_t k = 0; k < n; ++k) {
      std::uint8_t* e = b.data() + ifd + 2 + 12 * k;
      if ((e[0] | (e[1] << 8)) == 262) {
        ASSERT_EQ(e[8], 1);
        e[8] = 0;
        patched = true;
      }
    }
    ASSERT_TRUE(patched);
    const std::string path = dir / "white.tif";
    write_bytes(path, b);
    const ExperimentalImage image = load_experimental_image(path);
    ASSERT_TRUE(image.usable()) << image.problem;
    EXPECT_FLOAT_EQ(image.grey[PatternImage::index(1, 1)], 215.0f) << bits;
    EXPECT_FLOAT_EQ(image.grey[PatternImage::index(100, 400)], 5.0f) << bits;
  }
}

// A PNG or TIFF signature followed by rubbish: a damaged file (an error)
// where the format is built in, an image this build cannot read (r = 2.0,
// saying which library was missing) where it is not.
TEST_F(ExperimentalImageTest, DamagedOrNotBuiltFormatsSaySo) {
  const struct {
    ImageFormat format;
    Bytes bytes;
    const char* damaged;
    const char* not_built;
  } cases[] = {
      {ImageFormat::png,
       {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R', 1, 2, 3},
       "PNG",
       "built without PNG support (libpng-dev was not installed)"},
      {ImageFormat::tiff,
       {'I', 'I', 42, 0, 200, 1, 0, 0, 9, 9, 9, 9},
       "cannot be read as TIFF",
       "built without TIFF support (libtiff-dev was not installed)"},
  };
  for (const auto& c : cases) {
    const std::string path = dir / "x";
    write_bytes(path, c.bytes);
    if (format_built(c.format)) {
      try {
        const ExperimentalImage image = load_experimental_image(path);
        ADD_FAILURE() << format_name(c.format) << ": no error; " << image.problem;
      } catch (const FileError& e) {
        EXPECT_NE(std::string(e.what()).find(c.damaged), std::string::npos) << e.what();
      }
    } else {
      const ExperimentalImage image = load_experimental_image(path);
      EXPECT_NE(image.problem.find(c.not_built), std::string::npos) << image.problem;
    }
  }
}

// An uncompressed 8-bit BMP keeps its rule (the pixel byte is the grey
// level), and a palette that is not the grey ramp earns a note saying so.
TEST_F(ExperimentalImageTest, UncompressedBmpPaletteIsNotAppliedButNoted) {
  const std::string path = write_as(kWritten[0], rings(200.0f, 300.0f, 9.0f));
  const ExperimentalImage plain = load_experimental_image(path);
  ASSERT_TRUE(plain.usable());
  EXPECT_EQ(plain.note, "");
  Bytes b = read_bytes(path);
  b[54 + 4 * 7 + 1] = 99;  // entry 7 is (7, 99, 7)
  write_bytes(path, b);
  const ExperimentalImage noted = load_experimental_image(path);
  ASSERT_TRUE(noted.usable());
  EXPECT_EQ(noted.grey, plain.grey);
  EXPECT_NE(noted.note.find("has a palette that is not the grey ramp"), std::string::npos)
      << noted.note;
}

TEST(RawIntensitiesPath, ReplacesTheExtension) {
  EXPECT_EQ(raw_intensities_path("./DS_experiment.bmp"), "./DS_experiment_raw.tif");
  EXPECT_EQ(raw_intensities_path("a.b/DS_x"), "a.b/DS_x_raw.tif");
  EXPECT_EQ(raw_intensities_path("img/DS_pattern.bmp"), "img/DS_pattern_raw.tif");
}

}  // namespace
}  // namespace velmorant
