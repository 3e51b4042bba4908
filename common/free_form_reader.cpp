// Free-form reading: tokenising lines into integers, reals and text items.
// SPDX-License-Identifier: BSD-3-Clause
#include "common/free_form_reader.hpp"

#include <cerrno>
#include <cmath>
#include <type_traits>
#include <cstdlib>
#include <limits>

namespace common {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_separator(char c) { return is_blank(c) || c == ','; }

// Checks the grammar of a real and copies it with a D exponent turned into E,
// so that strtof/strtod round it once. Returns false if it is not a real.
bool normalise_real(std::string_view t, std::string& out) {
  out.clear();
  size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) out += t[i++];
  size_t digits = 0;
  while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
    out += t[i++];
    ++digits;
  }
  if (i < t.size() && t[i] == '.') {
    out += t[i++];
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
      out += t[i++];
      ++digits;
    }
  }
  if (digits == 0) return false;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E' || t[i] == 'd' || t[i] == 'D')) {
    out += 'E';
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) out += t[i++];
    size_t exp_digits = 0;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
      out += t[i++];
      ++exp_digits;
    }
    if (exp_digits == 0) return false;
  }
  return i == t.size();
}

}  // namespace

bool parse_int(std::string_view t, std::int32_t& value) {
  size_t i = 0;
  bool negative = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
  if (i == t.size()) return false;
  long long v = 0;
  for (; i < t.size(); ++i) {
    if (t[i] < '0' || t[i] > '9') return false;
    v = v * 10 + (t[i] - '0');
    if (v > 2147483648LL) return false;
  }
  if (negative) v = -v;
  if (v > std::numeric_limits<std::int32_t>::max()) return false;
  value = static_cast<std::int32_t>(v);
  return true;
}

bool parse_real(std::string_view t, float& value) {
  std::string s;
  if (!normalise_real(t, s)) return false;
  errno = 0;
  float v = std::strtof(s.c_str(), nullptr);
  if (errno == ERANGE && (v == HUGE_VALF || v == -HUGE_VALF)) return false;
  value = v;
  return true;
}

bool parse_real(std::string_view t, double& value) {
  std::string s;
  if (!normalise_real(t, s)) return false;
  errno = 0;
  double v = std::strtod(s.c_str(), nullptr);
  if (errno == ERANGE && (v == HUGE_VAL || v == -HUGE_VAL)) return false;
  value = v;
  return true;
}

std::string ReadResult::describe() const {
  switch (status) {
    case ReadStatus::ok:
      return "no error";
    case ReadStatus::end_of_file:
      return "end of file at line " + std::to_string(line);
    case ReadStatus::bad_value:
      return "line " + std::to_string(line) + ": \"" + item + "\" is not " + expected;
  }
  return "";
}

bool FreeFormReader::next_line() {
  if (replay_) {
    replay_ = false;
    ++line_no_;
    return true;
  }
  if (!std::getline(in_, cur_)) {
    cur_.clear();
    return false;
  }
  if (!cur_.empty() && cur_.back() == '\r') cur_.pop_back();
  ++line_no_;
  return true;
}

void FreeFormReader::backspace() {
  if (line_no_ > 0 && !replay_) {
    replay_ = true;
    --line_no_;
  }
}

bool FreeFormReader::rewind() {
  in_.clear();
  in_.seekg(0);
  line_no_ = 0;
  replay_ = false;
  cur_.clear();
  return static_cast<bool>(in_);
}

ReadResult FreeFormReader::skip_lines(int n) {
  for (int i = 0; i < n; ++i)
    if (!next_line()) return {ReadStatus::end_of_file, line_no_ + 1, "", ""};
  return {ReadStatus::ok, line_no_, "", ""};
}

ReadResult FreeFormReader::read_line(std::string& line) {
  if (!next_line()) return {ReadStatus::end_of_file, line_no_ + 1, "", ""};
  line = cur_;
  return {ReadStatus::ok, line_no_, "", ""};
}

ReadResult FreeFormReader::read_fixed_int(int first, int last, std::int32_t& value) {
  if (!next_line()) return {ReadStatus::end_of_file, line_no_ + 1, "", ""};
  std::string field;
  for (int c = first; c <= last; ++c)
    if (c >= 1 && static_cast<size_t>(c) <= cur_.size() && !is_blank(cur_[c - 1]))
      field += cur_[c - 1];
  if (field.empty()) {
    value = 0;
  } else if (!parse_int(field, value)) {
    return {ReadStatus::bad_value, line_no_, field, "an integer"};
  }
  return {ReadStatus::ok, line_no_, "", ""};
}

ReadResult FreeFormReader::read_items(std::span<const ItemRef> items) {
  if (!next_line()) return {ReadStatus::end_of_file, line_no_ + 1, "", ""};
  size_t pos = 0;
  std::string token;
  for (const ItemRef& item : items) {
    // Find the start of the next value, moving on to further lines as needed.
    for (;;) {
      while (pos < cur_.size() && is_blank(cur_[pos])) ++pos;
      if (pos < cur_.size() && cur_[pos] == ',') {
        ++pos;  // one comma separates; blanks around it belong to it
        while (pos < cur_.size() && is_blank(cur_[pos])) ++pos;
      }
      if (pos < cur_.size()) break;
      if (!next_line()) return {ReadStatus::end_of_file, line_no_ + 1, "", ""};
      pos = 0;
    }
    token.clear();
    char quote = cur_[pos];
    bool quoted = (quote == '\'' || quote == '"') && std::holds_alternative<std::string*>(item);
    if (quoted) {
      ++pos;
      while (pos < cur_.size()) {
        if (cur_[pos] == quote) {
          if (pos + 1 < cur_.size() && cur_[pos + 1] == quote) {
            token += quote;
            pos += 2;
            continue;
          }
          ++pos;
          break;
        }
        token += cur_[pos++];
      }
    } else {
      while (pos < cur_.size() && !is_separator(cur_[pos])) token += cur_[pos++];
    }
    bool good = std::visit(
        [&](auto* p) {
          using P = std::remove_pointer_t<decltype(p)>;
          if constexpr (std::is_same_v<P, std::string>) {
            *p = token;
            return true;
          } else if constexpr (std::is_same_v<P, std::int32_t>) {
            return parse_int(token, *p);
          } else {
            return parse_real(token, *p);
          }
        },
        item);
    if (!good) {
      const char* what =
          std::holds_alternative<std::int32_t*>(item) ? "an integer" : "a real number";
      return {ReadStatus::bad_value, line_no_, token, what};
    }
    // The value ends at a separator; step over it (a comma counts once).
    while (pos < cur_.size() && is_blank(cur_[pos])) ++pos;
    if (pos < cur_.size() && cur_[pos] == ',') ++pos;
  }
  return {ReadStatus::ok, line_no_, "", ""};
}

}  // namespace common
