// A 5 x 7 pixel font for the labels of the map picture (digits, a few letters and signs).
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace talvor {

inline constexpr int kGlyphWidth = 5;    // pixels
inline constexpr int kGlyphHeight = 7;   // pixels
inline constexpr int kGlyphAdvance = 6;  // pixels from one character to the next

// The rows of character `c`, top first, bit 4 the leftmost pixel; a blank
// for a character the font does not have. Characters: space, 0-9, a-z
// (lower case), and [ ] - = > < , . : / ( ).
std::array<std::uint8_t, kGlyphHeight> Glyph(char c);

// Width in pixels of `text` drawn with the font.
inline int TextWidth(std::string_view text) {
  return text.empty() ? 0 : static_cast<int>(text.size()) * kGlyphAdvance - 1;
}

}  // namespace talvor
