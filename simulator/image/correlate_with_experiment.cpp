// The normalised correlation about mid grey between the experimental grey levels and the pattern.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/image/correlate_with_experiment.hpp"

#include <cmath>

#include "simulator/image/experimental_image.hpp"
#include "simulator/image/image_path.hpp"
#include "simulator/image/pixel_order.hpp"

namespace velmorant {

namespace {

constexpr int kN = PatternImage::kSize;

}  // namespace

std::vector<float> read_experimental_image(const std::string& path) {
  return load_experimental_image(path).grey;
}

Correlation correlate_grey_levels_explained(const std::vector<float>& grey,
                                            const PatternImage& scaled) {
  Correlation c;
  if (grey.size() != PatternImage::kPixels) {
    c.why = "the experimental image is not a whole 512 x 512 image";
    return c;
  }
  // Accumulated in BMP file order, each sum rounded to single precision after every addition.
  float sxy = 0.0f, sxx = 0.0f, syy = 0.0f;
  for (int row = 0; row < kN; ++row)
    for (int x = 0; x < kN; ++x) {
      const std::size_t e = element_from_bottom(row, x);
      const float a = grey[e] - 128.0f;
      const float b = scaled.data()[e] - 128.0f;
      sxy = sxy + a * b;
      sxx = sxx + a * a;
      syy = syy + b * b;
    }
  float r = sxy / std::sqrt(sxx * syy);
  if (std::isnan(r)) {
    std::size_t bad = 0;
    for (std::size_t k = 0; k < PatternImage::kPixels; ++k) bad += !std::isfinite(scaled.data()[k]);
    if (bad > 0)
      c.why = std::to_string(bad) +
              " of 262144 pixels of the simulated pattern are not finite numbers "
              "(a pattern of one intensity everywhere has no grey levels), so the correlation is "
              "not a number";
    else if (sxx == 0.0f)
      c.why =
          "the experimental image is mid grey (128) everywhere, so the correlation is not a number";
    else if (syy == 0.0f)
      c.why =
          "the simulated pattern is mid grey (128) everywhere, so the correlation is not a number";
    else
      c.why = "the correlation sums overflowed single precision";
    c.r = -1.0f;
    return c;
  }
  if (r > 1.0f) r = 1.0f;
  if (r <= -1.0f) {
    c.why = "the experimental image is the simulated pattern inverted (negative) about mid grey";
    r = -1.0f;
  }
  c.r = r;
  return c;
}

float correlate_grey_levels(const std::vector<float>& grey, const PatternImage& scaled) {
  return correlate_grey_levels_explained(grey, scaled).r;
}

Correlation compare_with_experiment(const PatternImage& scaled, const SimulationInput& in) {
  const ExperimentalImage image = load_experimental_image(experimental_image_path(in));
  if (!image.usable()) return Correlation{kUnusableImage, image.problem};
  return correlate_grey_levels_explained(image.grey, scaled);
}

float correlate_with_experiment(const PatternImage& scaled, const SimulationInput& in) {
  return compare_with_experiment(scaled, in).r;
}

}  // namespace velmorant
