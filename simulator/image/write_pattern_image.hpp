// The simulated pattern as a grey-level BMP file (8 or 24 bits per pixel).
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <cstdint>

#include "simulator/engine/pattern_image.hpp"
#include "simulator/image/file_error.hpp"
#include "simulator/input/simulation_input.hpp"

namespace velmorant {

inline constexpr std::uint32_t kBmp8FileSize = 263222;   // 54 + 1024 palette + 512*512
inline constexpr std::uint32_t kBmp24FileSize = 786486;  // 54 + 3*512*512
inline constexpr int kBmpHeaderSize = 54;                // file header 14 + information header 40

// Rescales the image in place to grey levels: the smallest element is
// subtracted from every element, then every element becomes v * 255 / M with
// M the largest element after the subtraction (single precision, not
// rounded). Elements that are not finite numbers are passed over when the
// extremes are sought and stay non-finite. When all finite elements are equal
// M is 0 and every element becomes NaN (written black).
void scale_to_grey_levels(PatternImage& image);

// Grey level written for a scaled element: the nearest integer, halves away
// from zero, low 8 bits; 0 for an element that is not a finite number.
std::uint8_t grey_level(float scaled);

// Scales the image in place (scale_to_grey_levels, whatever image_bits is)
// and writes it to simulated_image_path(in): the 8-bit layout with a grey
// palette when image_bits = 8, the 24-bit layout when 24, and an empty file
// for any other value. Stored row r (bottom row first) holds the elements
// with i = r + 1; within a row pixel x (left first) is element j = 512 - x.
// The file is replaced as a whole (write_file_whole). Throws FileError
// when it cannot be written (e.g. the folder does not exist).
void write_pattern_image(PatternImage& image, const SimulationInput& in);

// Throws the FileError that write_pattern_image would throw at the end of a
// run when the folder of the simulated image does not exist, so that a long
// computation need not run first.
void check_image_folder(const SimulationInput& in);

// The bytes write_pattern_image writes for an already scaled image: for tests
// and tools. Empty for image_bits other than 8 and 24.
void encode_pattern_image(const PatternImage& scaled, std::int32_t image_bits,
                          std::uint8_t* out);         // room for encoded_size(image_bits) bytes
std::uint32_t encoded_size(std::int32_t image_bits);  // 263222, 786486 or 0

}  // namespace velmorant
