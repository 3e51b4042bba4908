// Scores of a simulated pattern against the experimental image: the program's r and the Pearson correlation.
//
// r is the correlation the program writes to "VelmorantDS.res": both images
// are taken about mid grey (128), after the pattern is rescaled to grey
// levels 0..255. It therefore depends on the brightness of the measured
// image: a measurement exposed twice as long, or with its dark level raised,
// gets another r for the same simulation.
//
// The Pearson correlation is taken about the means of both images and is
// normalised by both standard deviations, so it does not change when the
// measured image is brightened, darkened, or its contrast stretched (any
// grey level a -> alpha a + beta with alpha > 0). It is the default score of
// the fit. It is summed in double precision over the raw intensities.
#pragma once

#include <vector>

#include "simulator/engine/pattern_image.hpp"

namespace velmorant {

struct Scores {
  float r = -1;         // the program's correlation about mid grey, -1..1
  double pearson = -1;  // mean-free correlation, -1..1
};

// The program's r for the unscaled pattern `intensities` (copied, scaled to
// grey levels like the written image) against the grey levels of the
// experimental image (read_experimental_image, 512 x 512).
float mid_grey_correlation(const std::vector<float>& grey, const PatternImage& intensities);

// Pearson correlation of the grey levels and the intensities, element by
// element; -1 when a pixel is not a finite number, when either image is
// uniform, or when the sizes differ.
double pearson_correlation(const std::vector<float>& grey, const PatternImage& intensities);

inline Scores score_pattern(const std::vector<float>& grey, const PatternImage& intensities) {
  return {mid_grey_correlation(grey, intensities), pearson_correlation(grey, intensities)};
}

}  // namespace velmorant
