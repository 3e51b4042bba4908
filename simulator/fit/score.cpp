// Scores of a simulated pattern against the experimental image: the program's r and the Pearson correlation.
#include "simulator/fit/score.hpp"

#include <cmath>

#include "simulator/image/correlate_with_experiment.hpp"
#include "simulator/image/write_pattern_image.hpp"

namespace velmorant {

float mid_grey_correlation(const std::vector<float>& grey, const PatternImage& intensities) {
  PatternImage scaled = intensities;
  scale_to_grey_levels(scaled);
  return correlate_grey_levels(grey, scaled);
}

double pearson_correlation(const std::vector<float>& grey, const PatternImage& intensities) {
  if (grey.size() != PatternImage::size()) return -1;
  const float* y = intensities.data();
  const std::size_t n = PatternImage::size();
  double mx = 0, my = 0;
  for (std::size_t k = 0; k < n; ++k) {
    if (!std::isfinite(y[k])) return -1;
    mx += grey[k];
    my += y[k];
  }
  mx /= double(n);
  my /= double(n);
  double sxy = 0, sxx = 0, syy = 0;
  for (std::size_t k = 0; k < n; ++k) {
    const double dx = grey[k] - mx, dy = double(y[k]) - my;
    sxy += dx * dy;
    sxx += dx * dx;
    syy += dy * dy;
  }
  if (!(sxx > 0) || !(syy > 0)) return -1;
  const double r = sxy / std::sqrt(sxx * syy);
  return std::fmax(-1.0, std::fmin(1.0, r));
}

}  // namespace velmorant
