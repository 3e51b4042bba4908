// The simulated pattern's file in the experiment's format, decided before the computation, and the raw intensities.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <string>

#include "simulator/engine/pattern_image.hpp"
#include "simulator/image/file_error.hpp"
#include "simulator/image/image_format.hpp"
#include "simulator/input/simulation_input.hpp"

namespace velmorant {

// Environment variable: "1" also writes the unscaled intensities as a 32-bit
// float TIFF beside the grey image (raw_intensities_path).
inline constexpr const char* kRawVariable = "VELMORANT_RAW";

// What a run writes and whether its experiment can be compared, found out
// before the computation by reading the experimental image whole.
struct ImagePlan {
  bool experiment = false;                // false: image_name is empty or "-"
  ImageFormat format = ImageFormat::bmp;  // of the simulated image: the experiment's
  int bits = 8;                // BMP: image_bits per pixel; PNG, TIFF: per sample (32: float)
  std::string simulated_path;  // simulated_image_path
  std::string unusable;        // why r would be 2.0; empty when the image can be compared
  std::string note;            // a remark on the experimental image (empty: none)
  std::string provenance;      // what made the files (common::provenance): a TIFF's Software tag
};

// Reads the experimental image (if one is named) and decides the simulated
// image: a BMP experiment gives a BMP of image_bits bits (8 or 24); a PNG a
// grey PNG of the experiment's bits per sample (8 or 16; a palette PNG 8); a
// TIFF a grey TIFF of the experiment's bits per sample (8, 16 or 32-bit
// float); no experiment a BMP of image_bits bits. Throws FileError when the
// experimental image is missing, unreadable or short, or when a BMP is to be
// written and image_bits is neither 8 nor 24. An image that cannot be
// compared comes back with `unusable` set.
ImagePlan plan_images(const SimulationInput& in);

// Scales the image in place to grey levels (scale_to_grey_levels) and
// replaces the simulated image file as a whole in the planned format (a
// TIFF with the plan's provenance as its Software tag; the BMP's layout is
// fixed). Throws FileError.
void write_simulated_image(PatternImage& image, const ImagePlan& plan, const SimulationInput& in);

// The simulated image's path with its extension (if any) replaced by
// "_raw.tif": "DS_experiment_raw.tif", "DS_pattern_raw.tif".
std::string raw_intensities_path(const std::string& simulated_path);

// The unscaled intensities (1 = no loss) as a 32-bit float grey TIFF, in the
// pixel order of the grey image, replaced as a whole; `provenance` is its
// Software tag (none when empty). Throws FileError, also when this build
// has no TIFF support.
void write_raw_intensities(const PatternImage& intensities, const std::string& path,
                           const std::string& provenance = {});

}  // namespace velmorant
