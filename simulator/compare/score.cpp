// Scores of a simulated pattern against the experimental image or another pattern: r about mid grey and the Pearson correlation.
// SPDX-License-Identifier: BSD-3-Clause
#include "simulator/compare/score.hpp"

#include <cmath>

#include "simulator/image/correlate_with_experiment.hpp"
#include "simulator/image/write_pattern_image.hpp"

namespace velmorant {

float mid_grey_correlation(const std::vector<float>& grey, const PatternImage& intensities) {
  PatternImage scaled = intensities;
  scale_to_grey_levels(scaled);
  return correlate_grey_levels(grey, scaled);
}

double pearson_correlation(const float* x, const float* y, std::size_t n) {
  if (n == 0) return -1;
  double mx = 0, my = 0;
  for (std::size_t k = 0; k < n; ++k) {
    if (!std::isfinite(x[k]) || !std::isfinite(y[k])) return -1;
    mx += x[k];
    my += y[k];
  }
  mx /= double(n);
  my /= double(n);
  double sxy = 0, sxx = 0, syy = 0;
  for (std::size_t k = 0; k < n; ++k) {
    const double dx = double(x[k]) - mx, dy = double(y[k]) - my;
    sxy += dx * dy;
    sxx += dx * dx;
    syy += dy * dy;
  }
  if (!(sxx > 0) || !(syy > 0)) return -1;
  const double r = sxy / std::sqrt(sxx * syy);
  return std::fmax(-1.0, std::fmin(1.0, r));
}

double pearson_correlation(const std::vector<float>& grey, const PatternImage& intensities) {
  if (grey.size() != PatternImage::size()) return -1;
  return pearson_correlation(grey.data(), intensities.data(), PatternImage::size());
}

double pearson_correlation(const PatternImage& a, const PatternImage& b) {
  return pearson_correlation(a.data(), b.data(), PatternImage::size());
}

}  // namespace velmorant
