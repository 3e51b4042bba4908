// Fixed-column and free-form text output (In, Fw.d, free-form numbers).
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

// A real as free-form output writes it: one leading blank, then the
// shortest text that reads back to the same single-precision value.
std::string free_real(float value);

// An integer as free-form output writes it: one leading blank, then the number.
std::string free_int(long long value);

}  // namespace common
