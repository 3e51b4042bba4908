// PNG experimental images (8 or 16 bits, grey or colour) through libpng; grey PNG patterns through common::encode_png.
// SPDX-License-Identifier: BSD-3-Clause
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "simulator/engine/pattern_image.hpp"
#include "simulator/image/encode_image.hpp"
#include "simulator/image/experimental_image.hpp"
#include "simulator/image/pixel_order.hpp"

#ifdef VELMORANT_HAVE_PNG
#include <csetjmp>

#include <png.h>

#include "common/png_encode.hpp"
#endif

namespace velmorant {

std::uint16_t grey_sample(float scaled, int bits) {
  if (!std::isfinite(scaled)) return 0;
  if (bits == 8) {
    if (std::fabs(scaled) > 1.0e9f) return 0;
    return static_cast<std::uint16_t>(std::lround(scaled) & 0xFF);
  }
  const float v = scaled * 257.0f;
  if (!(v > 0.0f)) return 0;
  if (v >= 65535.0f) return 65535;
  return static_cast<std::uint16_t>(std::lround(v));
}

#ifndef VELMORANT_HAVE_PNG

ExperimentalImage decode_png(const std::uint8_t*, std::size_t, const std::string& path) {
  ExperimentalImage image;
  image.format = ImageFormat::png;
  image.problem = about(path,
                        "is a PNG file, and this Velmorant was built without PNG support "
                        "(libpng-dev was not installed)");
  return image;
}

std::vector<std::uint8_t> encode_png(const PatternImage&, int, const std::string&) {
  throw FileError("this Velmorant was built without PNG support (libpng-dev was not installed)");
}

std::vector<std::uint8_t> encode_grey_png(const std::uint8_t*, int, int, const std::string&) {
  throw FileError("this Velmorant was built without PNG support (libpng-dev was not installed)");
}

#else

namespace {

constexpr int kN = PatternImage::kSize;

// What libpng's callbacks need; lives in the caller's frame, outside the
// function that calls setjmp, so that a longjmp leaves it intact.
struct PngContext {
  const std::uint8_t* bytes = nullptr;
  std::size_t size = 0, at = 0;
  char message[256] = "";
  bool short_data = false;
};

void on_error(png_structp png, png_const_charp message) {
  auto* c = static_cast<PngContext*>(png_get_error_ptr(png));
  if (c->message[0] == '\0') std::snprintf(c->message, sizeof c->message, "%s", message);
  png_longjmp(png, 1);
}

void on_warning(png_structp, png_const_charp) {}

void read_bytes(png_structp png, png_bytep out, png_size_t n) {
  auto* c = static_cast<PngContext*>(png_get_io_ptr(png));
  if (n > c->size - c->at) {
    c->short_data = true;
    png_error(png, "the file ends early");
  }
  std::memcpy(out, c->bytes + c->at, n);
  c->at += n;
}

struct PngHeader {
  png_uint_32 width = 0, height = 0;
  int depth = 0, colour_type = 0;
  int channels = 0;  // samples a pixel after the transforms (a palette with tRNS gives 4)
};

// Reads the header and, when `rows` is not null, the pixels (after the
// transforms: palette expanded, alpha kept, 16-bit samples big-endian).
// Returns false after a libpng error (message in the context).
bool run_png_read(PngContext& c, PngHeader& h, std::vector<std::uint8_t>* pixels,
                  std::vector<png_bytep>* rows, std::size_t* row_bytes) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &c, on_error, on_warning);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    return false;
  }
  png_set_read_fn(png, &c, read_bytes);
  png_set_user_limits(png, 1u << 16, 1u << 16);
  png_read_info(png, info);
  h.width = png_get_image_width(png, info);
  h.height = png_get_image_height(png, info);
  h.depth = png_get_bit_depth(png, info);
  h.colour_type = png_get_color_type(png, info);
  if (pixels) {
    if (h.colour_type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    *row_bytes = png_get_rowbytes(png, info);
    h.channels = png_get_channels(png, info);
    pixels->assign(*row_bytes * h.height, 0);
    rows->resize(h.height);
    for (png_uint_32 r = 0; r < h.height; ++r)
      (*rows)[r] = pixels->data() + std::size_t(r) * *row_bytes;
    png_read_image(png, rows->data());
    png_read_end(png, nullptr);
  }
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

}  // namespace

