// Deciding the simulated image's format from the experiment, and writing it and the raw intensities.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/image/simulated_image.hpp"

#include <cstdint>
#include <vector>

#include "simulator/image/encode_image.hpp"
#include "simulator/image/experimental_image.hpp"
#include "simulator/image/image_path.hpp"
#include "simulator/image/write_file_whole.hpp"
#include "simulator/image/write_pattern_image.hpp"

namespace velmorant {

ImagePlan plan_images(const SimulationInput& in) {
  ImagePlan plan;
  plan.simulated_path = simulated_image_path(in);
  plan.experiment = has_experimental_image(in);
  if (plan.experiment) {
    const ExperimentalImage image = load_experimental_image(experimental_image_path(in));
    plan.unusable = image.problem;
    plan.note = image.note;
    if (!image.usable()) return plan;  // nothing will be written
    plan.format = image.format;
    if (image.format != ImageFormat::bmp) {
      plan.bits = image.bits;
      return plan;
    }
  }
  plan.bits = in.image_bits;
  if (encoded_size(in.image_bits) == 0)
    throw FileError("cannot write the simulated image \"" + plan.simulated_path +
                    "\": image_bits is " + std::to_string(in.image_bits) +
                    "; a BMP pattern is written with 8 or 24 bits per pixel");
  return plan;
}

void write_simulated_image(PatternImage& image, const ImagePlan& plan, const SimulationInput& in) {
  switch (plan.format) {
    case ImageFormat::png: {
      scale_to_grey_levels(image);
      const std::vector<std::uint8_t> bytes = encode_png(image, plan.bits, plan.provenance);
      write_file_whole(plan.simulated_path, bytes.data(), bytes.size(), "the simulated image");
      return;
    }
    case ImageFormat::tiff: {
      scale_to_grey_levels(image);
      const std::vector<std::uint8_t> bytes = encode_tiff(image, plan.bits, plan.provenance);
      write_file_whole(plan.simulated_path, bytes.data(), bytes.size(), "the simulated image");
      return;
    }
    case ImageFormat::bmp:
    case ImageFormat::unknown:
      break;
  }
  write_pattern_image(image, in);
}

std::string raw_intensities_path(const std::string& simulated_path) {
  const std::size_t slash = simulated_path.find_last_of('/');
  const std::size_t dot = simulated_path.find_last_of('.');
  const bool has_extension =
      dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
  return (has_extension ? simulated_path.substr(0, dot) : simulated_path) + "_raw.tif";
}

void write_raw_intensities(const PatternImage& intensities, const std::string& path,
                           const std::string& provenance) {
  std::vector<std::uint8_t> bytes;
  try {
    bytes = encode_tiff(intensities, 32, provenance);
  } catch (const FileError& e) {
    throw FileError("cannot write the raw intensities \"" + path + "\": " + e.what());
  }
  write_file_whole(path, bytes.data(), bytes.size(), "the raw intensities");
}

}  // namespace velmorant
