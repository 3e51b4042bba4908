// Fixed-column and free-form text output (In, Fw.d, free-form numbers).
// SPDX-License-Identifier: BSD-3-Clause
#pragma once
#include <string>

namespace common {

// Integer right-aligned in `width` columns (In); a field too narrow for
// the value is filled with asterisks.
std::string format_int(long long value, int width);

// Real in fixed notation, `width` columns with `decimals` decimals (Fw.d),
// rounded to nearest, always with a digit before the point; a field too
// narrow is filled with asterisks. A value that rounds to zero prints
// without a minus sign; NaN and infinities fill the field with asterisks.
std::string format_fixed(double value, int width, int decimals);

// How shortest_text writes a value.
enum class FloatNotation {
  // fixed or exponent notation, whichever is shorter ("1500", "1e+20", "0.1")
  shortest,
  // fixed notation from 1e-4 up to 1e9 in magnitude, else exponent notation;
  // a fixed text always has a point ("1500.0", "5.4309", "3.90625e-05")
  fixed_where_reasonable,
};

// The shortest text that reads back to the same single-precision value (of
// those, the one nearest the value), in the notation asked for.
std::string shortest_text(float value, FloatNotation notation = FloatNotation::shortest);

// A real as free-form output writes it: one leading blank, then the
// shortest text that reads back to the same single-precision value.
std::string free_real(float value);

// An integer as free-form output writes it: one leading blank, then the number.
std::string free_int(long long value);

}  // namespace common
