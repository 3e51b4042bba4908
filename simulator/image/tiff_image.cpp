// TIFF experimental images (8 or 16 bits, or 32-bit float; grey or colour) and TIFF patterns, through libtiff.
// SPDX-License-Identifier: BSD-3-Clause
#include <cmath>
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <cstring>
#include <string>

#include "simulator/engine/pattern_image.hpp"
#include "simulator/image/encode_image.hpp"
#include "simulator/image/experimental_image.hpp"
#include "simulator/image/pixel_order.hpp"

#ifdef VELMORANT_HAVE_TIFF
#include <tiffio.h>
#endif

namespace velmorant {

#ifndef VELMORANT_HAVE_TIFF

ExperimentalImage decode_tiff(const std::uint8_t*, std::size_t, const std::string& path, bool) {
  ExperimentalImage image;
  image.format = ImageFormat::tiff;
  image.problem = about(path,
                        "is a TIFF file, and this Velmorant was built without TIFF support "
                        "(libtiff-dev was not installed)");
  return image;
}

std::vector<std::uint8_t> encode_tiff(const PatternImage&, int, const std::string&) {
  throw FileError("this Velmorant was built without TIFF support (libtiff-dev was not installed)");
}

std::vector<std::uint8_t> encode_tiff_pages(const float*, int, const std::vector<std::string>&,
                                            const std::string&) {
  throw FileError("this Velmorant was built without TIFF support (libtiff-dev was not installed)");
}

#else

namespace {

constexpr int kN = PatternImage::kSize;

// A file in memory for libtiff: read from `data`, or written into `out`.
struct MemoryFile {
  const std::uint8_t* data = nullptr;
  std::vector<std::uint8_t>* out = nullptr;
  std::uint64_t size = 0, pos = 0;
  std::string message;  // the first error libtiff reported
};

tmsize_t mem_read(thandle_t h, void* buf, tmsize_t n) {
  auto* m = static_cast<MemoryFile*>(h);
  if (n < 0 || m->pos >= m->size) return 0;
  const std::uint64_t k = std::min<std::uint64_t>(std::uint64_t(n), m->size - m->pos);
  // A file being written is read back from its own bytes (libtiff links
  // each new directory of a multi-page file to the one before).
  const std::uint8_t* from = m->data ? m->data : m->out ? m->out->data() : nullptr;
  if (!from) return 0;
  std::memcpy(buf, from + m->pos, k);
  m->pos += k;
  return tmsize_t(k);
}

tmsize_t mem_write(thandle_t h, void* buf, tmsize_t n) {
  auto* m = static_cast<MemoryFile*>(h);
  if (!m->out || n < 0) return -1;
  if (m->pos + std::uint64_t(n) > m->out->size()) m->out->resize(m->pos + std::uint64_t(n));
  std::memcpy(m->out->data() + m->pos, buf, std::size_t(n));
  m->pos += std::uint64_t(n);
  if (m->pos > m->size) m->size = m->pos;
  return n;
}

toff_t mem_seek(thandle_t h, toff_t off, int whence) {
  auto* m = static_cast<MemoryFile*>(h);
  std::uint64_t base = whence == SEEK_CUR ? m->pos : whence == SEEK_END ? m->size : 0;
  m->pos = base + off;
  return m->pos;
}

int mem_close(thandle_t) { return 0; }
toff_t mem_size(thandle_t h) { return static_cast<MemoryFile*>(h)->size; }
int mem_map(thandle_t, void**, toff_t*) { return 0; }
void mem_unmap(thandle_t, void*, toff_t) {}

int on_error(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
  auto* m = static_cast<MemoryFile*>(user);
  if (m->message.empty()) {
    char text[256];
    std::vsnprintf(text, sizeof text, fmt, ap);
    m->message = std::string(module ? module : "libtiff") + ": " + text;
  }
  return 1;
}

int on_warning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

// Closes the TIFF at the end of a scope.
struct TiffCloser {
  void operator()(TIFF* t) const { TIFFClose(t); }
};
using Tiff = std::unique_ptr<TIFF, TiffCloser>;

Tiff open_memory(MemoryFile& m, const char* mode) {
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  TIFFOpenOptionsSetErrorHandlerExtR(options, on_error, &m);
  TIFFOpenOptionsSetWarningHandlerExtR(options, on_warning, &m);
  TIFFOpenOptionsSetMaxSingleMemAlloc(options, tmsize_t(kLargestImageFile));
  TIFF* t = TIFFClientOpenExt("memory", mode, &m, mem_read, mem_write, mem_seek, mem_close,
                              mem_size, mem_map, mem_unmap, options);
  TIFFOpenOptionsFree(options);
  return Tiff(t);
}

[[noreturn]] void damaged(const MemoryFile& m, const std::string& path) {
  throw FileError(
      about(path, "cannot be read as TIFF: " +
                      (m.message.empty() ? std::string("its data ends early") : m.message)),
      path);
}

}  // namespace

ExperimentalImage decode_tiff(const std::uint8_t* bytes, std::size_t size, const std::string& path,
                              bool stretch) {
  ExperimentalImage image;
  image.format = ImageFormat::tiff;
  MemoryFile m;
  m.data = bytes;
  m.size = size;
  Tiff tif = open_memory(m, "rm");
  if (!tif) damaged(m, path);
  std::uint32_t width = 0, height = 0;
  std::uint16_t bits = 1, spp = 1, format = SAMPLEFORMAT_UINT, photometric = PHOTOMETRIC_MINISBLACK,
                planar = PLANARCONFIG_CONTIG;
  TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &spp);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLEFORMAT, &format);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_PLANARCONFIG, &planar);
  if (!TIFFGetField(tif.get(), TIFFTAG_PHOTOMETRIC, &photometric))
    photometric = PHOTOMETRIC_MINISBLACK;
  image.bits = bits;
  image.colour = photometric == PHOTOMETRIC_RGB;
  auto unusable = [&](const std::string& what) {
    image.problem = about(path, what);
    return image;
  };
  if (width != std::uint32_t(kN) || height != std::uint32_t(kN))
    return unusable("is " + std::to_string(width) + " x " + std::to_string(height) +
                    " pixels; it must be 512 x 512 (images are not resampled)");
  const bool integer = format == SAMPLEFORMAT_UINT && (bits == 8 || bits == 16);
  const bool real = format == SAMPLEFORMAT_IEEEFP && bits == 32;
  if (!integer && !real)
    return unusable("has " + std::to_string(bits) + "-bit " +
                    (format == SAMPLEFORMAT_IEEEFP ? "floating-point"
                     : format == SAMPLEFORMAT_INT  ? "signed"
                                                   : "unsigned") +
                    " samples; a TIFF experiment must have 8- or 16-bit unsigned samples or 32-bit "
                    "floats");
  const bool grey = photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE;
  if (!grey && photometric != PHOTOMETRIC_RGB)
    return unusable("has photometric interpretation " + std::to_string(photometric) +
                    "; a TIFF experiment must be grey (0 or 1) or RGB (2)");
  if (photometric == PHOTOMETRIC_RGB && spp < 3)
    return unusable("is RGB with fewer than three samples per pixel");
  if (spp > 1 && planar != PLANARCONFIG_CONTIG)
    return unusable("stores its colour planes separately; a TIFF experiment must interleave them");
  if (TIFFIsTiled(tif.get()))
    return unusable("is tiled; a TIFF experiment must be stored in strips");

  const tmsize_t line = TIFFScanlineSize(tif.get());
  const std::size_t bytes_per_sample = bits / 8;
  if (line < tmsize_t(std::size_t(kN) * spp * bytes_per_sample)) damaged(m, path);
  std::vector<std::uint8_t> row(static_cast<std::size_t>(line));
  std::vector<float> value(PatternImage::kPixels);
  const std::uint32_t top = bits == 8 ? 255u : 65535u;
  for (int t = 0; t < kN; ++t) {
    if (TIFFReadScanline(tif.get(), row.data(), std::uint32_t(t), 0) < 0) damaged(m, path);
    for (int x = 0; x < kN; ++x) {
      const std::uint8_t* p = row.data() + std::size_t(x) * spp * bytes_per_sample;
      float v;
      if (real) {
        float s[3];
        for (int k = 0; k < (grey ? 1 : 3); ++k) std::memcpy(&s[k], p + 4 * k, 4);  // host order
        v = grey ? s[0] : 0.299f * s[0] + 0.587f * s[1] + 0.114f * s[2];
        if (photometric == PHOTOMETRIC_MINISWHITE) v = -v;
      } else {
        std::uint32_t s[3];
        for (int k = 0; k < (grey ? 1 : 3); ++k) {
          if (bits == 8) {
            s[k] = p[k];
          } else {
            std::uint16_t w;
            std::memcpy(&w, p + 2 * k, 2);  // host order
            s[k] = w;
          }
        }
        std::uint32_t g = grey ? s[0] : luma(s[0], s[1], s[2]);
        if (photometric == PHOTOMETRIC_MINISWHITE) g = top - g;
        v = static_cast<float>(g) / (bits == 16 ? 257.0f : 1.0f);
      }
      value[element_from_top(t, x)] = v;
    }
  }
  if (real && stretch) {
    // Floats carry no grey scale of their own: stretched smallest to 0,
    // largest to 255, as the simulated pattern is.
    std::size_t bad = 0;
    float lo = INFINITY, hi = -INFINITY;
    for (float v : value) {
      if (!std::isfinite(v)) {
        ++bad;
        continue;
      }
      lo = std::min(lo, v);
      hi = std::max(hi, v);
    }
    if (bad > 0)
      return unusable("has " + std::to_string(bad) +
                      " of 262144 pixels that are not finite numbers");
    const float range = hi - lo;
    if (!(range > 0.0f) || !std::isfinite(range))
      return unusable(range > 0.0f
                          ? "has a range of values too large for single precision"
                          : "is uniform (every pixel has the same value): it has no grey levels");
    for (float& v : value) v = (v - lo) * 255.0f / range;
  }
  image.grey = std::move(value);
  return image;
}

