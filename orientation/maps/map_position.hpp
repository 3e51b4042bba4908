// Map positions carried by pattern title lines ("Pattern 17 x=3 y=5").
// SPDX-License-Identifier: BSD-3-Clause
#pragma once
#include <cstdint>
#include <string_view>

namespace talvor {

// Grid position of a pattern on the scanned map, in steps (x along the
// scan line, y from line to line).
struct MapPosition {
  bool known = false;
  std::int32_t x = 0;
  std::int32_t y = 0;
};

// The position a title carries: the words "x=<integer>" and "y=<integer>"
// (lower case, no blanks inside, separated from other words by blanks,
// tabs or commas), anywhere in the title and in either order. A title
// without both words, or with one of them not a whole number, carries no
// position; it stays a valid title all the same.
MapPosition ParseMapPosition(std::string_view title);

}  // namespace talvor
