// Reading the experimental image and correlating it with the pattern.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <string>
#include <vector>

#include "simulator/engine/pattern_image.hpp"
#include "simulator/image/file_error.hpp"
#include "simulator/input/simulation_input.hpp"

namespace velmorant {

// Value of r when the experimental file cannot be used (another size, depth,
// compression or format, see experimental_image.hpp) or when there is no
// experimental image: outside the range of a correlation, so a caller can
// tell it apart.
inline constexpr float kUnusableImage = 2.0f;

// Grey levels a (0..255) of the experimental image in image element order
// (index PatternImage::index(i, j)), or empty when the file is unusable; the
// rules per format are in experimental_image.hpp. A BMP gives the levels it
// always gave: 8 bits the pixel byte (the palette of exactly colours-used
// entries is skipped, not applied); 24 bits the plain mean (B + G + R) / 3,
// or, when the first pixel's bytes sum to 256 with one of them 0, the
// two-colour ramp (G - 1) / 2 for B != 0 and 255 - (G - 1) / 2 for B = 0.
// Throws FileError for a missing, unreadable or short file.
std::vector<float> read_experimental_image(const std::string& path);

// r and, when r is 2.0 or -1, the reason in one sentence (empty otherwise).
struct Correlation {
  float r = kUnusableImage;
  std::string why;
};

// r = Sxy / sqrt(Sxx Syy) with x = a - 128 (experimental grey level) and
// y = b - 128 (element of the image already scaled by write_pattern_image),
// sums in single precision in the pixel order of a BMP file (bottom row
// first, whatever the experiment's format); clamped to [-1, 1], NaN gives
// -1. 2.0 for grey levels that are not a whole image.
Correlation correlate_grey_levels_explained(const std::vector<float>& grey,
                                            const PatternImage& scaled);
float correlate_grey_levels(const std::vector<float>& grey, const PatternImage& scaled);

// Reads the experimental image of `in` and correlates it (2.0 for an
// unusable file, with the reason). Throws FileError for a missing, unreadable
// or short file.
Correlation compare_with_experiment(const PatternImage& scaled, const SimulationInput& in);
float correlate_with_experiment(const PatternImage& scaled, const SimulationInput& in);

}  // namespace velmorant
