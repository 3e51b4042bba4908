// The experimental image as grey levels: read from a BMP, PNG or TIFF file, or why it cannot be used.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "simulator/image/file_error.hpp"
#include "simulator/image/image_format.hpp"

namespace velmorant {

// Grey levels a on the scale 0..255 of the correlation:
//  - 8-bit samples: the sample value (a BMP's 8-bit pixel byte whatever its
//    palette says, except in a run-length encoded BMP, whose palette is
//    applied: the files that use it keep only the colours they need);
//  - 16-bit samples: value / 257 (65535 -> 255), not rounded;
//  - 32-bit float samples (TIFF): stretched like the simulated pattern, the
//    smallest to 0 and the largest to 255, not rounded;
//  - colour (PNG, TIFF, palette entries of a run-length BMP): the luma
//    0.299 R + 0.587 G + 0.114 B on the file's own integer scale, rounded to
//    the nearest integer (halves up), then as above; an alpha channel is
//    ignored;
//  - 24-bit BMP: the mean (B + G + R) / 3 or the two-colour ramp chosen by
//    the first pixel (correlate_with_experiment.hpp).
struct ExperimentalImage {
  ImageFormat format = ImageFormat::unknown;
  int bits = 0;  // BMP: bits per pixel; PNG, TIFF: bits per sample (32: float)
  bool colour = false;
  std::vector<float> grey;  // PatternImage::kPixels levels in element order; empty when unusable
  std::string problem;      // why the image cannot be compared (empty when it can)
  std::string note;         // a remark on an image that can be compared (empty: none)
  bool usable() const { return problem.empty(); }
};

// Bytes read at most from an experimental image: far more than any 512 x 512
// image of the accepted kinds needs.
inline constexpr std::size_t kLargestImageFile = std::size_t(64) << 20;  // bytes

// Decodes the bytes of the file `path` (the name is used in messages only).
// An image that is readable but cannot be compared (another size, depth,
// format, a format this build does not read) comes back with `problem` set,
// a sentence that starts with the quoted path. A file too short for what its
// header announces, or damaged data, throws FileError naming the file.
ExperimentalImage decode_experimental_image(const std::uint8_t* bytes, std::size_t size,
                                            const std::string& path);

// Reads the file whole and decodes it. Throws FileError when the file is
// missing, unreadable, a folder, or short.
ExperimentalImage load_experimental_image(const std::string& path);

// The decoders of each format, called by decode_experimental_image after it
// has recognised the signature. Same contract.
ExperimentalImage decode_bmp(const std::uint8_t* bytes, std::size_t size, const std::string& path);
ExperimentalImage decode_png(const std::uint8_t* bytes, std::size_t size, const std::string& path);
// `stretch` false keeps the samples of a float TIFF as they are (for tools
// and tests that read raw intensities back).
ExperimentalImage decode_tiff(const std::uint8_t* bytes, std::size_t size, const std::string& path,
                              bool stretch = true);

// Grey level of a colour sample on its own integer scale: the luma
// 0.299 R + 0.587 G + 0.114 B rounded to the nearest integer, halves up
// (exact integer arithmetic, so that R = G = B gives that value).
inline std::uint32_t luma(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return (299 * r + 587 * g + 114 * b + 500) / 1000;
}

// The quoted path followed by `what`: the start of every message.
inline std::string about(const std::string& path, const std::string& what) {
  return "the experimental image \"" + path + "\" " + what;
}

}  // namespace velmorant
