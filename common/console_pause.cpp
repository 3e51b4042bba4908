// The console programs' pause.
// SPDX-License-Identifier: BSD-3-Clause
#include "common/console_pause.hpp"

#include <istream>
#include <ostream>
#include <string>

namespace common {

void console_pause(std::istream& in, std::ostream& out) {
  out << " Press Enter to continue.\n" << std::flush;
  std::string line;
  std::getline(in, line);
}

}  // namespace common
