// Encoding a picture as PNG bytes (grey or RGB, 8 or 16 bits per sample) through libpng, when the build has it.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace common {

enum class PngColour { grey, rgb };

// True when this build was made with libpng (Debian: libpng-dev).
bool png_supported();

// The PNG file of `pixels`: `height` rows from the top of the picture, each
// `width` samples (grey) or RGB triples, back to back; 16-bit samples are
// two bytes, most significant first. No interlacing, default compression and
// filters. A non-empty `software` is written as the text chunk "Software"
// (what made the picture: program, version, date). On failure (or without
// libpng) returns no bytes and sets `error` (libpng's message, or that the
// build has no PNG support).
std::vector<std::uint8_t> encode_png(const std::uint8_t* pixels, int width, int height, int bits,
                                     PngColour colour, std::string& error,
                                     const std::string& software = {});

}  // namespace common
