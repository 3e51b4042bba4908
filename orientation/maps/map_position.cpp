// Map positions carried by pattern title lines ("Pattern 17 x=3 y=5").
// SPDX-License-Identifier: BSD-3-Clause
#include "orientation/maps/map_position.hpp"

#include "common/free_form_reader.hpp"

namespace talvor {

MapPosition ParseMapPosition(std::string_view title) {
  MapPosition p;
  bool has_x = false, has_y = false, bad = false;
  std::size_t pos = 0;
  auto is_separator = [](char c) { return c == ' ' || c == '\t' || c == ','; };
  while (pos < title.size()) {
    while (pos < title.size() && is_separator(title[pos])) ++pos;
    const std::size_t start = pos;
    while (pos < title.size() && !is_separator(title[pos])) ++pos;
    const std::string_view word = title.substr(start, pos - start);
    if (word.size() < 3 || word[1] != '=' || (word[0] != 'x' && word[0] != 'y')) continue;
    std::int32_t value = 0;
    if (!common::parse_int(word.substr(2), value)) {
      bad = true;
      continue;
    }
    if (word[0] == 'x') {
      p.x = value;
      has_x = true;
    } else {
      p.y = value;
      has_y = true;
    }
  }
  p.known = has_x && has_y && !bad;
  if (!p.known) p.x = p.y = 0;
  return p;
}

}  // namespace talvor
