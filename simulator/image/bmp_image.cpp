// Experimental BMP images: 8 bits (uncompressed or run-length encoded) and 24 bits, 512 x 512, bottom-up.
// SPDX-License-Identifier: BSD-3-Clause
#include <algorithm>
#include <cstdint>
#include <string>

#include "simulator/engine/pattern_image.hpp"
#include "simulator/image/experimental_image.hpp"
#include "simulator/image/pixel_order.hpp"

namespace velmorant {

namespace {

constexpr int kN = PatternImage::kSize;
constexpr std::uint32_t kInfoHeader = 40;  // bytes of the plain information header

std::uint32_t get16(const std::uint8_t* p) { return p[0] | (std::uint32_t(p[1]) << 8); }
std::uint32_t get32(const std::uint8_t* p) { return get16(p) | (get16(p + 2) << 16); }

[[noreturn]] void too_short(const std::string& path, const char* part) {
  throw FileError(about(path, std::string("is too short: it ends in ") + part), path);
}

const char* compression_name(std::uint32_t c) {
  switch (c) {
    case 1:
      return "RLE8";
    case 2:
      return "RLE4";
    case 3:
      return "bit fields";
    case 4:
      return "JPEG";
    case 5:
      return "PNG";
    default:
      return "unknown";
  }
}

// Run-length encoded 8-bit pixels (pairs count, value; escapes 0 0 end of
// line, 0 1 end of picture, 0 2 dx dy move, 0 n n literal bytes padded to an
// even count). Pixels the data skips keep palette entry 0.
void decode_rle8(const std::uint8_t* d, std::size_t size, const std::uint8_t* palette,
                 std::uint32_t entries, const std::string& path, std::vector<float>& grey) {
  std::vector<float> level(entries);
  for (std::uint32_t k = 0; k < entries; ++k) {
    const std::uint8_t* e = palette + 4 * k;  // blue, green, red, reserved
    level[k] = static_cast<float>(luma(e[2], e[1], e[0]));
  }
  auto put = [&](int row, int x, std::uint8_t index) {
    if (row < 0 || row >= kN || x < 0 || x >= kN) return;  // outside the picture: dropped
    if (index >= entries)
      throw FileError(about(path, "is damaged: a pixel refers to palette entry " +
                                      std::to_string(index) + " of " + std::to_string(entries)),
                      path);
    grey[element_from_bottom(row, x)] = level[index];
  };
  for (int row = 0; row < kN; ++row)
    for (int x = 0; x < kN; ++x) put(row, x, 0);
  std::size_t p = 0;
  int row = 0, x = 0;
  for (;;) {
    if (p + 2 > size) too_short(path, "its run-length encoded pixel data (no end-of-picture mark)");
    const std::uint8_t count = d[p], value = d[p + 1];
    p += 2;
    if (count > 0) {
      for (int k = 0; k < count; ++k) put(row, x++, value);
    } else if (value == 0) {
      ++row;
      x = 0;
    } else if (value == 1) {
      return;
    } else if (value == 2) {
      if (p + 2 > size) too_short(path, "its run-length encoded pixel data");
      x += d[p];
      row += d[p + 1];
      p += 2;
    } else {
      const std::size_t padded = value + (value & 1u);
      if (p + padded > size) too_short(path, "its run-length encoded pixel data");
      for (int k = 0; k < value; ++k) put(row, x++, d[p + std::size_t(k)]);
      p += padded;
    }
    if (row >= kN) return;  // past the top row: nothing more can be drawn
  }
}

}  // namespace

ExperimentalImage decode_bmp(const std::uint8_t* b, std::size_t size, const std::string& path) {
  ExperimentalImage image;
  image.format = ImageFormat::bmp;
  if (size < 2) too_short(path, "its first two bytes");
  if (size < 54) too_short(path, "its 54-byte header");
  const std::uint32_t data_offset = get32(b + 10);
  const std::uint32_t header_size = get32(b + 14);
  const auto width = static_cast<std::int32_t>(get32(b + 18));
  const auto height = static_cast<std::int32_t>(get32(b + 22));
  const std::uint32_t bits = get16(b + 28);
  const std::uint32_t compression = get32(b + 30);
  const std::uint32_t colours_used = get32(b + 46);
  image.bits = static_cast<int>(bits);
  image.colour = bits == 24;

  if (header_size == 12) {
    image.problem = about(path,
                          "has the 12-byte header of OS/2 bitmaps; a BMP experiment must have the "
                          "Windows header (40 bytes or longer)");
    return image;
  }
  if (width == kN && height == -kN) {
    image.problem = about(path,
                          "is stored top down (height -512); a BMP experiment must be stored "
                          "bottom up, as BMP files normally are");
    return image;
  }
  if (width != kN || height != kN) {
    image.problem = about(path, "is " + std::to_string(width) + " x " + std::to_string(height) +
                                    " pixels; it must be 512 x 512 (images are not resampled)");
    return image;
  }
  if (bits != 8 && bits != 24) {
    image.problem = about(path, "has " + std::to_string(bits) +
                                    " bits per pixel; a BMP experiment must have 8 or 24");
    return image;
  }
  const bool rle8 = compression == 1 && bits == 8;
  if (compression != 0 && !rle8) {
    image.problem =
        about(path, "is compressed (compression " + std::to_string(compression) + ", " +
                        compression_name(compression) +
                        "); a BMP experiment must be uncompressed, or run-length encoded "
                        "(RLE8) with 8 bits per pixel");
    return image;
  }

  image.grey.assign(PatternImage::kPixels, 0.0f);
  if (rle8) {
    // The palette follows the information header; the pixel data starts
    // where the file header says.
    const std::uint32_t entries = colours_used == 0 || colours_used > 256 ? 256 : colours_used;
    const std::uint64_t palette_at = 14 + std::uint64_t(header_size);
    if (palette_at + 4 * std::uint64_t(entries) > size) too_short(path, "its palette");
    if (data_offset > size) too_short(path, "its run-length encoded pixel data");
    decode_rle8(b + data_offset, size - data_offset, b + palette_at, entries, path, image.grey);
    return image;
  }

  // The plain 40-byte information header: the palette of exactly colours-used
  // entries follows it and the pixel data follows the palette, whatever the
  // offset field says. A longer header (108 or 124 bytes, as ImageMagick
  // writes): the pixel data is where the offset field says.
  std::uint64_t at;
  if (header_size == kInfoHeader) {
    at = 54;
    if (bits == 8) {
      at += std::uint64_t(colours_used) * 4;
      if (at > size) too_short(path, "its palette");
    }
  } else {
    at = data_offset;
  }
  if (bits == 8) {
    // The palette is not applied; say so when it is not the grey ramp, whose
    // entry k is (k, k, k).
    const std::uint64_t palette_at = 14 + std::uint64_t(header_size);
    const std::uint32_t entries = std::min<std::uint32_t>(
        colours_used == 0 && header_size != kInfoHeader ? 256 : colours_used, 256);
    bool ramp = true;
    for (std::uint32_t k = 0; k < entries && palette_at + 4 * (k + 1) <= size; ++k) {
      const std::uint8_t* e = b + palette_at + 4 * k;
      ramp = ramp && e[0] == k && e[1] == k && e[2] == k;
    }
    if (!ramp)
      image.note =
          about(path,
                "has a palette that is not the grey ramp 0..255; the pixel bytes are taken as "
                "grey levels (the palette of an uncompressed 8-bit BMP is not applied; a "
                "run-length encoded BMP, PNG or TIFF has its colours used)");
  }
  const std::uint64_t row_bytes = bits == 8 ? kN : 3 * kN;
  if (at + row_bytes * kN > size) too_short(path, "its pixel data");
  const std::uint8_t* px = b + at;
  if (bits == 8) {
    for (int r = 0; r < kN; ++r)
      for (int x = 0; x < kN; ++x)
        image.grey[element_from_bottom(r, x)] = px[std::size_t(r) * kN + std::size_t(x)];
    return image;
  }
  // 24 bits: the first pixel of the file decides how every pixel becomes grey.
  const bool ramp = px[0] + px[1] + px[2] == 256 && (px[0] == 0 || px[1] == 0 || px[2] == 0);
  for (int r = 0; r < kN; ++r)
    for (int x = 0; x < kN; ++x) {
      const std::uint8_t* p = px + (std::size_t(r) * kN + std::size_t(x)) * 3;
      const int blue = p[0], green = p[1], red = p[2];
      int a;
      if (!ramp)
        a = (blue + green + red) / 3;
      else
        a = blue != 0 ? (green - 1) / 2 : 255 - (green - 1) / 2;  // truncation toward zero
      image.grey[element_from_bottom(r, x)] = static_cast<float>(a);
    }
  return image;
}

}  // namespace velmorant