std::vector<std::uint8_t> encode_tiff(const PatternImage& values, int bits,
                                      const std::string& software) {
  std::vector<std::uint8_t> out;
  MemoryFile m;
  m.out = &out;
  {
    Tiff tif = open_memory(m, "w");
    if (!tif) throw FileError("cannot encode the pattern as TIFF: " + m.message);
    TIFF* t = tif.get();
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, std::uint32_t(kN));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, std::uint32_t(kN));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, std::uint16_t(bits));
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, std::uint16_t(1));
    TIFFSetField(t, TIFFTAG_SAMPLEFORMAT,
                 std::uint16_t(bits == 32 ? SAMPLEFORMAT_IEEEFP : SAMPLEFORMAT_UINT));
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, std::uint16_t(PHOTOMETRIC_MINISBLACK));
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, std::uint16_t(PLANARCONFIG_CONTIG));
    TIFFSetField(t, TIFFTAG_COMPRESSION, std::uint16_t(COMPRESSION_NONE));
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, std::uint32_t(1));
    if (!software.empty()) TIFFSetField(t, TIFFTAG_SOFTWARE, software.c_str());
    std::vector<std::uint8_t> row(std::size_t(kN) * std::size_t(bits / 8));
    for (int r = 0; r < kN; ++r) {
      for (int x = 0; x < kN; ++x) {
        const float v = values.data()[element_from_top(r, x)];
        if (bits == 32) {
          std::memcpy(row.data() + 4 * x, &v, 4);
        } else if (bits == 16) {
          const std::uint16_t s = grey_sample(v, 16);
          std::memcpy(row.data() + 2 * x, &s, 2);
        } else {
          row[std::size_t(x)] = static_cast<std::uint8_t>(grey_sample(v, 8));
        }
      }
      if (TIFFWriteScanline(t, row.data(), std::uint32_t(r), 0) < 0)
        throw FileError("cannot encode the pattern as TIFF: " + m.message);
    }
  }  // closing the TIFF writes its directory
  if (!m.message.empty()) throw FileError("cannot encode the pattern as TIFF: " + m.message);
  out.resize(m.size);
  return out;
}

