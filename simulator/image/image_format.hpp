// The file formats of pattern images: recognised by their first bytes, not by their names.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace velmorant {

enum class ImageFormat { bmp, png, tiff, unknown };

// BMP ("BM"), PNG (the 8-byte PNG signature) or TIFF ("II*\0" or "MM\0*");
// unknown for anything else, including fewer bytes than the signature needs.
ImageFormat detect_image_format(const std::uint8_t* bytes, std::size_t size);

// "BMP", "PNG", "TIFF" or "unknown".
const char* format_name(ImageFormat format);

// Whether this build reads and writes the format (PNG needs libpng, TIFF
// libtiff at build time; BMP is always there).
bool format_built(ImageFormat format);

}  // namespace velmorant
