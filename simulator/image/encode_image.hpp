// Encoding a pattern as PNG or TIFF bytes (the BMP layouts are in write_pattern_image.hpp).
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "simulator/engine/pattern_image.hpp"
#include "simulator/image/file_error.hpp"

namespace velmorant {

// Sample written for an element scaled to 0..255, at 8 or 16 bits per
// sample: 8 bits the grey level of write_pattern_image (nearest integer,
// halves away from zero); 16 bits the nearest integer to v * 257, so that
// 255 becomes 65535. A non-finite element is written 0 (black).
std::uint16_t grey_sample(float scaled, int bits);

// A grey PNG of 8 or 16 bits per sample, rows from the top of the picture
// (element_from_top); a non-empty `software` goes into its Software text.
// Throws FileError when this build has no PNG support.
std::vector<std::uint8_t> encode_png(const PatternImage& scaled, int bits,
                                     const std::string& software = {});

// An 8-bit grey PNG of any size from `grey`, width x height bytes, rows from
// the top; a non-empty `software` goes into its Software text. Throws
// FileError when this build has no PNG support.
std::vector<std::uint8_t> encode_grey_png(const std::uint8_t* grey, int width, int height,
                                          const std::string& software = {});

// A grey TIFF, one strip per row, uncompressed, rows from the top. bits 8 or
// 16: grey_sample of the scaled elements; bits 32: the elements as 32-bit
// IEEE floats, whatever their range (non-finite values kept). `software`
// (what made the file: common::provenance) goes into the Software tag; none
// when it is empty. Throws FileError when this build has no TIFF support.
std::vector<std::uint8_t> encode_tiff(const PatternImage& values, int bits,
                                      const std::string& software = {});

// A multi-page TIFF of 32-bit float grey pages, `count` of them, page p
// read from pages + p x 512 x 512 in PatternImage's storage order, each
// written like encode_tiff(values, 32) and named by page_names[p] (the
// PageName tag), every page with the Software tag `software` (none when
// empty). Throws FileError when this build has no TIFF support.
std::vector<std::uint8_t> encode_tiff_pages(const float* pages, int count,
                                            const std::vector<std::string>& page_names,
                                            const std::string& software = {});

}  // namespace velmorant
