// The console programs' pause: a one-line prompt, then wait for Enter.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once
#include <iosfwd>

namespace common {

// Writes the prompt line to `out` and waits for one line on `in`.
// End of input counts as Enter, so runs without a terminal never hang.
void console_pause(std::istream& in, std::ostream& out);

}  // namespace common
