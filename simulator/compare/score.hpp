// Scores of a simulated pattern against the experimental image or another pattern: r about mid grey and the Pearson correlation.
//
// r is the correlation Velmorant writes to "VelmorantDS.res": both images
// are taken about mid grey (128), after the pattern is rescaled to grey
// levels 0..255. Its formula is that of the image library's correlation with
// the experiment (image/correlate_with_experiment.hpp), which this score
// calls, so the two cannot drift apart. r depends on the brightness of the
// measured image: a measurement exposed twice as long, or with its dark
// level raised, gets another r for the same simulation.
//
// The Pearson correlation is taken about the means of both images and is
// normalised by both standard deviations, so it does not change when the
// measured image is brightened, darkened, or its contrast stretched (any
// grey level a -> alpha a + beta with alpha > 0). It is the default score of
// the fit and the likeness of successive patterns in the convergence study.
// It is summed in double precision over the raw values.
//
// The degenerate cases have one convention: where the correlation is not
// defined (either image uniform, so a standard deviation of 0; a value that
// is not a finite number; images of different sizes) the Pearson
// correlation is -1, the lowest score, so that a fit, which maximises it,
// never prefers such a pattern and a convergence step never passes for alike.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <cstddef>
#include <vector>

#include "simulator/engine/pattern_image.hpp"

namespace velmorant {

struct Scores {
  float r = -1;         // the correlation about mid grey, -1..1
  double pearson = -1;  // mean-free correlation, -1..1
};

// Velmorant's r for the unscaled pattern `intensities` (copied, scaled to
// grey levels like the written image) against the grey levels of the
// experimental image (read_experimental_image, 512 x 512).
float mid_grey_correlation(const std::vector<float>& grey, const PatternImage& intensities);

// Pearson correlation of x[0..n) and y[0..n), element by element, clamped to
// [-1, 1]; -1 in the degenerate cases above (and for n = 0).
double pearson_correlation(const float* x, const float* y, std::size_t n);

// The same for the grey levels of the experiment and the intensities
// (-1 when the sizes differ) and for two patterns.
double pearson_correlation(const std::vector<float>& grey, const PatternImage& intensities);
double pearson_correlation(const PatternImage& a, const PatternImage& b);

inline Scores score_pattern(const std::vector<float>& grey, const PatternImage& intensities) {
  return {mid_grey_correlation(grey, intensities), pearson_correlation(grey, intensities)};
}

}  // namespace velmorant
