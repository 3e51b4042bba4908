// Fixed-column and free-form text output.
// SPDX-License-Identifier: BSD-3-Clause
#include "common/fixed_format.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace common {

namespace {
std::string fit(const std::string& text, int width) {
  if (width <= 0) return {};
  if (static_cast<int>(text.size()) > width) return std::string(width, '*');
  return std::string(width - text.size(), ' ') + text;
}
}  // namespace

std::string format_int(long long value, int width) { return fit(std::to_string(value), width); }

std::string format_fixed(double value, int width, int decimals) {
  if (!std::isfinite(value)) return std::string(width > 0 ? width : 0, '*');
  char buf[512];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
  std::string text = buf;
  if (text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos)
    text.erase(0, 1);  // -0.00 -> 0.00
  return fit(text, width);
}

std::string shortest_text(float value, FloatNotation notation) {
  char buf[64];
  std::to_chars_result res;
  if (notation == FloatNotation::shortest) {
    res = std::to_chars(buf, buf + sizeof buf, value);
  } else {
    const float magnitude = std::fabs(value);
    const bool fixed = value == 0.0f || (magnitude >= 1e-4f && magnitude < 1e9f);
    res = std::to_chars(buf, buf + sizeof buf, value,
                        fixed ? std::chars_format::fixed : std::chars_format::scientific);
    if (fixed && std::find(buf, res.ptr, '.') == res.ptr) return std::string(buf, res.ptr) + ".0";
  }
  return std::string(buf, res.ptr);
}

std::string free_real(float value) {
  std::string text = shortest_text(value);
  // Keep it recognisable as a real for readers that care: 2 -> 2.0
  if (std::isfinite(value) && text.find_first_of(".en") == std::string::npos) text += ".0";
  text.insert(text.begin(), ' ');
  return text;
}

std::string free_int(long long value) {
  std::string text(1, ' ');
  text += std::to_string(value);
  return text;
}

}  // namespace common