ExperimentalImage decode_png(const std::uint8_t* bytes, std::size_t size, const std::string& path) {
  ExperimentalImage image;
  image.format = ImageFormat::png;
  PngContext c;
  c.bytes = bytes;
  c.size = size;
  PngHeader h;
  auto failed = [&]() -> ExperimentalImage {
    if (c.short_data) throw FileError(about(path, "is too short: it ends in its PNG data"));
    throw FileError(about(path, std::string("is a damaged PNG file: ") + c.message));
  };
  if (!run_png_read(c, h, nullptr, nullptr, nullptr)) return failed();
  image.bits = h.depth;
  image.colour = (h.colour_type & PNG_COLOR_MASK_COLOR) != 0;
  if (h.width != png_uint_32(kN) || h.height != png_uint_32(kN)) {
    image.problem = about(path, "is " + std::to_string(h.width) + " x " + std::to_string(h.height) +
                                    " pixels; it must be 512 x 512 (images are not resampled)");
    return image;
  }
  const bool palette = h.colour_type == PNG_COLOR_TYPE_PALETTE;
  if (!palette && h.depth != 8 && h.depth != 16) {
    image.problem = about(path, "has " + std::to_string(h.depth) +
                                    " bits per sample; a PNG experiment must have 8 or 16");
    return image;
  }
  if (palette) image.bits = 8;  // entries are 8-bit colours

  c.at = 0;
  std::vector<std::uint8_t> pixels;
  std::vector<png_bytep> rows;
  std::size_t row_bytes = 0;
  if (!run_png_read(c, h, &pixels, &rows, &row_bytes)) return failed();
  // Grey, grey + alpha, RGB or RGBA as libpng delivers them: an alpha sample
  // (also the one a palette's transparency entries bring) is skipped.
  const int channels = h.channels;
  const int depth = image.bits;
  const float to_grey = depth == 16 ? 257.0f : 1.0f;
  image.grey.assign(PatternImage::kPixels, 0.0f);
  for (int t = 0; t < kN; ++t) {
    const std::uint8_t* row = rows[std::size_t(t)];
    for (int x = 0; x < kN; ++x) {
      std::uint32_t s[3];
      for (int k = 0; k < 3 && k < channels; ++k) {
        const std::uint8_t* p = row + (std::size_t(x) * channels + k) * std::size_t(depth / 8);
        s[k] = depth == 16 ? (std::uint32_t(p[0]) << 8) | p[1] : p[0];  // PNG: big-endian
      }
      const std::uint32_t g = channels >= 3 ? luma(s[0], s[1], s[2]) : s[0];
      image.grey[element_from_top(t, x)] = static_cast<float>(g) / to_grey;
    }
  }
  return image;
}

std::vector<std::uint8_t> encode_png(const PatternImage& scaled, int bits,
                                     const std::string& software) {
  const std::size_t bytes_per_sample = bits == 16 ? 2 : 1;
  std::vector<std::uint8_t> pixels(PatternImage::kPixels * bytes_per_sample);
  for (int t = 0; t < kN; ++t) {
    std::uint8_t* row = pixels.data() + std::size_t(t) * kN * bytes_per_sample;
    for (int x = 0; x < kN; ++x) {
      const std::uint16_t v = grey_sample(scaled.data()[element_from_top(t, x)], bits);
      if (bits == 16) {
        row[2 * x] = static_cast<std::uint8_t>(v >> 8);
        row[2 * x + 1] = static_cast<std::uint8_t>(v & 0xFF);
      } else {
        row[x] = static_cast<std::uint8_t>(v);
      }
    }
  }
  std::string error;
  std::vector<std::uint8_t> out = common::encode_png(pixels.data(), kN, kN, bits == 16 ? 16 : 8,
                                                     common::PngColour::grey, error, software);
  if (out.empty()) throw FileError("cannot encode the pattern as PNG: " + error);
  return out;
}

std::vector<std::uint8_t> encode_grey_png(const std::uint8_t* grey, int width, int height,
                                          const std::string& software) {
  std::string error;
  std::vector<std::uint8_t> out =
      common::encode_png(grey, width, height, 8, common::PngColour::grey, error, software);
  if (out.empty()) throw FileError("cannot encode the picture as PNG: " + error);
  return out;
}

#endif

}  // namespace velmorant
