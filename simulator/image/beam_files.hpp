// Every beam's disc on file: the float TIFF stack, its CSV index and the composed picture of the whole pattern.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "simulator/engine/beam_stack.hpp"
#include "simulator/image/file_error.hpp"

namespace velmorant {

// Environment variable: "1" keeps every beam's intensity (BeamStack) and
// writes the three files below beside the simulated image.
inline constexpr const char* kBeamsVariable = "VELMORANT_BEAMS";
// Environment variable: the convergence semi-angle in mrad that limits each
// disc of the composed picture to a circle (none: the whole square field).
inline constexpr const char* kApertureVariable = "VELMORANT_BEAMS_APERTURE";

// Decades of intensity below the brightest pixel that the composed picture's
// logarithmic grey scale shows (grey 255 the brightest, 0 four decades down).
inline constexpr float kComposedDecades = 4.0f;
// Largest side of the composed picture, pixels: discs farther out are cut.
inline constexpr int kComposedLargestSide = 4096;

// The simulated image's path with its extension replaced:
// "DS_experiment_beams.tif", "DS_experiment_beams.csv", "DS_experiment_pattern.png".
std::string beam_stack_path(const std::string& simulated_path);
std::string beam_index_path(const std::string& simulated_path);
std::string composed_pattern_path(const std::string& simulated_path);

// The aperture from kApertureVariable's text: empty for no text; a number
// of mrad above 0 and below 500 otherwise. Throws std::invalid_argument with
// a message naming the variable for anything else.
std::optional<float> parse_aperture(const char* text);

// Where the discs go in the composed picture. Pixel (i, j) of disc b, whose
// offsets rounded to whole pixels are oi and oj, lands in row
// top + (512 - i) - oi and column left + (512 - j) - oj (rows from the top,
// columns from the left, both from 0), for i and j within half_extent of the
// disc's centre (256.5); pixels that fall outside the picture are left out.
struct ComposedLayout {
  int width = 0, height = 0;  // pixels
  int half_extent = 256;      // pixels of each disc drawn either side of its centre
  int top = 0, left = 0;      // picture row and column of the transmitted disc's pixel (512, 512)
};

// The layout for the stack's discs: every visible disc whole (within the
// aperture, if one is given) unless the picture would be wider or higher
// than kComposedLargestSide, in which case it is cut to that size around the
// transmitted disc. A disc is visible when some pixel it draws is within
// kComposedDecades of the brightest pixel of any disc; discs that would stay
// black do not widen the picture (they are drawn where it reaches them).
ComposedLayout composed_layout(const BeamStack& stack, std::optional<float> aperture_mrad);

// The centre of disc b in the composed picture: column and row (0 = left,
// top; pixel centres at whole numbers) of the direction at the disc's centre.
struct PicturePoint {
  double column = 0, row = 0;
};
PicturePoint disc_centre(const ComposedLayout& layout, const BeamDisc& disc);

// The composed pattern as intensities, row by row from the top: each disc's
// pixels (i, j) moved by its offset (rounded to whole pixels) in the
// orientation of every picture (up +x, left +y); pixels outside the aperture
// are left out; where discs overlap their intensities add (the incident
// directions that meet there are mutually incoherent). 0 where no disc lies.
std::vector<float> compose_pattern(const BeamStack& stack, const ComposedLayout& layout,
                                   std::optional<float> aperture_mrad);

// Grey levels of the composed intensities: logarithmic over kComposedDecades
// below the largest finite value: 255 (1 + log10(I / I_max) / decades),
// clipped to 0..255 and rounded; 0 for zero, negative or non-finite values.
std::vector<std::uint8_t> composed_grey_levels(const std::vector<float>& intensities);

// The CSV index of the stack: a header line, then per page
// page,h,k,l,gx,gy,gz (1/A, laboratory frame),offset up and left (pixels of
// the pattern),column and row of the disc's centre in the composed picture.
std::string beam_index_text(const BeamStack& stack, const ComposedLayout& layout);

// Writes the TIFF stack, the CSV index and the composed PNG beside the
// simulated image, each replaced as a whole (write_file_whole). What made
// them, `provenance` (common::provenance), is every TIFF page's Software tag
// and the CSV's first line "# <provenance>" (before beam_index_text).
// Throws FileError naming the file that could not be written or encoded.
void write_beam_files(const BeamStack& stack, const std::string& simulated_path,
                      std::optional<float> aperture_mrad, const std::string& provenance);

}  // namespace velmorant
