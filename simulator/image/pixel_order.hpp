// Which image element each stored pixel of a pattern file holds, for every format.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <cstddef>

#include "simulator/engine/pattern_image.hpp"

namespace velmorant {

// Element (i, j) stands for the incident direction with tangents x ~ i and
// y ~ j (engine). Every file shows the pattern the same way: +x up, +y to the
// left. A BMP stores its rows from the bottom of the picture; PNG and TIFF
// from the top.
//
// Element index of the pixel `x` (0 = left) of the row `row` counted from
// the bottom of the picture (0 = bottom): i = row + 1, j = 512 - x.
inline std::size_t element_from_bottom(int row, int x) {
  return PatternImage::index(row + 1, PatternImage::kSize - x);
}

// The same for a row counted from the top of the picture (0 = top).
inline std::size_t element_from_top(int row, int x) {
  return element_from_bottom(PatternImage::kSize - 1 - row, x);
}

}  // namespace velmorant
