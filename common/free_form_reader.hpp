// Free-form (list-directed) reading of line-oriented text input files.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once
#include <cstdint>
#include <istream>
#include <span>
#include <string>
#include <variant>

namespace common {

enum class ReadStatus {
  ok,
  end_of_file,  // the input ended before every value of the read was found
  bad_value     // a value could not be converted to the type of its item
};

// Outcome of one read. `line` is the 1-based number of the line where the
// read stopped (for end of file: one past the last line of the input).
struct ReadResult {
  ReadStatus status = ReadStatus::ok;
  int line = 0;
  std::string item;           // the offending text of a bad value
  const char* expected = "";  // "an integer", "a real number", "a text item"
  bool ok() const { return status == ReadStatus::ok; }
  explicit operator bool() const { return ok(); }
  // e.g. "end of file at line 12" or "line 7: \"1.5\" is not an integer".
  std::string describe() const;
};

// What a read can fill: a 32-bit integer, a single or double precision real,
// or a text item (unquoted up to a blank, comma or line end; or quoted with
// apostrophes or quotation marks, blanks kept, a doubled quote standing for one).
using ItemRef = std::variant<std::int32_t*, float*, double*, std::string*>;

// Reads a text stream record by record. Every read starts at the beginning
// of a new line, takes its values (separated by blanks, commas or line ends)
// from as many lines as it needs and ignores the rest of its last line.
// CR LF line ends read like LF.
class FreeFormReader {
public:
  explicit FreeFormReader(std::istream& in) : in_(in) {}

  // One read of the given items; with no items it consumes one line.
  template <typename... T>
  ReadResult read(T&... items) {
    if constexpr (sizeof...(T) == 0) {
      return skip_lines(1);
    } else {
      ItemRef refs[] = {ItemRef(&items)...};
      return read_items(refs);
    }
  }
  ReadResult read_items(std::span<const ItemRef> items);

  // Consumes n lines unread, whatever they hold.
  ReadResult skip_lines(int n);

  // Reads the next line and takes an integer from columns first..last
  // (1-based, inclusive); blanks inside the field are ignored and an
  // all-blank field reads as 0.
  ReadResult read_fixed_int(int first, int last, std::int32_t& value);

  // Reads the next line verbatim (without its line end).
  ReadResult read_line(std::string& line);

  // Makes the next read start again at the last line that was read
  // (one level only, like a backspace over one record).
  void backspace();

  // Starts again at the beginning of the stream.
  bool rewind();

  int lines_consumed() const { return line_no_; }

private:
  bool next_line();  // loads the next line into cur_, false at end of input

  std::istream& in_;
  std::string cur_;
  int line_no_ = 0;
  bool replay_ = false;
};

// Converters used by the reader, exposed for the few places that take a
// word apart themselves. They accept the whole text or fail.
bool parse_int(std::string_view text, std::int32_t& value);
// Reals in fixed or exponent form: [sign] digits [. digits] [E|D [sign] digits],
// also ".5" and "5."; rounded once, directly to the target precision.
bool parse_real(std::string_view text, float& value);
bool parse_real(std::string_view text, double& value);

}  // namespace common
