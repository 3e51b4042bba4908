// Encoding a picture as PNG bytes through libpng (or a clear error without it).
// SPDX-License-Identifier: BSD-3-Clause
#include "common/png_encode.hpp"

#include <cstdio>

#ifdef TEM_HAVE_PNG
#include <csetjmp>

#include <png.h>
#endif

namespace common {

#ifndef TEM_HAVE_PNG

bool png_supported() { return false; }

std::vector<std::uint8_t> encode_png(const std::uint8_t*, int, int, int, PngColour,
                                     std::string& error, const std::string&) {
  error = "this build has no PNG support (libpng-dev was not installed)";
  return {};
}

#else

namespace {

// What libpng's callbacks need; lives in the caller's frame, outside the
// function that calls setjmp, so that a longjmp leaves it intact.
struct WriteContext {
  std::vector<std::uint8_t>* out = nullptr;
  char message[256] = "";
};

void on_error(png_structp png, png_const_charp message) {
  auto* c = static_cast<WriteContext*>(png_get_error_ptr(png));
  if (c->message[0] == '\0') std::snprintf(c->message, sizeof c->message, "%s", message);
  png_longjmp(png, 1);
}

void on_warning(png_structp, png_const_charp) {}

void write_bytes(png_structp png, png_bytep in, png_size_t n) {
  auto* c = static_cast<WriteContext*>(png_get_io_ptr(png));
  c->out->insert(c->out->end(), in, in + n);
}

void flush_nothing(png_structp) {}

bool run_png_write(WriteContext& c, const std::vector<png_bytep>& rows, int width, int height,
                   int bits, int colour_type, const std::string& software) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &c, on_error, on_warning);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return false;
  }
  png_set_write_fn(png, &c, write_bytes, flush_nothing);
  png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), bits, colour_type,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_text text{};
  if (!software.empty()) {
    text.compression = PNG_TEXT_COMPRESSION_NONE;
    text.key = const_cast<png_charp>("Software");
    text.text = const_cast<png_charp>(software.c_str());
    png_set_text(png, info, &text, 1);
  }
  png_write_info(png, info);
  png_write_image(png, const_cast<png_bytepp>(rows.data()));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool png_supported() { return true; }

std::vector<std::uint8_t> encode_png(const std::uint8_t* pixels, int width, int height, int bits,
                                     PngColour colour, std::string& error,
                                     const std::string& software) {
  const std::size_t channels = colour == PngColour::rgb ? 3 : 1;
  const std::size_t row_bytes = std::size_t(width) * channels * (bits == 16 ? 2 : 1);
  std::vector<png_bytep> rows(static_cast<std::size_t>(height));
  for (int t = 0; t < height; ++t)
    rows[std::size_t(t)] = const_cast<png_bytep>(pixels + std::size_t(t) * row_bytes);
  std::vector<std::uint8_t> out;
  WriteContext c;
  c.out = &out;
  if (!run_png_write(c, rows, width, height, bits,
                     colour == PngColour::rgb ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY,
                     software)) {
    error = c.message;
    return {};
  }
  return out;
}

#endif

}  // namespace common
