// What made an output file: the program, the suite's version and the date, as one line of text.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once
#include <ctime>
#include <string>
#include <string_view>

namespace common {

// The calendar date of `when` in UTC, ISO 8601: "2026-12-11".
std::string utc_date(std::time_t when);

// The date of today in UTC (the system clock), ISO 8601.
std::string utc_date_today();

// "<program> <version>, <date>", e.g. "Talvor2 0.3.0, 2026-12-11": the
// provenance a written file carries (a comment line of a CSV table, the
// first line of a text report, the Software tag of a TIFF image, the
// Software keyword of a PNG text chunk). `date` as utc_date gives it.
std::string provenance(std::string_view program, std::string_view date);

}  // namespace common
