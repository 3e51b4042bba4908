// Reading the experimental BMP image and correlating it with the pattern.
#pragma once

#include <string>
#include <vector>

#include "engine/pattern_image.hpp"
#include "image/file_error.hpp"
#include "input/simulation_input.hpp"

namespace velmorant {

// Value of r when the experimental file cannot be used (not "BM", not
// 512 x 512, compressed, or neither 8 nor 24 bits per pixel): outside the
// range of a correlation, so a caller can tell it apart.
inline constexpr float kUnusableImage = 2.0f;

// Grey levels a of the experimental image in image element order
// (index PatternImage::index(i, j)), or empty when the file is unusable.
// 8 bits: the pixel byte is the grey level (the palette of exactly
// colours-used entries is skipped, not applied). 24 bits: plain mean
// (B + G + R) / 3, or, when the first pixel's bytes sum to 256 with one of
// them 0, the two-colour ramp (G - 1) / 2 for B != 0 and 255 - (G - 1) / 2
// for B = 0. Throws FileError for a missing or short file.
std::vector<int> read_experimental_image(const std::string& path);

// r = Sxy / sqrt(Sxx Syy) with x = a - 128 (experimental grey level) and
// y = b - 128 (element of the image already scaled by write_pattern_image),
// sums in single precision; clamped to [-1, 1], NaN gives -1. 2.0 for an
// unusable file. Throws FileError for a missing or short file.
float correlate_with_experiment(const PatternImage& scaled, const SimulationInput& in);

// Throws the FileError that correlate_with_experiment would throw at the end
// of a run (the experimental image missing, unreadable or short), so that a
// long computation need not run first. An image that is readable but
// unusable (r = 2.0) passes: that is a result, not an error.
void check_experimental_image(const SimulationInput& in);

// The correlation of grey levels (as read) with a scaled image.
float correlate_grey_levels(const std::vector<int>& grey, const PatternImage& scaled);

}  // namespace velmorant