std::vector<std::uint8_t> encode_tiff_pages(const float* pages, int count,
                                            const std::vector<std::string>& page_names,
                                            const std::string& software) {
  std::vector<std::uint8_t> out;
  MemoryFile m;
  m.out = &out;
  {
    Tiff tif = open_memory(m, "w");
    if (!tif) throw FileError("cannot encode the beams as TIFF: " + m.message);
    TIFF* t = tif.get();
    std::vector<std::uint8_t> row(std::size_t(kN) * 4);
    for (int p = 0; p < count; ++p) {
      const float* page = pages + std::size_t(p) * PatternImage::kPixels;
      TIFFSetField(t, TIFFTAG_IMAGEWIDTH, std::uint32_t(kN));
      TIFFSetField(t, TIFFTAG_IMAGELENGTH, std::uint32_t(kN));
      TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, std::uint16_t(32));
      TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, std::uint16_t(1));
      TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, std::uint16_t(SAMPLEFORMAT_IEEEFP));
      TIFFSetField(t, TIFFTAG_PHOTOMETRIC, std::uint16_t(PHOTOMETRIC_MINISBLACK));
      TIFFSetField(t, TIFFTAG_PLANARCONFIG, std::uint16_t(PLANARCONFIG_CONTIG));
      TIFFSetField(t, TIFFTAG_COMPRESSION, std::uint16_t(COMPRESSION_NONE));
      TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, std::uint32_t(1));
      TIFFSetField(t, TIFFTAG_SUBFILETYPE, std::uint32_t(FILETYPE_PAGE));
      TIFFSetField(t, TIFFTAG_PAGENUMBER, std::uint16_t(p), std::uint16_t(count));
      if (std::size_t(p) < page_names.size())
        TIFFSetField(t, TIFFTAG_PAGENAME, page_names[std::size_t(p)].c_str());
      if (!software.empty()) TIFFSetField(t, TIFFTAG_SOFTWARE, software.c_str());
      for (int r = 0; r < kN; ++r) {
        for (int x = 0; x < kN; ++x)
          std::memcpy(row.data() + 4 * x, &page[element_from_top(r, x)], 4);
        if (TIFFWriteScanline(t, row.data(), std::uint32_t(r), 0) < 0)
          throw FileError("cannot encode the beams as TIFF: " + m.message);
      }
      if (!TIFFWriteDirectory(t)) throw FileError("cannot encode the beams as TIFF: " + m.message);
    }
  }  // closing the TIFF writes its last directory
  if (!m.message.empty()) throw FileError("cannot encode the beams as TIFF: " + m.message);
  out.resize(m.size);
  return out;
}

#endif

}  // namespace velmorant
