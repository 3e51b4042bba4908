// What made an output file: the program, the suite's version and the date, as one line of text.
// SPDX-License-Identifier: BSD-3-Clause
#include "common/provenance.hpp"

#include <cstdio>

#include "common/version.hpp"

namespace common {

std::string utc_date(std::time_t when) {
  std::tm parts{};
  if (gmtime_r(&when, &parts) == nullptr) return "0000-00-00";  // beyond the calendar of struct tm
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", parts.tm_year + 1900, parts.tm_mon + 1,
                parts.tm_mday);
  return text;
}

std::string utc_date_today() { return utc_date(std::time(nullptr)); }

std::string provenance(std::string_view program, std::string_view date) {
  std::string text = program_version(program);
  text += ", ";
  text += date;
  return text;
}

}  // namespace common
